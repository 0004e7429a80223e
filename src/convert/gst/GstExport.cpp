#include "convert/gst/GstExport.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/SafeOutputFile.h"
#include "convert/Yuv420.h"
#include "movie/DecodedWaveFormat.h"
#include "movie/DuckMovie.h"

namespace convert {

namespace {

// The elements each format needs and the Debian package that brings each one.
struct Needed {
    const char* factory;
    const char* package;
};
constexpr Needed kCommon[] = {
    {"appsrc", "gstreamer1.0-plugins-base"},        {"videoconvert", "gstreamer1.0-plugins-base"},
    {"videoscale", "gstreamer1.0-plugins-base"},    {"audioconvert", "gstreamer1.0-plugins-base"},
    {"audioresample", "gstreamer1.0-plugins-base"}, {"filesink", "libgstreamer1.0-0"},
};
constexpr Needed kMp4[] = {
    {"x264enc", "gstreamer1.0-plugins-ugly"}, {"h264parse", "gstreamer1.0-plugins-bad"},
    {"voaacenc", "gstreamer1.0-plugins-bad"}, {"aacparse", "gstreamer1.0-plugins-good"},
    {"mp4mux", "gstreamer1.0-plugins-good"},
};
constexpr Needed kWebm[] = {
    {"vp9enc", "gstreamer1.0-plugins-good"},
    {"opusenc", "gstreamer1.0-plugins-base"},
    {"webmmux", "gstreamer1.0-plugins-good"},
};

Result<void> InitGstreamer() {
    static std::once_flag once;
    static bool ready = false;
    static std::string why;
    std::call_once(once, [] {
        GError* error = nullptr;
        ready = gst_init_check(nullptr, nullptr, &error);
        if (!ready) why = error ? error->message : "unknown reason";
        if (error) g_error_free(error);
    });
    if (!ready) return MakeError(ErrorKind::Unsupported, "GStreamer could not start: " + why);
    return {};
}

// Frame i starts at i * scale / rate seconds, in integers so that 30000/1001 stays exact.
GstClockTime FrameTime(uint64_t frame, uint32_t rate, uint32_t scale) {
    return gst_util_uint64_scale(frame * scale, GST_SECOND, rate);
}

// Maps quality 0..100 onto x264's constant rate factor (40 .. 10) or VP9's constant
// quality level (56 .. 8): higher is better, the ends stay away from wasteful extremes.
constexpr uint64_t kAacFrame = 1024;  // samples

int X264Crf(int quality) {
    return 40 - std::clamp(quality, 0, 100) * 30 / 100;
}
int Vp9Level(int quality) {
    return 56 - std::clamp(quality, 0, 100) * 48 / 100;
}

struct SourceFormat {
    int width = 0, height = 0;
    uint32_t rate = 0, scale = 0;
    bool sound = false;
    uint32_t sampleRate = 0;
    uint16_t channels = 0, bits = 16;
};

// The picture is enlarged by a whole factor, the same both ways (1: not at all).
int WholeFactor(const SourceFormat& in, const ExportSize& out) {
    if (out.width % in.width != 0 || out.height % in.height != 0) return 0;
    const int factor = out.width / in.width;
    return out.height / in.height == factor ? factor : 0;
}
bool OwnConversion(const SourceFormat& in, const ExportSize& out) {
    return WholeFactor(in, out) > 0;
}

std::string PipelineText(const ExportSettings& settings, const SourceFormat& in,
                         const std::string& file, const std::string& faststartFile) {
    const ExportSize out = ExportPictureSize(settings, in.width, in.height);
    const int threads = std::max(0, settings.threads);
    // Key frames every few seconds, so that a browser can seek.
    const uint64_t keyEvery = std::max<uint64_t>(1, uint64_t{4} * in.rate / std::max(1u, in.scale));
    // Constant quality, capped only far above what it spends (one bit a pixel), so the
    // cap never costs quality; the encoders' default caps would.
    const uint64_t capKbps =
        std::max<uint64_t>(4000, uint64_t{static_cast<uint32_t>(out.width * out.height)} * in.rate /
                                     std::max(1u, in.scale) / 1000);
    char text[2048];
    if (OwnConversion(in, out)) {
        // Our exact conversion, pixels repeated for whole multiples: straight to the encoder.
        std::snprintf(text, sizeof text,
                      "appsrc name=video format=time caps=video/x-raw,format=I420,width=%d,"
                      "height=%d,framerate=%u/%u,pixel-aspect-ratio=1/1,colorimetry=bt601 ",
                      out.width, out.height, in.rate, in.scale);
    } else {
        std::snprintf(text, sizeof text,
                      "appsrc name=video format=time caps=video/x-raw,format=BGR,width=%d,"
                      "height=%d,framerate=%u/%u,pixel-aspect-ratio=1/1 "
                      // Other sizes: resampled in RGB, before 4:2:0 subsampling.
                      "! videoscale method=lanczos ! video/x-raw,width=%d,height=%d,"
                      "pixel-aspect-ratio=1/1 ! videoconvert dither=none "
                      "! video/x-raw,format=I420,colorimetry=bt601 ",
                      in.width, in.height, in.rate, in.scale, out.width, out.height);
    }
    std::string pipeline = text;
    if (settings.format == ExportFormat::kMp4) {
        std::snprintf(
            text, sizeof text,
            // No B-frames: decoders of the simpler kind (openh264, older phones) mis-decode them.
            "! x264enc pass=qual quantizer=%d bitrate=%llu speed-preset=veryfast bframes=0 "
            "threads=%d key-int-max=%llu ! video/x-h264,profile=high ! h264parse ! mux. "
            "mp4mux name=mux faststart=true faststart-file=\"%s\" "
            "! filesink location=\"%s\" ",
            X264Crf(settings.quality), static_cast<unsigned long long>(capKbps), threads,
            static_cast<unsigned long long>(keyEvery), faststartFile.c_str(), file.c_str());
    } else {
        std::snprintf(text, sizeof text,
                      // Without lag: frames held back for look-ahead were lost at the end.
                      "! vp9enc end-usage=cq cq-level=%d deadline=1 cpu-used=6 lag-in-frames=0 "
                      "target-bitrate=%llu "
                      "threads=%d row-mt=true keyframe-max-dist=%llu ! mux. "
                      "webmmux name=mux ! filesink location=\"%s\" ",
                      Vp9Level(settings.quality), static_cast<unsigned long long>(capKbps * 1000),
                      threads == 0
                          ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency()))
                          : threads,
                      static_cast<unsigned long long>(keyEvery), file.c_str());
    }
    pipeline += text;
    if (in.sound) {
        std::snprintf(text, sizeof text,
                      "appsrc name=audio format=time caps=audio/x-raw,format=%s,layout=interleaved,"
                      "rate=%u,channels=%u ! audioconvert ! audioresample ",
                      in.bits == 8 ? "U8" : "S16LE", in.sampleRate, in.channels);
        pipeline += text;
        if (settings.format == ExportFormat::kMp4) {
            // AAC's highest bit rate shrinks with the sample rate.
            const uint32_t bitrate =
                std::min<uint32_t>(64000u * in.channels, 4u * in.sampleRate * in.channels);
            std::snprintf(text, sizeof text, "! voaacenc bitrate=%u ! aacparse ! mux. ", bitrate);
        } else {
            // Opus codes 48 kHz only; this is the one place the sound is resampled.
            std::snprintf(text, sizeof text,
                          "! audio/x-raw,rate=48000 ! opusenc bitrate=%u ! mux. ",
                          48000u * in.channels);
        }
        pipeline += text;
    }
    return pipeline;
}

