#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The header our encoder puts in front of every frame: 24 bytes, so that all 21
// chained header bytes lie inside it and none is taken from the body.

namespace truemotion {

inline constexpr size_t kEncodedHeaderBytes = 24;

struct EncodedHeader {
    int compression = 0;
    int deltaSet = 0;
    int vectorTable = 0;
    int height = 0;
    // The coded width: two thirds of the display width for frames coded at two thirds.
    int codedWidth = 0;
    int version = 0;
    int type = 0;
    uint8_t flags = 0;
};

// Replaces `out` with the header's bytes, chained as the decoder un-chains them:
// header byte k is frame byte k + 1 XOR frame byte k + 2.
void WriteEncodedHeader(const EncodedHeader& header, std::vector<uint8_t>& out);

}  // namespace truemotion
