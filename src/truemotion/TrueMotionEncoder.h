#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "base/Result.h"

// Our own TrueMotion 1 encoder, so that every movie Lumeko plays in its tests and
// demos is made here. For each step of the index stream it picks the code whose
// reconstruction, computed with the decoder's own packed arithmetic, is closest to
// the source, among the codes that keep every pixel in range; the encoder's working
// images therefore stay equal to the decoder's. (Only where the source asks for more
// than any code can follow, such as saturated colours that swap for their opposites
// from block to block, or under the coarse delta set 2 of the 15-bit modes, does a
// pixel break; the decoder still shows exactly the reconstruction.)
//
// It codes key frames in the 15-bit, 24-bit and two-thirds-width modes, and delta
// frames with a change mask in the 15-bit and 24-bit modes. Only groups of one pair
// are used (plus escapes for large steps), which every vector table offers: one index
// byte a step, three with an escape.

namespace truemotion {

struct EncoderState;

enum class EncoderMode { k15Bit, k24Bit, kStretch };

struct EncoderSettings {
    EncoderMode mode = EncoderMode::k24Bit;
    // 0 picks the mode's default (2 for 15-bit and two-thirds width, 10 for 24-bit);
    // otherwise 1, 2, 3, 4, 6 or 8 for the 15-bit modes and 10, 12, 14 or 16 for 24-bit.
    int compression = 0;
    int deltaSet = 0;
    // 1..3. Table 1 lacks the eighth delta of each table (in the 24-bit mode the
    // escape of −235, the only one below −121), so 2 is the default. With a typed
    // header, compressions 1 and 3 decode with table 1 whatever the header says, and
    // so are coded with it.
    int vectorTable = 2;
    // Version 2 and above make an extended header, which carries the header type;
    // below 2 the decoder takes the header as type 0.
    int headerVersion = 2;
    // 0..3, as the compression accepts it. Only types 2 and 3 of an extended header
    // carry the frame flags: without them every frame is a key frame (delta frames
    // included), and the two-thirds-width mode needs them.
    int headerType = 2;
    // A block of a delta frame keeps what the decoder shows unless coding it would
    // bring it closer to the source by more than this (in root-mean-square error per
    // 8-bit channel) and by more than a quarter of the error coding leaves.
    int keepThreshold = 4;
};

class TrueMotionEncoder {
public:
    // Width and height are the display picture's: width a multiple of 4 (a multiple
    // of 12 in the two-thirds-width mode), height from 1; both at most 2048.
    static Result<TrueMotionEncoder> Create(int width, int height, const EncoderSettings& settings);

    TrueMotionEncoder(TrueMotionEncoder&&) noexcept;
    TrueMotionEncoder& operator=(TrueMotionEncoder&&) noexcept;
    ~TrueMotionEncoder();

    // `bgr` is a display bitmap: width × height pixels of blue, green, red, bottom row
    // first. `out` receives the frame's bytes (left empty when `bgr` is too short).
    void EncodeKeyFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out);
    // Codes only the blocks whose coding would improve them. Codes a key frame instead
    // when that serves as well: for the first frame, when no block is worth keeping,
    // when the rows above the first mask stripe (heights that are not a multiple of 4)
    // need coding, and always when the settings carry no frame flags or in the
    // two-thirds-width mode, whose frames are always whole.
    void EncodeDeltaFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out);

    // The picture the decoder shows after the last encoded frame (display bitmap layout).
    std::span<const uint8_t> Reconstruction() const;
    // Whether the last encoded frame is a key frame.
    bool LastFrameIsKey() const;
    int Width() const;
    int Height() const;

    // The coder's working state, for the encoder's own parts and their tests.
    EncoderState& State() { return *m_state; }

private:
    explicit TrueMotionEncoder(std::unique_ptr<EncoderState> state);
    std::unique_ptr<EncoderState> m_state;
};

}  // namespace truemotion
