#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "truemotion/EncoderSteps.h"
#include "truemotion/TrueMotionEncoder.h"

namespace truemotion {

// The decoder's working images after a frame, as the decoder will hold them, and the
// display bitmap it writes from them.
struct WorkImages {
    // 15-bit: the pair image; 24-bit: the luminance image; two-thirds: the coded pair image.
    std::vector<uint32_t> image;
    // 24-bit: the chroma image; two-thirds: the display pair image.
    std::vector<uint32_t> image2;
    std::vector<uint8_t> pixels;
};

// Which mask blocks of a delta frame keep what the decoder shows: one flag per 4 × 4
// block, stripes in the mask's order (from the top).
using KeptBlocks = std::vector<uint8_t>;

// What the encoder knows between frames.
struct EncoderState {
    int width = 0;
    int height = 0;
    EncoderSettings settings;
    int compression = 0;
    // The header type the decoder works with (0 when the header is not extended), and
    // the vector table it builds its codes from.
    int effectiveHeaderType = 0;
    int vectorTable = 0;
    bool narrowBlocks = false;
    int blockMask = 0;
    StepCodes codes;
    std::array<uint32_t, 256> grayTable{};

    WorkImages shown;
    // A delta frame is first coded whole here, to learn what coding each block would
    // reach; it becomes the shown frame when a key frame serves better.
    WorkImages trial;
    std::vector<uint8_t> trialFrame;
    KeptBlocks kept;
    // 24-bit: the chroma steps of the frame being coded, one per sample of every
    // block-top row, chosen before the luminance that is shown with them.
    std::vector<StepCode> chromaSteps;
    bool hasFrame = false;
    bool lastFrameIsKey = false;
    // Whether the coders take their quick paths (the 24-bit one for its chroma); without
    // them every step takes the long way, which must choose the same (the tests hold
    // the quick paths to it).
    bool quickSteps = true;

    int BlockHeight() const { return blockMask + 1; }
    bool IsBlockTopRow(int row) const { return ((height - row) & blockMask) == 0; }
    int MaskBlocks() const { return width / 4; }
    int Stripes() const { return height / 4; }
    // The mask stripe that row r (from the top) follows, counted from the top; -1 for
    // the rows above the first stripe when the height is not a multiple of 4, which
    // the decoder always keeps in a delta frame.
    int StripeOfRow(int row) const { return Stripes() - (height - row + 3) / 4; }
    // Which mask blocks of row r are kept; `keptBlocks` is null for a key frame.
    struct KeptRow {
        const uint8_t* flags = nullptr;  // null: none (key frame) or all (`all`)
        bool all = false;
        bool operator()(int block) const {
            return all || (flags != nullptr && flags[static_cast<size_t>(block)] != 0);
        }
    };
    KeptRow KeptOfRow(const KeptBlocks* keptBlocks, int row) const {
        if (keptBlocks == nullptr) return {};
        const int stripe = StripeOfRow(row);
        if (stripe < 0) return {nullptr, true};
        return {
            keptBlocks->data() + static_cast<size_t>(stripe) * static_cast<size_t>(MaskBlocks()),
            false};
    }
    // Row y of a display bitmap, counted from the top.
    const uint8_t* SourceRow(std::span<const uint8_t> bgr, int y) const {
        return bgr.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(width) * 3;
    }
};

// The mode coders: each codes a frame into `images` (which hold the previous frame,
// for a delta frame) and appends its index stream to `out`. A block marked in `kept`
// reads no index bytes; `kept` is null for a key frame.
void EncodePairFrame(EncoderState& state, std::span<const uint8_t> bgr, const KeptBlocks* kept,
                     WorkImages& images, std::vector<uint8_t>& out);
void EncodeStretchFrame(EncoderState& state, std::span<const uint8_t> bgr, WorkImages& images,
                        std::vector<uint8_t>& out);
void EncodeLumaChromaFrame(EncoderState& state, std::span<const uint8_t> bgr,
                           const KeptBlocks* kept, WorkImages& images, std::vector<uint8_t>& out);

}  // namespace truemotion
