#include "audio/Dk3Decoder.h"

#include <algorithm>

#include "audio/AdpcmNibble.h"
#include "audio/AudioFormat.h"
#include "base/ByteReader.h"

namespace audio {

namespace {

// Nibbles of the data bytes in order, the low nibble of each byte first.
class NibbleStream {
public:
    explicit NibbleStream(const uint8_t* data) : m_pData(data) {}

    unsigned Next() {
        const uint8_t byte = m_pData[m_nPosition >> 1];
        const unsigned nibble = (m_nPosition & 1) ? byte >> 4 : byte & 15;
        ++m_nPosition;
        return nibble;
    }

private:
    const uint8_t* m_pData;
    size_t m_nPosition = 0;
};

int32_t WrappingAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

int32_t WrappingSub(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

void WriteFrame(int16_t*& out, int32_t sum, int32_t difference) {
    *out++ = static_cast<int16_t>(WrappingAdd(sum, difference));
    *out++ = static_cast<int16_t>(WrappingSub(sum, difference));
}

}  // namespace

size_t DecodeDk3(std::span<const uint8_t> src, uint16_t blockAlign, std::span<int16_t> dst) {
    if (!IsValidBlockAlign(kWaveFormatDk3, 2, blockAlign)) return 0;
    const size_t framesPerBlock = Dk3FramesPerBlock(blockAlign);
    const size_t blockCount = std::min(src.size() / blockAlign, dst.size() / (2 * framesPerBlock));

    int16_t* out = dst.data();
    for (size_t block = 0; block < blockCount; ++block) {
        const uint8_t* bytes = src.data() + block * blockAlign;
        int32_t sum = static_cast<int16_t>(LoadLE16(bytes + 10));
        int32_t difference = static_cast<int16_t>(LoadLE16(bytes + 12));
        int32_t sumIndex = std::min<int32_t>(bytes[14], kMaxStepIndex);
        int32_t differenceIndex = std::min<int32_t>(bytes[15], kMaxStepIndex);

        // framesPerBlock is exactly the count after which every data byte has been used,
        // so the stream never reads past the block.
        NibbleStream nibbles(bytes + kDk3HeaderBytes);
        size_t frames = 0;
        for (;;) {
            // A group of codes (sum, difference, sum) gives two frames: the first with the
            // mean of the old and the new difference, the second with the new one.
            const int32_t previousDifference = difference;
            ExpandNibbleUnclamped(nibbles.Next(), sum, sumIndex);
            ExpandNibbleUnclamped(nibbles.Next(), difference, differenceIndex);
            WriteFrame(out, sum, WrappingAdd(previousDifference, difference) / 2);
            if (++frames == framesPerBlock) break;

            ExpandNibbleUnclamped(nibbles.Next(), sum, sumIndex);
            WriteFrame(out, sum, difference);
            if (++frames == framesPerBlock) break;
        }
    }
    return blockCount * framesPerBlock * 2 * sizeof(int16_t);
}

}  // namespace audio
