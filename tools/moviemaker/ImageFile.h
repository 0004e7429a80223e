#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Result.h"
#include "base/SafeOutputFile.h"

namespace moviemaker {

// A picture in the display bitmap layout: blue, green, red, bottom row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bgr;
};

// Reads a PNG (any colour type, through libpng) or a binary PPM (P6, 8-bit).
Result<Picture> LoadPicture(const std::string& path);

// A binary PPM (P6) of a bottom-up BGR picture, top row first as the format wants.
std::vector<uint8_t> EncodePpm(int width, int height, const uint8_t* bgrBottomUp);
// Writes it as a user's file (SafeOutputFile).
Result<void> SavePpm(const std::string& path, int width, int height, const uint8_t* bgrBottomUp,
                     const SafeOutputOptions& options = {});

// Writes a PNG (8-bit RGB, top row first as the format wants) safely: the file appears
// complete or not at all.
Result<void> SavePng(const std::string& path, int width, int height, const uint8_t* bgrBottomUp,
                     const SafeOutputOptions& options = {});

// The PNG and PPM files of a folder, sorted by name.
Result<std::vector<std::string>> ListPictureFiles(const std::string& folder);

}  // namespace moviemaker
