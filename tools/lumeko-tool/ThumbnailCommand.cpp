#include <fmt/core.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "Commands.h"
#include "OpenMovie.h"
#include "moviemaker/ImageFile.h"

// A picture for file managers: a frame that shows something (the opening frames of old
// game movies are often black or one flat colour), made small.

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;  // bottom row first
};

// How much the brightness varies over the picture; black and flat frames have none.
double LumaVariance(const std::vector<uint8_t>& bgr) {
    double sum = 0, squares = 0;
    size_t n = 0;
    for (size_t i = 0; i + 2 < bgr.size(); i += 3 * 3) {
        const double y = 0.114 * bgr[i] + 0.587 * bgr[i + 1] + 0.299 * bgr[i + 2];
        sum += y;
        squares += y * y;
        ++n;
    }
    if (n == 0) return 0;
    const double mean = sum / static_cast<double>(n);
    return squares / static_cast<double>(n) - mean * mean;
}

// Fits the picture into size x size, averaging the pixels each output pixel covers;
// smaller pictures stay as they are.
Picture FitInto(const Picture& in, int size) {
    if (in.width <= size && in.height <= size) return in;
    Picture out;
    if (in.width >= in.height) {
        out.width = size;
        out.height = std::max(1, static_cast<int>(int64_t{in.height} * size / in.width));
    } else {
        out.height = size;
        out.width = std::max(1, static_cast<int>(int64_t{in.width} * size / in.height));
    }
    out.bgr.resize(static_cast<size_t>(out.width) * out.height * 3);
    for (int y = 0; y < out.height; ++y) {
        const int y0 = static_cast<int>(int64_t{y} * in.height / out.height);
        const int y1 = std::max(y0 + 1, static_cast<int>(int64_t{y + 1} * in.height / out.height));
        for (int x = 0; x < out.width; ++x) {
            const int x0 = static_cast<int>(int64_t{x} * in.width / out.width);
            const int x1 =
                std::max(x0 + 1, static_cast<int>(int64_t{x + 1} * in.width / out.width));
            uint32_t sum[3] = {0, 0, 0};
            for (int sy = y0; sy < y1; ++sy)
                for (int sx = x0; sx < x1; ++sx)
                    for (int c = 0; c < 3; ++c)
                        sum[c] += in.bgr[(static_cast<size_t>(sy) * in.width + sx) * 3 + c];
            const uint32_t count = static_cast<uint32_t>((y1 - y0) * (x1 - x0));
            for (int c = 0; c < 3; ++c)
                out.bgr[(static_cast<size_t>(y) * out.width + x) * 3 + c] =
                    static_cast<uint8_t>((sum[c] + count / 2) / count);
        }
    }
    return out;
}

struct ThumbnailOptions {
    std::string in, out;
    int size = 256;
    // The first frame considered. A start time given by the user goes here.
    uint32_t startFrame = 0;
};

}  // namespace

void AddThumbnailCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand(
        "thumbnail", "Write a small PNG of a representative frame, for file managers");
    auto o = std::make_shared<ThumbnailOptions>();
    cmd->add_option("IN", o->in, "The movie")->required();
    cmd->add_option("OUT", o->out, "The PNG file to write")->required();
    cmd->add_option("-s,--size", o->size, "Largest side in pixels")
        ->check(CLI::Range(16, 4096))
        ->capture_default_str();
    cmd->callback([o] {
        auto tool = OpenMovieOrFail(o->in);
        CDuckMovie& movie = tool->movie;
        movie::BITMAPINFOHEADER bmih;
        movie.GetBitmapHeader(&bmih);
        const uint32_t frames = movie.GetFrameCount();
        if (frames == 0 || bmih.biWidth <= 0 || bmih.biHeight <= 0) {
            fmt::print(stderr, "{}: the movie has no pictures\n", o->in);
            throw CLI::RuntimeError(1);
        }
        // Candidates spread over the opening (at most half a minute, so that a long movie
        // is as quick as a short one); the one with the most variation in brightness wins.
        const uint32_t start = std::min(o->startFrame, frames - 1);
        const uint64_t perSecond =
            std::max<uint64_t>(1, movie.GetRate() / std::max(1u, movie.GetScale()));
        const uint32_t span =
            static_cast<uint32_t>(std::min<uint64_t>(frames - start, 30 * perSecond));
        std::vector<uint32_t> candidates;
        for (const uint32_t percent : {10u, 25u, 40u, 55u, 70u, 85u})
            candidates.push_back(start + static_cast<uint32_t>(uint64_t{span - 1} * percent / 100));
        Picture current{bmih.biWidth, bmih.biHeight, {}};
        current.bgr.resize(static_cast<size_t>(bmih.biWidth) * bmih.biHeight * 3);
        Picture best;
        double bestVariance = -1;
        // Frames depend on the ones before them: decode from the start.
        for (uint32_t i = 0; i <= candidates.back(); ++i) {
            if (movie.ReadFrame(i, current.bgr.data()) < 0) break;
            if (std::find(candidates.begin(), candidates.end(), i) == candidates.end()) continue;
            const double variance = LumaVariance(current.bgr);
            if (variance > bestVariance) bestVariance = variance, best = current;
        }
        if (best.bgr.empty()) {
            fmt::print(stderr, "{}: no frame could be decoded\n", o->in);
            throw CLI::RuntimeError(1);
        }
        const Picture small = FitInto(best, o->size);
        if (auto saved = moviemaker::SavePng(o->out, small.width, small.height, small.bgr.data());
            !saved) {
            fmt::print(stderr, "{}\n", saved.Error().message);
            throw CLI::RuntimeError(1);
        }
    });
}
