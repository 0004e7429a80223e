#pragma once

#include <cstdint>

namespace truemotion {

// The 15-bit pixel between two coded pixels of a frame coded at two thirds of its
// width: red is the floor of the mean; green and blue average x's field with its low
// bit cleared and y's field plus one, the way one packed addition does it. The guard
// bit is set.
constexpr uint32_t mid(uint32_t x, uint32_t y) {
    return ((((x & 0x7BDF) + ((y + 0x8420) & 0x17BDF)) >> 1) & 0x7FFF) | 0x8000;
}

}  // namespace truemotion