struct Pipeline {
    GstElement* bin = nullptr;
    GstElement* video = nullptr;
    GstElement* audio = nullptr;
    GstBus* bus = nullptr;
    ~Pipeline() {
        if (bin) gst_element_set_state(bin, GST_STATE_NULL);
        if (video) gst_object_unref(video);
        if (audio) gst_object_unref(audio);
        if (bus) gst_object_unref(bus);
        if (bin) gst_object_unref(bin);
    }
};

Result<void> Build(Pipeline& p, const std::string& text) {
    GError* error = nullptr;
    p.bin = gst_parse_launch_full(text.c_str(), nullptr, GST_PARSE_FLAG_FATAL_ERRORS, &error);
    if (error) {
        std::string message = error->message;
        g_error_free(error);
        if (p.bin) gst_object_unref(p.bin);
        p.bin = nullptr;
        return MakeError(ErrorKind::Unsupported, "cannot build the export pipeline: " + message);
    }
    p.video = gst_bin_get_by_name(GST_BIN(p.bin), "video");
    p.audio = gst_bin_get_by_name(GST_BIN(p.bin), "audio");
    p.bus = gst_element_get_bus(p.bin);
    return {};
}

// The first error on the bus, or EOS; waits at most `timeout`.
enum class BusState { kRunning, kDone, kFailed };
BusState PollBus(Pipeline& p, GstClockTime timeout, std::string& why) {
    GstMessage* message = gst_bus_timed_pop_filtered(
        p.bus, timeout, static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
    if (!message) return BusState::kRunning;
    BusState state = BusState::kDone;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        why = std::string(GST_OBJECT_NAME(GST_MESSAGE_SRC(message))) + ": " +
              (error ? error->message : "failed");
        if (error) g_error_free(error);
        state = BusState::kFailed;
    }
    gst_message_unref(message);
    return state;
}

