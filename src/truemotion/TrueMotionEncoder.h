#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/Result.h"

// Our own TrueMotion 1 encoder, so that every movie Lumeko plays in its tests and
// demos is made here. For each step of the index stream it picks the code whose
// reconstruction, computed with the decoder's own packed arithmetic, is closest to
// the source; the encoder's working images therefore stay equal to the decoder's.
//
// It codes key frames in the 15-bit, 24-bit and two-thirds-width modes, and delta
// frames with a change mask in the 15-bit and 24-bit modes. Only groups of one pair
// are used (plus escapes for large steps), which every vector table offers.

namespace truemotion {

struct EncoderState;

enum class EncoderMode { k15Bit, k24Bit, kStretch };

struct EncoderSettings {
    EncoderMode mode = EncoderMode::k24Bit;
    // 0 picks the mode's default (2 for 15-bit and two-thirds width, 10 for 24-bit);
    // otherwise a compression number that accepts typed headers in the mode.
    int compression = 0;
    int deltaSet = 0;
    // 1..3; compressions 1 and 3 always decode with table 1, so it is used for them.
    int vectorTable = 2;
    // Header type 2 or 3 (both carry the frame flags).
    int headerType = 2;
    // A block of a delta frame is kept when no channel of it differs from the last
    // reconstruction by more than this.
    int keepThreshold = 6;
};

class TrueMotionEncoder {
public:
    // Width and height are the display picture's. Both must be multiples of 4 (the
    // two-thirds mode: width a multiple of 12), at most 2048.
    static Result<TrueMotionEncoder> Create(int width, int height, const EncoderSettings& settings);

    TrueMotionEncoder(TrueMotionEncoder&&) noexcept;
    TrueMotionEncoder& operator=(TrueMotionEncoder&&) noexcept;
    ~TrueMotionEncoder();

    // `bgr` is a display bitmap: width × height pixels of blue, green, red, bottom row
    // first. `out` receives the frame's bytes.
    void EncodeKeyFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out);
    // Codes only the blocks that changed since the last frame. In the two-thirds-width
    // mode, whose frames are always whole, this is a key frame.
    void EncodeDeltaFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out);

    // The picture the decoder shows after the last encoded frame (display bitmap layout).
    std::span<const uint8_t> Reconstruction() const;
    int Width() const;
    int Height() const;

private:
    explicit TrueMotionEncoder(std::unique_ptr<EncoderState> state);
    std::unique_ptr<EncoderState> m_state;
};

}  // namespace truemotion
