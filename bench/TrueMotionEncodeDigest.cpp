// One line per encoder setting with a digest of everything the encoder made from a
// fixed set of pictures: every frame's bytes, its reconstruction and its key flag. Two
// builds whose outputs match made byte-identical movies, so a change meant to speed the
// encoder up can show it chose exactly as before:
//   build/bin/truemotion_encode_digest > after.txt; diff before.txt after.txt
// Modes, compressions, delta sets, vector tables and header versions, at sizes with
// heights that are not multiples of the blocks'; pictures that move, noise, saturated
// noise that breaks pixels, and still frames, under three keep thresholds.

#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "TestPicture.h"
#include "truemotion/TrueMotionEncoder.h"

namespace {

using truemotion::EncoderMode;
using truemotion::EncoderSettings;
using truemotion::TrueMotionEncoder;

uint64_t Fnv(uint64_t hash, const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

std::vector<uint8_t> Noise(int width, int height, unsigned seed, bool saturated) {
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    std::mt19937 random(seed);
    for (auto& b : bytes) {
        int x = static_cast<int>(random() & 255);
        if (saturated) x = (x & 1) ? 255 - (x & 15) : (x & 15);
        b = static_cast<uint8_t>(x);
    }
    return bytes;
}

std::vector<uint8_t> Picture(int frame, int width, int height) {
    if (frame == 3) return Noise(width, height, 3, false);
    if (frame == 5) return Noise(width, height, 5, true);
    if (frame >= 7) return MakeTestPicture(width, height, 48, 2);
    return MakeTestPicture(width, height, 8 * frame, frame == 6 ? 2 : 1);
}

void Digest(const EncoderSettings& settings, int width, int height, int frames) {
    auto encoder = TrueMotionEncoder::Create(width, height, settings);
    std::printf("mode %d compression %2d delta set %d vector table %d version %d %4dx%-4d ",
                static_cast<int>(settings.mode), settings.compression, settings.deltaSet,
                settings.vectorTable, settings.headerVersion, width, height);
    if (!encoder.Ok()) {
        std::printf("refused\n");
        return;
    }
    uint64_t hash = 1469598103934665603ull;
    std::vector<uint8_t> frame;
    for (int f = 0; f < frames; ++f) {
        const auto picture = Picture(f, width, height);
        f % 4 == 0 ? encoder->EncodeKeyFrame(picture, frame)
                   : encoder->EncodeDeltaFrame(picture, frame);
        hash = Fnv(hash, frame.data(), frame.size());
        const auto shown = encoder->Reconstruction();
        hash = Fnv(hash, shown.data(), shown.size());
        const uint8_t key = encoder->LastFrameIsKey() ? 1 : 0;
        hash = Fnv(hash, &key, 1);
    }
    std::printf("%016llx\n", static_cast<unsigned long long>(hash));
}

}  // namespace

int main() {
    struct Size {
        int width, height;
    };
    for (const EncoderMode mode : {EncoderMode::k15Bit, EncoderMode::k24Bit, EncoderMode::kStretch})
        for (const int compression : mode == EncoderMode::k24Bit
                                         ? std::vector<int>{10, 12, 14, 16}
                                         : std::vector<int>{1, 2, 3, 4, 6, 8})
            for (int deltaSet = 0; deltaSet < 4; ++deltaSet)
                for (int vectorTable = 1; vectorTable <= 3; ++vectorTable)
                    for (const int version : {2, 1})
                        for (const Size size : {Size{36, 22}, Size{96, 37}, Size{160, 120}}) {
                            EncoderSettings settings;
                            settings.mode = mode;
                            settings.compression = compression;
                            settings.deltaSet = deltaSet;
                            settings.vectorTable = vectorTable;
                            settings.headerVersion = version;
                            settings.keepThreshold = (deltaSet + vectorTable) % 3 * 4 + 1;
                            const int width =
                                mode == EncoderMode::kStretch ? size.width / 12 * 12 : size.width;
                            Digest(settings, width, size.height, 9);
                        }
    for (const EncoderMode mode :
         {EncoderMode::k15Bit, EncoderMode::k24Bit, EncoderMode::kStretch}) {
        EncoderSettings settings;
        settings.mode = mode;
        Digest(settings, mode == EncoderMode::kStretch ? 636 : 640, 480, 5);
    }
}