// Turns a bottom-up BGR picture upright into a buffer of GStreamer's row stride.
GstBuffer* PictureBuffer(const uint8_t* bottomUp, int width, int height) {
    const size_t row = static_cast<size_t>(width) * 3;
    const size_t stride = (row + 3) & ~size_t{3};
    GstBuffer* buffer =
        gst_buffer_new_allocate(nullptr, stride * static_cast<size_t>(height), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    for (int y = 0; y < height; ++y)
        std::memcpy(map.data + stride * static_cast<size_t>(y),
                    bottomUp + row * static_cast<size_t>(height - 1 - y), row);
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

GstBuffer* I420Buffer(const uint8_t* bottomUp, const SourceFormat& in, const GstVideoInfo& info) {
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const I420Planes planes{
        map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 0), GST_VIDEO_INFO_PLANE_STRIDE(&info, 0),
        map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 1),
        map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, 2), GST_VIDEO_INFO_PLANE_STRIDE(&info, 1)};
    BgrToI420(bottomUp, in.width, in.height, GST_VIDEO_INFO_WIDTH(&info) / in.width, planes);
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

SourceFormat DescribeMovie(CDuckMovie& movie) {
    SourceFormat in;
    movie::BITMAPINFOHEADER bmih;
    movie.GetBitmapHeader(&bmih);
    in.width = bmih.biWidth;
    in.height = bmih.biHeight < 0 ? -bmih.biHeight : bmih.biHeight;
    in.rate = movie.GetRate();
    in.scale = movie.GetScale();
    const movie::WAVEFORMATEX sound = DecodedWaveFormat(movie);
    in.sound = movie.HasAudio() && sound.nChannels > 0 && sound.nSamplesPerSec > 0 &&
               movie.GetAudioChunkSize() > 0;
    in.sampleRate = sound.nSamplesPerSec;
    in.channels = sound.nChannels;
    in.bits = sound.wBitsPerSample;
    return in;
}

}  // namespace

Result<void> CheckExportElements(ExportFormat format) {
    if (auto ready = InitGstreamer(); !ready) return ready;
    std::vector<Needed> needed(std::begin(kCommon), std::end(kCommon));
    if (format == ExportFormat::kMp4)
        needed.insert(needed.end(), std::begin(kMp4), std::end(kMp4));
    else
        needed.insert(needed.end(), std::begin(kWebm), std::end(kWebm));
    for (const Needed& n : needed) {
        GstElementFactory* factory = gst_element_factory_find(n.factory);
        if (!factory)
            return MakeError(ErrorKind::Unsupported,
                             std::string(ExportFormatName(format)) +
                                 " export needs the GStreamer element " + n.factory +
                                 ": install the Debian package " + n.package);
        gst_object_unref(factory);
    }
    return {};
}

