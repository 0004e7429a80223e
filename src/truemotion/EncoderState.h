#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "truemotion/EncoderSteps.h"
#include "truemotion/TrueMotionEncoder.h"

namespace truemotion {

// What the encoder knows between frames: the decoder's working images as the decoder
// will hold them, and the picture it shows.
struct EncoderState {
    int width = 0;
    int height = 0;
    EncoderSettings settings;
    int compression = 0;
    bool narrowBlocks = false;
    int blockMask = 0;
    StepCodes codes;
    // 15-bit: the pair image; 24-bit: the luminance image; two-thirds: the coded pair image.
    std::vector<uint32_t> image;
    // 24-bit: the chroma image; two-thirds: the display pair image.
    std::vector<uint32_t> image2;
    std::vector<uint8_t> reconstruction;
    std::array<uint32_t, 256> grayTable{};
    bool hasFrame = false;

    int BlockHeight() const { return blockMask + 1; }
    bool IsBlockTopRow(int row) const { return ((height - row) & blockMask) == 0; }

    // Channel c (0 blue, 1 green, 2 red) of source pixel (x, y), y counted from the top.
    static int Source(std::span<const uint8_t> bgr, int width, int height, int x, int y, int c) {
        return bgr[(static_cast<size_t>(height - 1 - y) * width + x) * 3 + c];
    }
};

// Which mask blocks a delta frame keeps: one flag per 4 × 4 block, stripes from the top;
// empty for a key frame.
using KeptBlocks = std::vector<uint8_t>;

void EncodePairFrame(EncoderState& state, std::span<const uint8_t> bgr, const KeptBlocks& kept,
                     std::vector<uint8_t>& out);
void EncodeStretchFrame(EncoderState& state, std::span<const uint8_t> bgr, std::vector<uint8_t>& out);
void EncodeLumaChromaFrame(EncoderState& state, std::span<const uint8_t> bgr, const KeptBlocks& kept,
                           std::vector<uint8_t>& out);

}  // namespace truemotion
