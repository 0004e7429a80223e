#include "truemotion/TrueMotionEncoder.h"

#include <cstring>
#include <string>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "truemotion/EncoderState.h"
#include "truemotion/FrameHeader.h"
#include "truemotion/TrueMotionDecoder.h"

namespace truemotion {
namespace {

// Stretch frames hold 4 coded pixels for every 6 shown; their width must also give
// whole groups of 4 shown pixels.
constexpr int kStretchWidthUnit = 12;
constexpr int kMaxStretchWidth = kMaxWidth / kStretchWidthUnit * kStretchWidthUnit;

bool Accepts(int compression, int type) {
    return type >= 0 && type <= kMaxHeaderType && AcceptsHeaderType(compression, type);
}

// The compressions that code a mode: those accepting some header type, with the
// mode's code-table layout.
bool CodesMode(int compression, EncoderMode mode) {
    if (compression < 1 || compression > kMaxCompression) return false;
    const bool is24 = kCompressionTable[static_cast<size_t>(compression)].codeClass == kClass24Bit;
    bool accepted = false;
    for (int type = 0; type <= 3; ++type) accepted = accepted || Accepts(compression, type);
    return accepted && is24 == (mode == EncoderMode::k24Bit);
}

Error Unsupported(const std::string& message) {
    return MakeError(ErrorKind::Unsupported, message);
}

size_t Area(int width, int height) {
    return static_cast<size_t>(width) * static_cast<size_t>(height);
}

bool CarriesFlags(const EncoderState& s) {
    return s.effectiveHeaderType >= kFirstTypeWithFlags;
}

// The header of the encoder's frames.
FrameHeader HeaderFor(const EncoderState& s, bool delta) {
    const bool stretch = s.settings.mode == EncoderMode::kStretch;
    FrameHeader header;
    header.size = kEncodedHeaderBytes;
    header.compression = static_cast<uint8_t>(s.compression);
    header.deltaSet = static_cast<uint8_t>(s.settings.deltaSet);
    header.vectorTable = static_cast<uint8_t>(s.settings.vectorTable);
    header.height = static_cast<uint16_t>(s.height);
    header.width = static_cast<uint16_t>(stretch ? s.width / 3 * 2 : s.width);
    header.version = static_cast<uint8_t>(s.settings.headerVersion);
    header.type = static_cast<uint8_t>(s.settings.headerType);
    header.flags = static_cast<uint8_t>((stretch ? kStretchFlag : 0) | (delta ? kDeltaFlag : 0));
    return header;
}

void WriteHeader(const EncoderState& s, bool delta, std::vector<uint8_t>& out) {
    WriteFrameHeader(HeaderFor(s, delta), out);
}

// A whole frame: header, index stream, and one index byte past the last step, which
// the decoder reads when the last step ends its group.
void CodeKeyFrame(EncoderState& s, std::span<const uint8_t> bgr, WorkImages& images,
                  std::vector<uint8_t>& out) {
    WriteHeader(s, false, out);
    if (s.settings.mode == EncoderMode::kStretch)
        EncodeStretchFrame(s, bgr, images, out);
    else if (s.settings.mode == EncoderMode::k24Bit)
        EncodeLumaChromaFrame(s, bgr, nullptr, images, out);
    else
        EncodePairFrame(s, bgr, nullptr, images, out);
    out.push_back(s.codes.pairGroup[0][0]);
}

// Squared error of the 12 bytes at a against those at b.
int PixelsError(const uint8_t* a, const uint8_t* b) {
#if defined(__SSE2__)
    // 8 + 4 bytes, so that the last block of a picture reads nothing past it.
    auto load = [](const uint8_t* p) {
        uint32_t last;
        std::memcpy(&last, p + 8, 4);
        return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                                  _mm_cvtsi32_si128(static_cast<int>(last)));
    };
    const __m128i zero = _mm_setzero_si128();
    const __m128i x = load(a), y = load(b);
    const __m128i low = _mm_sub_epi16(_mm_unpacklo_epi8(x, zero), _mm_unpacklo_epi8(y, zero));
    const __m128i high = _mm_sub_epi16(_mm_unpackhi_epi8(x, zero), _mm_unpackhi_epi8(y, zero));
    __m128i sum = _mm_add_epi32(_mm_madd_epi16(low, low), _mm_madd_epi16(high, high));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
    return _mm_cvtsi128_si32(sum);
#else
    int sum = 0;
    for (int k = 0; k < 12; ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
    return sum;
#endif
}

// Squared error of the pixels x0..x0+3 of rows y0..y1-1 of `shown` against the source.
int BlockError(const EncoderState& s, std::span<const uint8_t> bgr, std::span<const uint8_t> shown,
               int x0, int y0, int y1) {
    int sum = 0;
    for (int y = y0; y < y1; ++y)
        sum += PixelsError(s.SourceRow(bgr, y) + 3 * x0, s.SourceRow(shown, y) + 3 * x0);
    return sum;
}

}  // namespace

Result<TrueMotionEncoder> TrueMotionEncoder::Create(int width, int height,
                                                    const EncoderSettings& settings) {
    const bool stretch = settings.mode == EncoderMode::kStretch;
    const int widthUnit = stretch ? kStretchWidthUnit : 4;
    if (width < widthUnit || width > (stretch ? kMaxStretchWidth : kMaxWidth) ||
        width % widthUnit != 0 || height < 1 || height > kMaxHeight)
        return Unsupported(
            "TrueMotion pictures are 1 to 2048 rows high and up to 2048 pixels wide, in a multiple "
            "of " +
            std::to_string(widthUnit) + " pixels");
    const int compression = settings.compression != 0              ? settings.compression
                            : settings.mode == EncoderMode::k24Bit ? 10
                                                                   : 2;
    if (!CodesMode(compression, settings.mode))
        return Unsupported("compression " + std::to_string(compression) +
                           " does not code this mode");
    if (settings.headerVersion < 0 || settings.headerVersion > 255 ||
        !Accepts(compression, settings.headerType))
        return Unsupported("compression " + std::to_string(compression) +
                           " does not accept header type " + std::to_string(settings.headerType));
    if (settings.deltaSet < 0 || settings.deltaSet > 3 || settings.vectorTable < 1 ||
        settings.vectorTable > 3 || settings.keepThreshold < 0)
        return Unsupported(
            "delta sets are 0..3, vector tables 1..3, and the keep threshold is not negative");

    auto state = std::make_unique<EncoderState>();
    EncoderState& s = *state;
    s.width = width;
    s.height = height;
    s.settings = settings;
    s.compression = compression;
    // The decoder goes by the header's type in effect and the vector table it implies.
    const FrameHeader header = HeaderFor(s, false);
    s.effectiveHeaderType = header.Type();
    if (stretch && !CarriesFlags(s))
        return Unsupported(
            "frames coded at two thirds of the width need header type 2 or 3 of version 2");
    s.vectorTable = header.CodeVectorTable();
    const CompressionRow& row = header.Row();
    s.narrowBlocks = row.blockWidth == 2;
    s.blockMask = row.blockHeight - 1;
    const auto layout =
        row.codeClass == kClass24Bit ? CodeTableLayout::k24Bit : CodeTableLayout::k15Bit;
    if (!BuildStepCodes(settings.deltaSet, s.vectorTable, layout, s.codes))
        return Unsupported("the vector table offers too few single-pair groups");
    s.grayTable = kGrayTable;

    // The images as the decoder lays them out: rows of at most W/2 words, the row above
    // the picture, and in the 24-bit mode a chroma row the writer reads below the last
    // block-top row when the height is not a multiple of the block height. The trial
    // images serve delta frames only.
    const bool codesDeltaFrames = CarriesFlags(s) && !stretch;
    for (WorkImages* images : {&s.shown, &s.trial}) {
        if (images == &s.trial && !codesDeltaFrames) break;
        images->image.assign(Area(width / 2, height + 2), 0);
        images->image2.assign(Area(width / 2, height + 2), 0);
        images->pixels.assign(Area(width, height) * 3, 0);
    }
    s.kept.assign(static_cast<size_t>(s.Stripes()) * static_cast<size_t>(s.MaskBlocks()), 0);
    // One chroma step a sample of every block-top row.
    s.chromaSteps.assign(Area(width / 2, height), StepCode{});
    // No frame holds more than three index bytes a step, one step a pixel.
    if (codesDeltaFrames) s.trialFrame.reserve(kEncodedHeaderBytes + 3 * Area(width, height) + 1);
    return TrueMotionEncoder(std::move(state));
}

TrueMotionEncoder::TrueMotionEncoder(std::unique_ptr<EncoderState> state)
    : m_state(std::move(state)) {}
TrueMotionEncoder::TrueMotionEncoder(TrueMotionEncoder&&) noexcept = default;
TrueMotionEncoder& TrueMotionEncoder::operator=(TrueMotionEncoder&&) noexcept = default;
TrueMotionEncoder::~TrueMotionEncoder() = default;

void TrueMotionEncoder::EncodeKeyFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out) {
    EncoderState& s = *m_state;
    out.clear();
    if (bgr.size() < Area(s.width, s.height) * 3) return;
    CodeKeyFrame(s, bgr, s.shown, out);
    s.hasFrame = true;
    s.lastFrameIsKey = true;
}

