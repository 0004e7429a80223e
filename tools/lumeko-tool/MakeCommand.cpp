#include <fmt/core.h>

#include <cmath>
#include <map>

#include "Commands.h"
#include "ToolOutput.h"
#include "moviemaker/ImageFile.h"
#include "moviemaker/MovieMaker.h"

namespace {

// A frame rate as the file's rate / scale: whole rates exactly, others in thousandths.
void SetFrameRate(moviemaker::MovieSpec& spec, double fps) {
    if (std::abs(fps - std::round(fps)) < 1e-9) {
        spec.rate = static_cast<uint32_t>(std::lround(fps));
        spec.scale = 1;
    } else {
        spec.rate = static_cast<uint32_t>(std::lround(fps * 1000));
        spec.scale = 1000;
    }
}

}  // namespace

void AddMakeCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "make", "Make a TrueMotion movie from the built-in scene or a folder of pictures");
    struct Options {
        std::string out;
        std::string size = "320x240";
        int frames = 150;
        double fps = 15;
        std::string mode = "24";
        int keyEvery = 15;
        std::string audio = "dk4";
        std::string from;
        bool force = false;
    };
    auto o = std::make_shared<Options>();
    cmd->add_option("OUT", o->out, "The AVI file to write")->required();
    cmd->add_option("--size", o->size, "Picture size WxH")->capture_default_str();
    cmd->add_option("--frames", o->frames, "Number of frames (ignored with --from)")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    cmd->add_option("--fps", o->fps, "Frames per second")
        ->check(CLI::Range(0.01, 1000.0))
        ->capture_default_str();
    cmd->add_option("--mode", o->mode, "TrueMotion mode")
        ->check(CLI::IsMember({"15", "24", "stretch"}))
        ->capture_default_str();
    cmd->add_option("--key-every", o->keyEvery, "A key frame every K frames")
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    cmd->add_option("--audio", o->audio, "Sound")
        ->check(CLI::IsMember({"none", "pcm8", "pcm16", "dk4", "dk4-mono", "dk3"}))
        ->capture_default_str();
    cmd->add_option("--from", o->from,
                    "Folder of PNG or PPM pictures, one per frame, in name order");
    cmd->add_flag("-f,--force", o->force, "Replace OUT when it exists");

    cmd->callback([o] {
        RefuseToReplace(o->out, o->force);
        moviemaker::MovieSpec spec;
        char x = 0;
        if (std::sscanf(o->size.c_str(), "%d%c%d", &spec.width, &x, &spec.height) != 3 ||
            x != 'x' || spec.width <= 0 || spec.height <= 0)
            throw CLI::ValidationError("--size", "expected WxH, for example 320x240");
        spec.frames = o->frames;
        SetFrameRate(spec, o->fps);
        static const std::map<std::string, truemotion::EncoderMode> kModes = {
            {"15", truemotion::EncoderMode::k15Bit},
            {"24", truemotion::EncoderMode::k24Bit},
            {"stretch", truemotion::EncoderMode::kStretch}};
        spec.mode = kModes.at(o->mode);
        spec.keyEvery = o->keyEvery;
        static const std::map<std::string, moviemaker::SoundKind> kSounds = {
            {"none", moviemaker::SoundKind::kNone},
            {"pcm8", moviemaker::SoundKind::kPcm8},
            {"pcm16", moviemaker::SoundKind::kPcm16},
            {"dk4", moviemaker::SoundKind::kDk4Stereo},
            {"dk4-mono", moviemaker::SoundKind::kDk4Mono},
            {"dk3", moviemaker::SoundKind::kDk3}};
        spec.sound = kSounds.at(o->audio);

        if (!o->from.empty()) {
            auto paths = moviemaker::ListPictureFiles(o->from);
            if (!paths) Fail(paths.Error().message);
            if (paths->empty()) Fail(o->from + ": no PNG or PPM pictures found");
            auto first = moviemaker::LoadPicture(paths->front());
            if (!first) Fail(first.Error().message);
            spec.width = first->width;
            spec.height = first->height;
            spec.imagePaths = std::move(paths.Value());
            spec.frames = static_cast<int>(spec.imagePaths.size());
        }

        SafeOutputOptions options;
        options.replaceExisting = o->force;
        if (auto made = moviemaker::MakeMovie(spec, o->out, options); !made) {
            // The writer's errors name the file; the encoder's do not.
            const std::string& message = made.Error().message;
            Fail(message.starts_with(o->out + ": ") ? message : o->out + ": " + message);
        }
        fmt::print("{}: {} frames of {}x{} at {:g} fps\n", o->out, spec.frames, spec.width,
                   spec.height, o->fps);
    });
}
