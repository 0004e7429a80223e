#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "truemotion/ChangeMask.h"
#include "truemotion/CodeTables.h"
#include "truemotion/FrameHeader.h"

// The TrueMotion 1 frame decoder: takes over the state of each accepted frame header
// (FrameHeader.h), builds the code tables it names, and runs the key, delta and
// two-thirds-width body decoders over the working images and the writers of the 24-bit
// display bitmap.
//
// Frames are hostile input: every read of a frame is bounded by its length. A body
// that ends early stops the frame there; the working memory and the display bitmap
// are never touched outside their bounds.

namespace truemotion {

namespace testing {
class TrueMotionDecoderTestAccess;
}

inline constexpr int kMaxWidth = 2048;
inline constexpr int kMaxHeight = 2048;

class TrueMotionDecoder {
public:
    TrueMotionDecoder();
    ~TrueMotionDecoder();
    TrueMotionDecoder(const TrueMotionDecoder&) = delete;
    TrueMotionDecoder& operator=(const TrueMotionDecoder&) = delete;

    // Allocates the working memory for a width × height display picture and forgets
    // the code tables, so the next accepted header builds them. False, with nothing
    // allocated, for a size of 0 or above the limits, or when memory runs out.
    bool Open(int width, int height);
    void Close();

    // Decodes one frame into `pixels`, the display bitmap: width × height pixels of
    // blue, green, red, bottom row first. 1 when decoded (or left as it was by the
    // skip flag), 0 when the frame is rejected; a rejected frame leaves `pixels` alone.
    //
    // `previous` is the caller's word that this bitmap (which may be `pixels` itself)
    // still holds the picture of the decoder's last frame, unchanged since. The decoder
    // trusts it only when `previous` is where that frame went, the frame was accepted and
    // written whole or over its own predecessor, and the new frame is a delta frame of
    // the same layout; then it copies `previous` into `pixels` (unless they are one) and
    // writes only the blocks the frame codes. Otherwise it writes the whole picture.
    //
    // With `pixels` null only the working images move on: seeking decodes the frames
    // before its target so, and writes one picture at the end (WritePicture).
    int DecodeFrame(std::span<const uint8_t> frame, uint8_t* pixels,
                    const uint8_t* previous = nullptr);

    // Forgets every frame decoded: the working memory is zeroed and the code tables
    // forgotten, as after Open, without allocating anything.
    void Reset();
    // Writes into `pixels` the picture that the last decoded frame body left in the
    // working images: what DecodeFrame would have written for it. False, with `pixels`
    // untouched, when no body was decoded since Open or Reset.
    bool WritePicture(uint8_t* pixels) const;

    int GetCompression() const { return m_nCompression; }

private:
    friend class testing::TrueMotionDecoderTestAccess;

    // Where the body decoders put the picture: each row as soon as it is decoded (and,
    // if the frame stops early, the rows after it from the working images), or with
    // `changedOnly` each coded block as soon as it is decoded. `pixels` is null when
    // the caller writes the whole picture afterwards.
    struct PictureOut {
        uint8_t* pixels = nullptr;
        bool changedOnly = false;
        size_t rowBytes = 0;
        int height = 0;
        uint8_t* Row(int r) const {
            return pixels + static_cast<size_t>(height - 1 - r) * rowBytes;
        }
    };

    // Takes over an accepted header's state and builds the code tables it names: the
    // header size in bytes, or 0 when the tables cannot be built.
    int TakeHeader(const FrameHeader& header);
    int DecodeFrameBody(std::span<const uint8_t> body, uint8_t* pixels, const uint8_t* previous);
    // What decides how the display bitmap shows the working images.
    uint32_t PictureLayout() const;

    void DecodeKey15(std::span<const uint8_t> indexStream, const PictureOut& out);
    void DecodeDelta15(std::span<const uint8_t> mask, std::span<const uint8_t> indexStream,
                       const PictureOut& out);
    void DecodeKey24(std::span<const uint8_t> indexStream, const PictureOut& out);
    void DecodeDelta24(std::span<const uint8_t> mask, std::span<const uint8_t> indexStream,
                       const PictureOut& out);
    void DecodeStretch(std::span<const uint8_t> indexStream, const PictureOut& out);

    // Starts a frame's change mask with every block kept; then lists the coded blocks of
    // the stripe at `position` in m_codedBlocks and returns the position after it.
    void ResetCodedBlocks();
    size_t LoadMaskStripe(std::span<const uint8_t> mask, size_t position);
    bool IsBlockTopRow(int row) const { return ((m_nHeight - row) & m_nBlockMask) == 0; }
    int ChromaRowLength() const { return m_bNarrowBlocks ? m_nWidth / 2 : m_nWidth / 4; }
    const CodeTable& Table(CodeTableKind kind) const { return m_codeTables[kind]; }

    // How the last decoded body is written out, kept for WritePicture.
    enum class Writer : uint8_t { kNone, k15, k24, kStretch };
    Writer m_lastWriter = Writer::kNone;
    int32_t m_nWriterBlockMask = 0;
    bool m_bWriterNarrow = false;

    int32_t m_nLastCompression = 0;
    std::array<uint32_t, 256> m_grayTable;
    uint8_t m_nCompression = 0;
    uint16_t m_bKeyFrame = 0;
    uint16_t m_bDeltaFlag = 0;
    uint16_t m_bStretch = 0;
    uint16_t m_bSkipFlag = 0;
    int32_t m_bNarrowBlocks = 0;
    int32_t m_nBlockShift = 0;
    int32_t m_nBlockMask = 0;
    uint8_t m_nLastDeltaSet = 0;
    uint8_t m_nLastVectorTable = 0;
    uint16_t m_wTablesBuilt = 0;
    std::unique_ptr<uint32_t[]> m_pWorkImage;
    uint32_t* m_pWorkImage2 = nullptr;
    CodeTables m_codeTables{};
    CodedBlocks m_codedBlocks{};
    // Key frames step one code at a time, never as runs: for the tests that compare the
    // two ways.
    bool m_bStepsOnly = false;
    int32_t m_nWidth = 0;
    int32_t m_nHeight = 0;
    // The bitmap that received the last accepted frame's whole picture, and its layout;
    // null when no bitmap is known to show the working images.
    const uint8_t* m_pLastPixels = nullptr;
    uint32_t m_nLastLayout = 0;
};

}  // namespace truemotion
