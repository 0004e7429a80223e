// An arbitrary file image through the movie source: the AVI reader, CDuckMovie::Open,
// every frame it serves and all of its sound, as the player and the converter read them.

#include <algorithm>
#include <cstring>
#include <memory>

#include "FuzzInput.h"
#include "movie/DuckMovie.h"

namespace {

constexpr size_t kMaxInputBytes = 1u << 20;
// Enough to walk every frame of any seed and of most grown inputs, in bounded time:
// fewer frames of large pictures, but always the first two (a key and a delta frame).
constexpr uint32_t kMaxFrames = 2048;
constexpr size_t kMaxDecodedPixels = 4u << 20;

class SilentMessageBox final : public platform::IMessageBox {
public:
    void ShowError(std::string_view) override {}
};

void ReadAllFrames(CDuckMovie& movie) {
    movie::BITMAPINFOHEADER bmih{};
    fuzz::Require(movie.GetBitmapHeader(&bmih) == 1);
    fuzz::Require(bmih.biWidth > 0 && bmih.biHeight > 0);
    const size_t imageBytes =
        static_cast<size_t>(bmih.biWidth) * static_cast<size_t>(bmih.biHeight) * 3;
    const std::unique_ptr<uint8_t[]> image(new uint8_t[imageBytes]());
    const size_t pixels = imageBytes / 3;
    const auto budget =
        static_cast<uint32_t>(std::clamp<size_t>(kMaxDecodedPixels / pixels, 2, kMaxFrames));
    const uint32_t frames = std::min(movie.GetFrameCount(), budget);
    for (uint32_t i = 0; i < frames; ++i) {
        if (movie.ReadFrame(i, image.get()) == -1) break;
        fuzz::Touch({image.get(), imageBytes});
    }
    // Past the end: nothing to read, whatever the headers claim.
    fuzz::Require(movie.ReadFrame(UINT32_MAX, image.get()) == -1);
}

void ReadAllAudio(CDuckMovie& movie) {
    const uint32_t chunkBytes = movie.GetAudioChunkSize();
    if (!movie.HasAudio()) {
        fuzz::Require(chunkBytes == 0 && movie.GetDecodedChannels() == 0);
        return;
    }
    const std::unique_ptr<uint8_t[]> chunk(new uint8_t[chunkBytes]);
    const std::unique_ptr<uint8_t[]> first(new uint8_t[chunkBytes]);
    uint32_t firstBytes = 0;
    bool atStart = true;
    while (const uint32_t bytes = movie.ReadAudio(chunk.get())) {
        fuzz::Require(bytes <= chunkBytes);
        fuzz::Touch({chunk.get(), bytes});
        if (atStart) {
            std::memcpy(first.get(), chunk.get(), bytes);
            firstBytes = bytes;
            atStart = false;
        }
    }
    // Rewinding plays the same sound again.
    movie.RewindAudio();
    if (firstBytes != 0) {
        fuzz::Require(movie.ReadAudio(chunk.get()) == firstBytes);
        fuzz::Require(std::memcmp(chunk.get(), first.get(), firstBytes) == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > kMaxInputBytes) return -1;
    const fuzz::ExactCopy input({data, size});
    SilentMessageBox messages;
    CDuckMovie movie(messages);
    if (movie.OpenMemory(input.Bytes()) != 1) {
        fuzz::Require(!movie.IsOpen() && movie.GetFrameCount() == 0 &&
                      movie.ReadFrame(0, nullptr) == -1);
        return 0;
    }
    ReadAllFrames(movie);
    ReadAllAudio(movie);
    movie.Close();
    return 0;
}
