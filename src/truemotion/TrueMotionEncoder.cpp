#include "truemotion/TrueMotionEncoder.h"

#include <algorithm>
#include <cstdlib>

#include "truemotion/EncoderState.h"
#include "truemotion/FrameGeometry.h"
#include "truemotion/TrueMotionDecoder.h"

namespace truemotion {
namespace {

// Our frames carry a 24-byte header, so all 21 coded header bytes lie inside it. The
// size byte codes 24 as ((b & 15) << 3) | (b >> 5), with bit 4 set to pass the check
// that a size byte is at least 0x10.
constexpr uint8_t kHeaderSizeByte = 0x13;
constexpr size_t kHeaderBytes = 24;
constexpr uint8_t kExtendedVersion = 2;
constexpr uint8_t kDeltaFlag = 0x08;

bool Accepts(int compression, int type) {
    return compression >= 1 && compression <= 16 && type >= 0 && type <= 3 &&
           kCompressionTable[static_cast<size_t>(compression)][static_cast<size_t>(type)] != 0;
}

void WriteHeader(const EncoderState& s, bool delta, std::vector<uint8_t>& out) {
    std::array<uint8_t, kCodedHeaderBytes> d{};
    const bool stretch = s.settings.mode == EncoderMode::kStretch;
    const int storedWidth = stretch ? s.width / 3 * 2 : s.width;
    d[0] = static_cast<uint8_t>(s.compression);
    d[1] = static_cast<uint8_t>(s.settings.deltaSet);
    d[2] = static_cast<uint8_t>(s.settings.vectorTable);
    d[3] = static_cast<uint8_t>(s.height & 0xFF);
    d[4] = static_cast<uint8_t>(s.height >> 8);
    d[5] = static_cast<uint8_t>(storedWidth & 0xFF);
    d[6] = static_cast<uint8_t>(storedWidth >> 8);
    d[9] = kExtendedVersion;
    d[10] = static_cast<uint8_t>(s.settings.headerType);
    d[11] = static_cast<uint8_t>((stretch ? kStretchFlag : 0) | (delta ? kDeltaFlag : 0));
    out.assign(kHeaderBytes, 0);
    out[0] = kHeaderSizeByte;
    for (size_t k = 0; k < d.size(); ++k) out[k + 2] = out[k + 1] ^ d[k];
}

}  // namespace

Result<TrueMotionEncoder> TrueMotionEncoder::Create(int width, int height, const EncoderSettings& settings) {
    auto state = std::make_unique<EncoderState>();
    const bool is24 = settings.mode == EncoderMode::k24Bit;
    const int widthUnit = settings.mode == EncoderMode::kStretch ? 12 : 4;
    if (width <= 0 || height <= 0 || width > kMaxWidth || height > kMaxHeight || width % widthUnit || height % 4)
        return MakeError(ErrorKind::Unsupported,
                         "TrueMotion pictures must be at most 2048 x 2048, with a height that is a multiple of 4 and "
                         "a width that is a multiple of " + std::to_string(widthUnit));
    const int compression = settings.compression ? settings.compression : is24 ? 10 : 2;
    if ((compression > 8) != is24 || !Accepts(compression, settings.headerType) || settings.headerType < 2)
        return MakeError(ErrorKind::Unsupported, "compression " + std::to_string(compression) +
                                                     " with header type " + std::to_string(settings.headerType) +
                                                     " does not code this mode");
    if (settings.deltaSet < 0 || settings.deltaSet > 3 || settings.vectorTable < 1 || settings.vectorTable > 3)
        return MakeError(ErrorKind::Unsupported, "delta set 0..3 and vector table 1..3");

    const auto& row = kCompressionTable[static_cast<size_t>(compression)];
    state->width = width;
    state->height = height;
    state->settings = settings;
    // Odd compressions decode typed headers with vector table 1 whatever the header says.
    if (compression & 1) state->settings.vectorTable = 1;
    state->compression = compression;
    state->narrowBlocks = row[kCompressionBlockWidthByte] == 2;
    state->blockMask = row[kCompressionBlockHeightByte] - 1;
    const auto layout = row[kCompressionClassByte] == kClass24Bit ? CodeTableLayout::k24Bit : CodeTableLayout::k15Bit;
    if (!BuildStepCodes(state->settings.deltaSet, state->settings.vectorTable, layout, state->codes))
        return MakeError(ErrorKind::Unsupported, "vector table without single-pair groups");
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    state->image.assign(w * (h + 1), 0);
    state->image2.assign(w * (h + 2), 0);
    state->reconstruction.assign(w * h * 3, 0);
    for (uint32_t v = 0; v < 256; ++v) state->grayTable[v] = 0x80000000u + v * 0x010101u;
    return TrueMotionEncoder(std::move(state));
}

TrueMotionEncoder::TrueMotionEncoder(std::unique_ptr<EncoderState> state) : m_state(std::move(state)) {}
TrueMotionEncoder::TrueMotionEncoder(TrueMotionEncoder&&) noexcept = default;
TrueMotionEncoder& TrueMotionEncoder::operator=(TrueMotionEncoder&&) noexcept = default;
TrueMotionEncoder::~TrueMotionEncoder() = default;

void TrueMotionEncoder::EncodeKeyFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out) {
    EncoderState& s = *m_state;
    WriteHeader(s, false, out);
    if (s.settings.mode == EncoderMode::kStretch)
        EncodeStretchFrame(s, bgr, out);
    else if (s.settings.mode == EncoderMode::k24Bit)
        EncodeLumaChromaFrame(s, bgr, {}, out);
    else
        EncodePairFrame(s, bgr, {}, out);
    // The decoder reads one index byte past the last step; give it one.
    out.push_back(s.codes.pairGroup[0][0]);
    s.hasFrame = true;
}

