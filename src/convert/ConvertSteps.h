#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/SafeOutputFile.h"
#include "convert/Compressor.h"
#include "convert/ConversionHost.h"
#include "movie/AviRecords.h"
#include "movie/AviWriter.h"

class CDuckMovie;

// The steps of a conversion to AVI, in the order CLumekoDoc::OnConvert takes them: the
// target, the compressor, the two stream headers, the pictures, the sound.

namespace convert {

// Asks the host for the target until it names a file other than the movie being read
// (under any name: a link, a hard link); nothing when the user cancels. `options` then
// holds the movie as an input the writer checks again whatever it opens.
std::optional<std::string> ChooseTarget(IConversionHost& host, const CDuckMovie& movie,
                                        SafeOutputOptions& options);

// The compressor the user chose, started on `input`; null for full frames. `format` is
// the video stream's format record.
struct StartedCompressor {
    COMPVARS vars;
    std::unique_ptr<ICompressor> compressor;
    std::vector<uint8_t> format;
};
// Shows the compressor dialog until a compressor takes the movie (one that cannot is
// reported with the reason, and the dialog comes again); nothing when the user cancels.
std::optional<StartedCompressor> ChooseCompressor(IConversionHost& host,
                                                  const movie::BITMAPINFOHEADER& input,
                                                  double framesPerSecond);

// The output's stream headers: the pictures at the movie's rate, and the decoded sound
// beside them.
movie::AVISTREAMINFO VideoStreamInfo(uint32_t fccHandler, float rate, float scale, uint32_t frames,
                                     const movie::BITMAPINFOHEADER& input);
movie::AVISTREAMINFO SoundStreamInfo(const movie::AVISTREAMINFO& video,
                                     const movie::WAVEFORMATEX& sound, uint32_t bufferBytes);

// Where the pictures come from and go: frames are decoded ahead on a thread of their own
// and each copied into `picture` (the view's, refreshed by `showPicture`) before it is
// compressed (or written whole when `compressor` is null).
struct VideoOutput {
    movie::AviWriter& writer;
    int stream;
    ICompressor* compressor;
    // The image size the full-frame chunks carry, at most the picture's bytes.
    uint32_t imageBytes;
};
Result<void> WriteVideo(IConversionHost& host, CDuckMovie& movie, uint32_t frames, uint8_t* picture,
                        size_t pictureBytes, const std::function<void()>& showPicture,
                        const VideoOutput& output);

// Writes the movie's decoded sound from its current position, read through `buffer`.
Result<void> WriteSound(IConversionHost& host, CDuckMovie& movie, uint8_t* buffer,
                        movie::AviWriter& writer, int stream);

}  // namespace convert
