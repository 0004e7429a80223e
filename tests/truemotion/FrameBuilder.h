#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

// Builds frames byte by byte for the decoder tests: a chained header of `headerSize`
// bytes (the size byte's spare bit 4 set) holding the given fields, then the body.
struct HeaderFields {
    uint8_t compression = 10;
    uint8_t deltaSet = 0;
    uint8_t vectorTable = 2;
    uint16_t height = 4;
    uint16_t width = 4;
    uint8_t version = 2;
    uint8_t type = 2;
    uint8_t flags = 0;
};

inline uint8_t SizeByteFor(int headerSize) {
    return static_cast<uint8_t>(((headerSize >> 3) & 0x0F) | ((headerSize & 7) << 5) | 0x10);
}

// headerSize is at least 23, so that every coded header byte lies in the header.
inline std::vector<uint8_t> BuildFrame(const HeaderFields& h, const std::vector<uint8_t>& body, int headerSize = 24) {
    std::array<uint8_t, 21> d{};
    d[0] = h.compression;
    d[1] = h.deltaSet;
    d[2] = h.vectorTable;
    d[3] = static_cast<uint8_t>(h.height);
    d[4] = static_cast<uint8_t>(h.height >> 8);
    d[5] = static_cast<uint8_t>(h.width);
    d[6] = static_cast<uint8_t>(h.width >> 8);
    d[9] = h.version;
    d[10] = h.type;
    d[11] = h.flags;
    std::vector<uint8_t> frame(static_cast<size_t>(headerSize), 0);
    frame[0] = SizeByteFor(headerSize);
    for (size_t k = 0; k < d.size(); ++k) frame[k + 2] = frame[k + 1] ^ d[k];
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}