void TrueMotionEncoder::EncodeDeltaFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out) {
    EncoderState& s = *m_state;
    if (!s.hasFrame || s.settings.mode == EncoderMode::kStretch) return EncodeKeyFrame(bgr, out);

    // A block is kept when the picture the decoder already shows is close enough.
    const int blocks = s.width / 4, stripes = s.height / 4;
    KeptBlocks kept(static_cast<size_t>(blocks) * stripes, 0);
    for (int stripe = 0; stripe < stripes; ++stripe)
        for (int k = 0; k < blocks; ++k) {
            int worst = 0;
            for (int y = 4 * stripe; y < 4 * stripe + 4; ++y)
                for (int x = 4 * k; x < 4 * k + 4; ++x)
                    for (int c = 0; c < 3; ++c)
                        worst = std::max(worst, std::abs(EncoderState::Source(bgr, s.width, s.height, x, y, c) -
                                                         EncoderState::Source(s.reconstruction, s.width, s.height, x,
                                                                              y, c)));
            kept[static_cast<size_t>(stripe) * blocks + k] = worst <= s.settings.keepThreshold;
        }

    WriteHeader(s, true, out);
    const size_t stripeBytes = static_cast<size_t>((blocks + 7) >> 3);
    const size_t maskStart = out.size();
    out.resize(maskStart + stripeBytes * static_cast<size_t>(stripes), 0);
    for (int stripe = 0; stripe < stripes; ++stripe)
        for (int k = 0; k < blocks; ++k)
            if (kept[static_cast<size_t>(stripe) * blocks + k])
                out[maskStart + stripe * stripeBytes + static_cast<size_t>(k / 8)] |= static_cast<uint8_t>(1 << (k % 8));

    if (s.settings.mode == EncoderMode::k24Bit)
        EncodeLumaChromaFrame(s, bgr, kept, out);
    else
        EncodePairFrame(s, bgr, kept, out);
    // Every index stream starts with a byte, even one whose blocks are all kept.
    if (out.size() == maskStart + stripeBytes * static_cast<size_t>(stripes)) out.push_back(s.codes.pairGroup[0][0]);
    out.push_back(s.codes.pairGroup[0][0]);
}

std::span<const uint8_t> TrueMotionEncoder::Reconstruction() const { return m_state->reconstruction; }
int TrueMotionEncoder::Width() const { return m_state->width; }
int TrueMotionEncoder::Height() const { return m_state->height; }

}  // namespace truemotion
