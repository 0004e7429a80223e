#include "moviemaker/ImageFile.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "base/SafeOutputFile.h"

namespace moviemaker {
namespace {

constexpr int kMaxPictureSide = 16384;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

Result<Picture> LoadPng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return MakeError(ErrorKind::Corrupt, path + ": " + image.message);
    if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide ||
        image.height > kMaxPictureSide) {
        png_image_free(&image);
        return MakeError(ErrorKind::Unsupported, path + ": picture size out of range");
    }
    image.format = PNG_FORMAT_BGR;
    Picture picture{static_cast<int>(image.width), static_cast<int>(image.height), {}};
    picture.bgr.resize(PNG_IMAGE_SIZE(image));
    // A negative row stride makes libpng store the rows bottom-up.
    const auto stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    if (!png_image_finish_read(&image, nullptr, picture.bgr.data(), stride, nullptr))
        return MakeError(ErrorKind::Corrupt, path + ": " + image.message);
    return picture;
}

// Reads one header number of a PPM, skipping white space and '#' comments.
bool ReadPpmNumber(std::istream& in, int& value) {
    for (int c = in.peek(); c != EOF; c = in.peek()) {
        if (c == '#') {
            in.ignore(1 << 20, '\n');
        } else if (std::isspace(c)) {
            in.get();
        } else {
            break;
        }
    }
    return static_cast<bool>(in >> value);
}

Result<Picture> LoadPpm(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[2] = {};
    int width = 0, height = 0, maxValue = 0;
    if (!in.read(magic, 2) || magic[0] != 'P' || magic[1] != '6' || !ReadPpmNumber(in, width) ||
        !ReadPpmNumber(in, height) || !ReadPpmNumber(in, maxValue) || in.get() == EOF)
        return MakeError(ErrorKind::Corrupt, path + ": not a binary PPM");
    if (width <= 0 || height <= 0 || width > kMaxPictureSide || height > kMaxPictureSide ||
        maxValue != 255)
        return MakeError(ErrorKind::Unsupported,
                         path + ": only 8-bit PPM pictures of a sensible size");
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    Picture picture{width, height, std::vector<uint8_t>(rowBytes * height)};
    std::vector<uint8_t> row(rowBytes);
    for (int y = 0; y < height; ++y) {
        if (!in.read(reinterpret_cast<char*>(row.data()), static_cast<std::streamsize>(rowBytes)))
            return MakeError(ErrorKind::Truncated, path + ": picture data ends early");
        uint8_t* out = picture.bgr.data() + rowBytes * (height - 1 - y);
        for (size_t x = 0; x < rowBytes; x += 3) {
            out[x] = row[x + 2];
            out[x + 1] = row[x + 1];
            out[x + 2] = row[x];
        }
    }
    return picture;
}

bool HasExtension(const std::filesystem::path& p, std::string_view ext) {
    std::string e = p.extension().string();
    std::transform(e.begin(), e.end(), e.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return e == ext;
}

}  // namespace

Result<Picture> LoadPicture(const std::string& path) {
    if (HasExtension(path, ".png")) return LoadPng(path);
    if (HasExtension(path, ".ppm")) return LoadPpm(path);
    return MakeError(ErrorKind::Unsupported, path + ": not a PNG or PPM file");
}

std::vector<uint8_t> EncodePpm(int width, int height, const uint8_t* bgrBottomUp) {
    const std::string header =
        "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + rowBytes * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = bgrBottomUp + rowBytes * static_cast<size_t>(height - 1 - y);
        for (size_t x = 0; x < rowBytes; x += 3) {
            bytes.push_back(in[x + 2]);
            bytes.push_back(in[x + 1]);
            bytes.push_back(in[x]);
        }
    }
    return bytes;
}

Result<void> SavePpm(const std::string& path, int width, int height, const uint8_t* bgrBottomUp,
                     const SafeOutputOptions& options) {
    auto file = SafeOutputFile::Create(path, options);
    if (!file) return file.Error();
    LUMEKO_TRY(file->Write(EncodePpm(width, height, bgrBottomUp)));
    return file->Commit();
}

Result<void> SavePng(const std::string& path, int width, int height, const uint8_t* bgrBottomUp,
                     const SafeOutputOptions& options) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_BGR;
    // A negative stride: the first row in memory is the bottom one.
    const png_int_32 stride = -static_cast<png_int_32>(width) * 3;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, bgrBottomUp, stride, nullptr))
        return MakeError(ErrorKind::Io, path + ": " + image.message);
    std::vector<uint8_t> bytes(size);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, bgrBottomUp, stride, nullptr))
        return MakeError(ErrorKind::Io, path + ": " + image.message);
    bytes.resize(size);
    auto file = SafeOutputFile::Create(path, options);
    if (!file) return file.Error();
    if (auto written = file->Write(bytes); !written) return written;
    return file->Commit();
}

Result<std::vector<std::string>> ListPictureFiles(const std::string& folder) {
    std::error_code ec;
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.is_regular_file() &&
            (HasExtension(entry.path(), ".png") || HasExtension(entry.path(), ".ppm")))
            paths.push_back(entry.path().string());
    }
    if (ec) return MakeError(ErrorKind::Io, folder + ": " + ec.message());
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace moviemaker
