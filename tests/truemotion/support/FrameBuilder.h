#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "truemotion/FrameHeader.h"

// Builds TrueMotion frames byte by byte, for the decoder tests and the benchmark: a
// chained header holding the given fields, then a body of the caller's bytes.

namespace truemotion::testing {

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

inline constexpr uint8_t kDeltaFrameFlags = kDeltaFlag;
inline constexpr uint8_t kStretchFrameFlags = kStretchFlag;

// `headerSize` is at least 23, so that every coded header byte lies in the header.
inline std::vector<uint8_t> BuildFrame(const HeaderFields& h, std::span<const uint8_t> body,
                                       int headerSize = 24) {
    FrameHeader header;
    header.size = headerSize;
    header.compression = h.compression;
    header.deltaSet = h.deltaSet;
    header.vectorTable = h.vectorTable;
    header.height = h.height;
    header.width = h.width;
    header.version = h.version;
    header.type = h.type;
    header.flags = h.flags;
    std::vector<uint8_t> frame;
    WriteFrameHeader(header, frame);
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

inline std::vector<uint8_t> BuildFrame(const HeaderFields& h, const std::vector<uint8_t>& body,
                                       int headerSize = 24) {
    return BuildFrame(h, std::span<const uint8_t>(body), headerSize);
}

// The group of vector tables 2 and 3 that holds the single pair (h, l): h indexes the
// left pixel's delta, l the right one's.
inline uint8_t Pair(int h, int l) {
    return static_cast<uint8_t>(192 + h + 8 * l);
}

// Bytes of a delta frame's change mask for a width × height picture.
inline size_t MaskBytes(int width, int height) {
    return static_cast<size_t>(height >> 2) * static_cast<size_t>(((width >> 2) + 7) >> 3);
}

// An index stream of `count` single-pair groups with small deltas (nibbles 0..4):
// one step a byte, as our encoder codes, and values that stay near where they start.
inline std::vector<uint8_t> SmallSteps(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> steps(count);
    for (auto& s : steps) s = Pair(static_cast<int>(random() % 5), static_cast<int>(random() % 5));
    return steps;
}

// Enough index bytes for any key frame of a width × height picture: no mode takes more
// than width steps a row.
inline size_t KeyStepBound(int width, int height) {
    return static_cast<size_t>(width) * height + 1;
}

// A change mask in which each block is coded with the given probability.
inline std::vector<uint8_t> RandomMask(int width, int height, double codedFraction, unsigned seed) {
    std::mt19937 random(seed);
    std::bernoulli_distribution coded(codedFraction);
    std::vector<uint8_t> mask(MaskBytes(width, height), 0);
    for (auto& byte : mask)
        for (int bit = 0; bit < 8; ++bit)
            if (!coded(random)) byte = static_cast<uint8_t>(byte | 1 << bit);
    return mask;
}

}  // namespace truemotion::testing
