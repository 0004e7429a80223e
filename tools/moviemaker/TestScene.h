#pragma once

#include <cstdint>
#include <span>

// A synthetic moving scene for movies made without outside material: a drifting
// colour gradient, a bouncing disc, a sliding bar, a block of text-like strokes and a
// grey ramp, so that every code path of the encoder and decoder sees real work.
// Sound is a tone sweep whose two channels differ, so channel mix-ups are audible.

namespace moviemaker {

// Draws frame `index` of a movie at `fps` into `bgr`: width × height pixels of
// blue, green, red, bottom row first (the display bitmap layout).
void DrawSceneFrame(int width, int height, int index, double fps, std::span<uint8_t> bgr);

// Fills `samples` (interleaved, `channels` per frame) with the sweep starting at sample
// frame `firstFrame` of a stream at `sampleRate` lasting `totalFrames` frames.
void RenderSceneSound(int sampleRate, int channels, int64_t firstFrame, int64_t totalFrames,
                      std::span<int16_t> samples);

}  // namespace moviemaker