Result<std::vector<ExportElement>> ExportPipelineElements(const ExportSettings& settings,
                                                          bool withSound) {
    if (auto ready = CheckExportElements(settings.format); !ready) return ready.Error();
    SourceFormat in{64, 48, 30000, 1001, withSound, 22050, 2, 16};
    Pipeline p;
    if (auto built = Build(p, PipelineText(settings, in, "/dev/null", "/dev/null")); !built)
        return built.Error();
    std::vector<ExportElement> elements;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(p.bin));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(element);
        ExportElement e;
        if (factory) {
            e.factory = GST_OBJECT_NAME(factory);
            GstPlugin* plugin = gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory));
            if (plugin) {
                e.plugin = gst_plugin_get_name(plugin);
                gst_object_unref(plugin);
            }
        }
        elements.push_back(std::move(e));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return elements;
}

Result<void> ExportMovie(CDuckMovie& movie, const std::string& target,
                         const ExportSettings& settings, IExportProgress& progress) {
    if (auto ready = CheckExportElements(settings.format); !ready) return ready;
    const SourceFormat in = DescribeMovie(movie);
    if (in.width <= 0 || in.height <= 0 || in.rate == 0 || in.scale == 0 ||
        movie.GetFrameCount() == 0)
        return MakeError(
            ErrorKind::Unsupported,
            movie.GetPath() + ": the movie has no frames, picture size or frame rate to export");
    const uint32_t frames = movie.GetFrameCount();

    // The movie being read is never the one written; the muxer writes the hidden file
    // by its name.
    SafeOutputOptions options;
    if (auto source = FileIdentity::OfPath(movie.GetPath())) options.inputs.push_back(*source);
    auto temp = SafeOutputFile::Create(target, options);
    if (!temp) return temp.Error();
    const std::string faststartFile = temp->TemporaryPath() + ".mdat";
    struct RemoveAfter {
        const std::string& path;
        ~RemoveAfter() { std::remove(path.c_str()); }
    } removeFaststart{faststartFile};

    Pipeline p;
    if (auto built = Build(p, PipelineText(settings, in, temp->TemporaryPath(), faststartFile));
        !built)
        return built;
    if (gst_element_set_state(p.bin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return MakeError(ErrorKind::Io, target + ": the export pipeline would not start");

    const auto failed = [&](const std::string& why) {
        return MakeError(ErrorKind::Io, target + ": " + why);
    };
    const auto cancelled = [&] { return MakeError(ErrorKind::Cancelled, target + ": cancelled"); };
    std::string why;
    // Our own back-pressure instead of a blocking appsrc, so that a failing pipeline or
    // a cancel never leaves us waiting: a few frames may wait in front of the encoder.
    const guint64 maxQueued = static_cast<guint64>(in.width) * in.height * 3 * 8;
    std::vector<uint8_t> picture(static_cast<size_t>(in.width) * in.height * 3);
    const ExportSize outSize = ExportPictureSize(settings, in.width, in.height);
    const bool own = OwnConversion(in, outSize);
    GstVideoInfo videoInfo;
    gst_video_info_set_format(&videoInfo, GST_VIDEO_FORMAT_I420, static_cast<guint>(outSize.width),
                              static_cast<guint>(outSize.height));
    std::vector<uint8_t> chunk(in.sound ? movie.GetAudioChunkSize() : 0);
    const uint32_t frameBytes = in.channels * (in.bits / 8u);
    // The sound ends with the last picture, as the player's does.
    const uint64_t soundEnd =
        in.sound ? gst_util_uint64_scale(uint64_t{frames} * in.scale, in.sampleRate, in.rate) : 0;
    uint64_t soundSent = 0;
    bool soundOpen = in.sound;
    movie.RewindAudio();
    // The muxer waits for sound until it ends, so the end is told as soon as it comes.
    const auto endSound = [&] {
        soundOpen = false;
        if (in.sound && settings.format == ExportFormat::kMp4 && soundSent % kAacFrame != 0) {
            // The AAC encoder drops a last part-frame; silence completes it, so the sound
            // keeps its end (it grows by less than one AAC frame).
            const uint64_t samples = kAacFrame - soundSent % kAacFrame;
            GstBuffer* silence = gst_buffer_new_allocate(nullptr, samples * frameBytes, nullptr);
            gst_buffer_memset(silence, 0, in.bits == 8 ? 0x80 : 0, samples * frameBytes);
            GST_BUFFER_PTS(silence) = gst_util_uint64_scale(soundSent, GST_SECOND, in.sampleRate);
            GST_BUFFER_DURATION(silence) =
                gst_util_uint64_scale(soundSent + samples, GST_SECOND, in.sampleRate) -
                GST_BUFFER_PTS(silence);
            gst_app_src_push_buffer(GST_APP_SRC(p.audio), silence);
        }
        gst_app_src_end_of_stream(GST_APP_SRC(p.audio));
    };

    for (uint32_t i = 0; i < frames; ++i) {
        while (gst_app_src_get_current_level_bytes(GST_APP_SRC(p.video)) > maxQueued) {
            if (progress.Cancelled()) return cancelled();
            if (PollBus(p, 5 * GST_MSECOND, why) == BusState::kFailed) return failed(why);
        }
        if (progress.Cancelled()) return cancelled();
        if (movie.ReadFrame(i, picture.data()) < 0)
            return failed("frame " + std::to_string(i) + " could not be read");
        GstBuffer* buffer = own ? I420Buffer(picture.data(), in, videoInfo)
                                : PictureBuffer(picture.data(), in.width, in.height);
        GST_BUFFER_PTS(buffer) = FrameTime(i, in.rate, in.scale);
        GST_BUFFER_DURATION(buffer) = FrameTime(i + 1, in.rate, in.scale) - GST_BUFFER_PTS(buffer);
        if (gst_app_src_push_buffer(GST_APP_SRC(p.video), buffer) != GST_FLOW_OK) {
            PollBus(p, 100 * GST_MSECOND, why);
            return failed(why.empty() ? "the encoder stopped" : why);
        }
        // The sound runs ahead of the pictures so that the muxer never waits for it.
        const uint64_t soundDue = std::min(
            soundEnd, gst_util_uint64_scale(uint64_t{i + 2} * in.scale, in.sampleRate, in.rate));
        while (soundOpen && soundSent < soundDue) {
            const uint32_t bytes = movie.ReadAudio(chunk.data());
            uint64_t samples = bytes / frameBytes;
            if (samples == 0) {
                endSound();
                break;
            }
            samples = std::min(samples, soundEnd - soundSent);
            GstBuffer* sound = gst_buffer_new_memdup(chunk.data(), samples * frameBytes);
            GST_BUFFER_PTS(sound) = gst_util_uint64_scale(soundSent, GST_SECOND, in.sampleRate);
            GST_BUFFER_DURATION(sound) =
                gst_util_uint64_scale(soundSent + samples, GST_SECOND, in.sampleRate) -
                GST_BUFFER_PTS(sound);
            soundSent += samples;
            if (gst_app_src_push_buffer(GST_APP_SRC(p.audio), sound) != GST_FLOW_OK) {
                PollBus(p, 100 * GST_MSECOND, why);
                return failed(why.empty() ? "the sound encoder stopped" : why);
            }
        }
        if (soundOpen && soundSent >= soundEnd) endSound();
        if (PollBus(p, 0, why) == BusState::kFailed) return failed(why);
        progress.Progress(i + 1, frames);
    }
    if (soundOpen) endSound();
    gst_app_src_end_of_stream(GST_APP_SRC(p.video));
    for (;;) {
        if (progress.Cancelled()) return cancelled();
        const BusState state = PollBus(p, 20 * GST_MSECOND, why);
        if (state == BusState::kFailed) return failed(why);
        if (state == BusState::kDone) break;
    }
    gst_element_set_state(p.bin, GST_STATE_NULL);
    movie.RewindAudio();
    return temp->Commit();
}

}  // namespace convert
