#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The offset of the first occurrence of `text` at or after `from`, or npos.
inline size_t FindBytes(const std::vector<uint8_t>& bytes, std::string_view text, size_t from = 0) {
    const auto it = std::search(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end(),
                                text.begin(), text.end());
    return it == bytes.end() ? std::string::npos : static_cast<size_t>(it - bytes.begin());
}
