#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Export to the formats browsers and phones play: MP4 (H.264 and AAC) and WebM (VP9 and
// Opus). The settings and the progress interface live here, free of GStreamer, so that
// the core can offer the choice; the export itself is in the lumeko_export library.

namespace convert {

enum class ExportFormat { kMp4, kWebm };

// The format a file name asks for by its extension (".mp4", ".webm", any case).
std::optional<ExportFormat> ExportFormatForPath(const std::string& path);
const char* ExportFormatName(ExportFormat format);  // "MP4", "WebM"
const char* ExportExtension(ExportFormat format);   // ".mp4", ".webm"

// Quality 0..100, mapped onto the encoder's constant-quality scale. The default keeps
// the movie's pictures visually clean (about 40 dB PSNR at 320x240 for both formats).
inline constexpr int kDefaultExportQuality = 70;

struct ExportSettings {
    ExportFormat format = ExportFormat::kMp4;
    int quality = kDefaultExportQuality;
    // Output picture size: the movie's times `scale`, or `width` x `height` when both are
    // set. Whole multiples keep the pixels sharp (nearest neighbour); other sizes are
    // resampled with Lanczos.
    int scale = 1;
    int width = 0;
    int height = 0;
    // Stretch the picture to a 4:3 frame as the player's aspect correction does.
    bool aspect43 = false;
    // Encoder threads; 0: as many as the machine has. A batch of parallel jobs gives each
    // job one thread, which uses the cores better than threads within one file.
    int threads = 0;
};

// The picture size an export writes for a movie of `width` x `height`: both even,
// as 4:2:0 pictures need.
struct ExportSize {
    int width = 0;
    int height = 0;
};
ExportSize ExportPictureSize(const ExportSettings& settings, int width, int height);

// Where an export reports and learns that the user gave up.
class IExportProgress {
public:
    virtual ~IExportProgress() = default;
    // `done` of `total` frames are encoded.
    virtual void Progress(uint64_t done, uint64_t total) = 0;
    // True once the user asked to stop; the export then leaves nothing behind.
    virtual bool Cancelled() const { return false; }
};

}  // namespace convert