void TrueMotionEncoder::EncodeDeltaFrame(std::span<const uint8_t> bgr, std::vector<uint8_t>& out) {
    EncoderState& s = *m_state;
    if (!s.hasFrame || !CarriesFlags(s) || s.settings.mode == EncoderMode::kStretch)
        return EncodeKeyFrame(bgr, out);
    out.clear();
    if (bgr.size() < Area(s.width, s.height) * 3) return;

    const int threshold = s.settings.keepThreshold;
    const int topRows = s.height % 4;
    // A block whose kept picture lies within the threshold stays kept whatever coding
    // would reach; when every block does, the frame keeps them all without the trial.
    auto withinThreshold = [&](int x0, int y0, int y1) {
        return BlockError(s, bgr, s.shown.pixels, x0, y0, y1) <=
               12 * (y1 - y0) * threshold * threshold;
    };
    bool allWithin = true;
    for (int k = 0; k < s.MaskBlocks() && allWithin; ++k) {
        allWithin = topRows == 0 || withinThreshold(4 * k, 0, topRows);
        for (int stripe = 0; stripe < s.Stripes() && allWithin; ++stripe)
            allWithin = withinThreshold(4 * k, topRows + 4 * stripe, topRows + 4 * stripe + 4);
    }
    // What coding every block reaches, against what keeping it shows.
    if (!allWithin) CodeKeyFrame(s, bgr, s.trial, s.trialFrame);
    // Coding pays when it gains more than the threshold allows (per pixel and channel)
    // and more than a quarter of what coding itself misses by: a block the source has
    // not changed codes a little differently each time, and is better left alone.
    auto worthCoding = [&](int x0, int y0, int y1) {
        if (allWithin) return false;
        const int allowance = 12 * (y1 - y0) * threshold * threshold;
        const int kept = BlockError(s, bgr, s.shown.pixels, x0, y0, y1);
        // Within the allowance no coding can be worth it.
        if (kept <= allowance) return false;
        const int coded = BlockError(s, bgr, s.trial.pixels, x0, y0, y1);
        return kept > coded + coded / 4 + allowance;
    };
    bool topRowsNeedCoding = false, anyKept = false;
    for (int k = 0; k < s.MaskBlocks() && !topRowsNeedCoding; ++k) {
        // The rows above the first stripe are always kept by a delta frame.
        topRowsNeedCoding = topRows > 0 && worthCoding(4 * k, 0, topRows);
        for (int stripe = 0; stripe < s.Stripes(); ++stripe) {
            const int y0 = topRows + 4 * stripe;
            const bool keep = !worthCoding(4 * k, y0, y0 + 4);
            s.kept[static_cast<size_t>(stripe * s.MaskBlocks() + k)] = keep;
            anyKept = anyKept || keep;
        }
    }
    if (topRowsNeedCoding || (!anyKept && s.Stripes() > 0)) {
        std::swap(s.shown, s.trial);
        out.assign(s.trialFrame.begin(), s.trialFrame.end());
        s.lastFrameIsKey = true;
        return;
    }

    WriteHeader(s, true, out);
    const size_t stripeBytes = static_cast<size_t>((s.MaskBlocks() + 7) >> 3);
    const size_t maskStart = out.size();
    out.resize(maskStart + stripeBytes * static_cast<size_t>(s.Stripes()), 0);
    for (int stripe = 0; stripe < s.Stripes(); ++stripe)
        for (int k = 0; k < s.MaskBlocks(); ++k)
            if (s.kept[static_cast<size_t>(stripe * s.MaskBlocks() + k)])
                out[maskStart + stripe * stripeBytes + static_cast<size_t>(k / 8)] |=
                    static_cast<uint8_t>(1 << (k % 8));
    if (s.settings.mode == EncoderMode::k24Bit)
        EncodeLumaChromaFrame(s, bgr, &s.kept, s.shown, out);
    else
        EncodePairFrame(s, bgr, &s.kept, s.shown, out);
    // Also the first index byte of a frame whose blocks are all kept.
    out.push_back(s.codes.pairGroup[0][0]);
    s.lastFrameIsKey = false;
}

std::span<const uint8_t> TrueMotionEncoder::Reconstruction() const {
    return m_state->shown.pixels;
}
bool TrueMotionEncoder::LastFrameIsKey() const {
    return m_state->lastFrameIsKey;
}
int TrueMotionEncoder::Width() const {
    return m_state->width;
}
int TrueMotionEncoder::Height() const {
    return m_state->height;
}

}  // namespace truemotion
