#include "audio/Dk3Encoder.h"

#include <algorithm>
#include <new>

#include "audio/AdpcmNibble.h"
#include "audio/AdpcmNibbleSearch.h"
#include "audio/AudioFormat.h"
#include "base/ByteReader.h"

namespace audio {

namespace {

struct Frame {
    int32_t nLeft;
    int32_t nRight;
};

struct Channel {
    int32_t nPredictor;
    int32_t nStepIndex;
};

Channel Step(Channel channel, unsigned nibble) {
    ExpandNibbleUnclamped(nibble, channel.nPredictor, channel.nStepIndex);
    return channel;
}

// Squared error of the frame the decoder outputs for sum S and difference E,
// with the decoder's 16-bit wrap, so codes that would wrap are never chosen.
int64_t FrameError(int32_t sum, int32_t difference, Frame target) {
    const auto left =
        static_cast<int16_t>(static_cast<uint32_t>(sum) + static_cast<uint32_t>(difference));
    const auto right =
        static_cast<int16_t>(static_cast<uint32_t>(sum) - static_cast<uint32_t>(difference));
    const int64_t leftError = left - target.nLeft;
    const int64_t rightError = right - target.nRight;
    return leftError * leftError + rightError * rightError;
}

// The sum code that best gives target with the given difference.
unsigned BestSumNibble(Channel sum, int32_t difference, Frame target, int64_t& error) {
    unsigned best = 0;
    error = INT64_MAX;
    for (unsigned nibble = 0; nibble < 16; ++nibble) {
        const int64_t trial = FrameError(Step(sum, nibble).nPredictor, difference, target);
        if (trial < error) {
            error = trial;
            best = nibble;
        }
    }
    return best;
}

// Writes nibbles into a block's data, the low nibble of each byte first.
class NibbleWriter {
public:
    explicit NibbleWriter(uint8_t* data) : m_pData(data) {}

    void Put(unsigned nibble) {
        m_pData[m_nPosition >> 1] |= static_cast<uint8_t>((m_nPosition & 1) ? nibble << 4 : nibble);
        ++m_nPosition;
    }

private:
    uint8_t* m_pData;
    size_t m_nPosition = 0;
};

}  // namespace

Result<std::vector<uint8_t>> EncodeDk3(std::span<const int16_t> interleaved, int channels,
                                       uint16_t blockAlign) {
    if (channels != 1 && channels != 2)
        return MakeError(ErrorKind::Unsupported, "DK3 takes one or two channels");
    if (!IsValidBlockAlign(kWaveFormatDk3, 2, blockAlign))
        return MakeError(ErrorKind::Unsupported, "DK3 block alignment too small for its header");

    const auto channelCount = static_cast<size_t>(channels);
    const size_t frameCount = interleaved.size() / channelCount;
    if (frameCount == 0) return std::vector<uint8_t>{};
    const size_t framesPerBlock = Dk3FramesPerBlock(blockAlign);
    const size_t blockCount = (frameCount + framesPerBlock - 1) / framesPerBlock;

    std::vector<uint8_t> encoded;
    std::vector<int16_t> sums;
    std::vector<int16_t> differences;
    try {
        encoded.assign(blockCount * blockAlign, 0);
        sums.resize(frameCount);
        differences.resize(frameCount);
    } catch (const std::bad_alloc&) {
        return MakeError(ErrorKind::OutOfMemory, "no memory for the DK3 stream");
    }

    auto frameAt = [&](size_t frame) -> Frame {
        const size_t base = std::min(frame, frameCount - 1) * channelCount;
        return {interleaved[base], interleaved[base + channelCount - 1]};
    };
    for (size_t frame = 0; frame < frameCount; ++frame) {
        const Frame f = frameAt(frame);
        sums[frame] = static_cast<int16_t>((f.nLeft + f.nRight) / 2);
        differences[frame] = static_cast<int16_t>((f.nLeft - f.nRight) / 2);
    }
    int32_t sumIndex = InitialStepIndex(sums, 1);
    int32_t differenceIndex = InitialStepIndex(differences, 1);

    for (size_t block = 0; block < blockCount; ++block) {
        uint8_t* bytes = encoded.data() + block * blockAlign;
        const size_t firstFrame = block * framesPerBlock;
        const size_t heldFrame = std::min(firstFrame, frameCount - 1);
        Channel sum{sums[heldFrame], sumIndex};
        Channel difference{differences[heldFrame], differenceIndex};
        StoreLE16(bytes + 10, static_cast<uint16_t>(sum.nPredictor));
        StoreLE16(bytes + 12, static_cast<uint16_t>(difference.nPredictor));
        bytes[14] = static_cast<uint8_t>(sum.nStepIndex);
        bytes[15] = static_cast<uint8_t>(difference.nStepIndex);

        // Each group of codes (sum, difference, sum) gives two frames: the first with the
        // mean of the old and new difference, the second with the new difference. The
        // difference code is chosen for both frames at once, each with its best sum code.
        NibbleWriter writer(bytes + kDk3HeaderBytes);
        int32_t previousDifference = difference.nPredictor;
        for (size_t frame = 0; frame < framesPerBlock; frame += 2) {
            const Frame first = frameAt(firstFrame + frame);
            const bool hasSecond = frame + 1 < framesPerBlock;
            const Frame second = frameAt(firstFrame + frame + 1);

            int64_t bestError = INT64_MAX;
            unsigned bestCodes[3] = {0, 0, 0};
            for (unsigned differenceNibble = 0; differenceNibble < 16; ++differenceNibble) {
                const int32_t newDifference = Step(difference, differenceNibble).nPredictor;
                const int32_t mean =
                    static_cast<int32_t>((static_cast<uint32_t>(previousDifference) +
                                          static_cast<uint32_t>(newDifference))) /
                    2;
                int64_t firstError = 0;
                const unsigned firstSum = BestSumNibble(sum, mean, first, firstError);
                int64_t secondError = 0;
                const unsigned secondSum =
                    hasSecond
                        ? BestSumNibble(Step(sum, firstSum), newDifference, second, secondError)
                        : 0;
                if (firstError + secondError < bestError) {
                    bestError = firstError + secondError;
                    bestCodes[0] = firstSum;
                    bestCodes[1] = differenceNibble;
                    bestCodes[2] = secondSum;
                }
            }

            sum = Step(sum, bestCodes[0]);
            difference = Step(difference, bestCodes[1]);
            writer.Put(bestCodes[0]);
            writer.Put(bestCodes[1]);
            if (hasSecond) {
                sum = Step(sum, bestCodes[2]);
                writer.Put(bestCodes[2]);
            }
            previousDifference = difference.nPredictor;
        }
        sumIndex = sum.nStepIndex;
        differenceIndex = difference.nStepIndex;
    }
    return encoded;
}

}  // namespace audio
