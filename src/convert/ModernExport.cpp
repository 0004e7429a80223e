#include "convert/ModernExport.h"

#include <algorithm>
#include <cctype>

namespace convert {

namespace {

bool EndsWithNoCase(const std::string& text, std::string_view end) {
    if (text.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), text.end() - static_cast<std::ptrdiff_t>(end.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

int Even(int64_t value) {
    return static_cast<int>(std::max<int64_t>(2, (value + 1) / 2 * 2));
}

}  // namespace

std::optional<ExportFormat> ExportFormatForPath(const std::string& path) {
    if (EndsWithNoCase(path, ".mp4")) return ExportFormat::kMp4;
    if (EndsWithNoCase(path, ".webm")) return ExportFormat::kWebm;
    return std::nullopt;
}

const char* ExportFormatName(ExportFormat format) {
    return format == ExportFormat::kMp4 ? "MP4" : "WebM";
}

const char* ExportExtension(ExportFormat format) {
    return format == ExportFormat::kMp4 ? ".mp4" : ".webm";
}

ExportSize ExportPictureSize(const ExportSettings& settings, int width, int height) {
    int64_t w = width, h = height;
    if (settings.width > 0 && settings.height > 0) {
        w = settings.width;
        h = settings.height;
    } else {
        w *= std::max(1, settings.scale);
        h *= std::max(1, settings.scale);
    }
    // The 4:3 correction only ever stretches, so no picture detail is lost.
    if (settings.aspect43 && w > 0 && h > 0) {
        if (w * 3 > h * 4)
            h = (w * 3 + 2) / 4;
        else
            w = (h * 4 + 1) / 3;
    }
    return {Even(w), Even(h)};
}

}  // namespace convert
