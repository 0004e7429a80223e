#include "audio/Dk4Encoder.h"

#include <algorithm>
#include <array>
#include <new>

#include "audio/AdpcmNibbleSearch.h"
#include "audio/AudioFormat.h"
#include "base/ByteReader.h"

namespace audio {

Result<std::vector<uint8_t>> EncodeDk4(std::span<const int16_t> interleaved, int channels,
                                       uint16_t blockAlign) {
    if (channels != 1 && channels != 2)
        return MakeError(ErrorKind::Unsupported, "DK4 takes one or two channels");
    const auto channelCount = static_cast<uint16_t>(channels);
    if (!IsValidBlockAlign(kWaveFormatDk4, channelCount, blockAlign))
        return MakeError(ErrorKind::Unsupported, "DK4 block alignment too small for its header");

    const size_t frameCount = interleaved.size() / channelCount;
    if (frameCount == 0) return std::vector<uint8_t>{};
    const size_t framesPerBlock = FramesPerBlock(kWaveFormatDk4, channelCount, blockAlign);
    const size_t blockCount = (frameCount + framesPerBlock - 1) / framesPerBlock;
    std::vector<uint8_t> encoded;
    try {
        encoded.assign(blockCount * blockAlign, 0);
    } catch (const std::bad_alloc&) {
        return MakeError(ErrorKind::OutOfMemory, "no memory for the DK4 stream");
    }

    auto sampleAt = [&](size_t frame, int channel) -> int32_t {
        return interleaved[std::min(frame, frameCount - 1) * channelCount + channel];
    };
    std::array<int32_t, 2> stepIndex{};
    for (int channel = 0; channel < channels; ++channel)
        stepIndex[channel] = InitialStepIndex(interleaved.subspan(channel), channelCount);

    for (size_t block = 0; block < blockCount; ++block) {
        uint8_t* bytes = encoded.data() + block * blockAlign;
        const size_t firstFrame = block * framesPerBlock;
        std::array<int32_t, 2> predictor{};
        for (int channel = 0; channel < channels; ++channel) {
            predictor[channel] = sampleAt(firstFrame, channel);
            StoreLE16(bytes + 4 * channel, static_cast<uint16_t>(predictor[channel]));
            bytes[4 * channel + 2] = static_cast<uint8_t>(stepIndex[channel]);
        }
        if (channels == 1) {
            size_t frame = firstFrame + 1;
            for (size_t i = kDk4MonoHeaderBytes; i < blockAlign; ++i) {
                const unsigned high =
                    ChooseNibble(sampleAt(frame++, 0), predictor[0], stepIndex[0]);
                const unsigned low = ChooseNibble(sampleAt(frame++, 0), predictor[0], stepIndex[0]);
                bytes[i] = static_cast<uint8_t>(high << 4 | low);
            }
        } else {
            size_t frame = firstFrame + 1;
            for (size_t i = kDk4StereoHeaderBytes; i < blockAlign; ++i, ++frame) {
                const unsigned high = ChooseNibble(sampleAt(frame, 0), predictor[0], stepIndex[0]);
                const unsigned low = ChooseNibble(sampleAt(frame, 1), predictor[1], stepIndex[1]);
                bytes[i] = static_cast<uint8_t>(high << 4 | low);
            }
        }
    }
    return encoded;
}

}  // namespace audio
