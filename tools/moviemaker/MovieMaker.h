#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/SafeOutputFile.h"
#include "truemotion/TrueMotionEncoder.h"

// Makes complete TrueMotion AVI files with our own encoders: the movies that the
// tests, the benchmarks and the demo play. Pictures come from the synthetic scene or
// from a list of image files; sound is the scene's tone sweep.

namespace moviemaker {

enum class SoundKind { kNone, kPcm8, kPcm16, kDk4Stereo, kDk4Mono, kDk3 };

struct MovieSpec {
    int width = 320;
    int height = 240;
    int frames = 150;
    // Frame rate as rate / scale, as the file stores it.
    uint32_t rate = 15;
    uint32_t scale = 1;
    truemotion::EncoderMode mode = truemotion::EncoderMode::k24Bit;
    // A key frame every this many frames; 1 makes every frame a key frame.
    int keyEvery = 15;
    SoundKind sound = SoundKind::kDk4Stereo;
    int sampleRate = 22050;
    // Seconds of sound per sound chunk; 0 for about two frames' worth.
    double soundChunkSeconds = 0;
    // Seconds of sound; 0 for as long as the picture.
    double soundSeconds = 0;
    // When not empty, the pictures: one file per frame (PNG or binary PPM), all of the
    // movie's size; `frames` is then their count.
    std::vector<std::string> imagePaths;
};

// Writes the movie to `path` (atomically: nothing appears under `path` on failure).
Result<void> MakeMovie(const MovieSpec& spec, const std::string& path,
                       const SafeOutputOptions& options = {});

}  // namespace moviemaker
