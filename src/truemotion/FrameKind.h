#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// What a frame header says about the frame's dependence on the frames before it, read
// without a decoder: the key-frame index of a movie is built from this.

namespace truemotion {

enum class FrameKind : uint8_t {
    // The decoder refuses the frame even from a fresh state: it changes nothing.
    kRejected,
    // Decoded without the picture before it (a key frame, or one coded at two thirds
    // of the width, which has no change mask).
    kKey,
    // Builds on the picture before it: a delta frame, or one that repeats it.
    kDependent,
};

// `head` holds the frame's first bytes (at least kMinFrameBytes to be anything but
// rejected); `frameBytes` is the whole frame's size. A key frame must also have a body.
// Only what a fresh decoder would accept is called key, so a seek that starts decoding
// at a key frame from a reset decoder gives the pictures that decoding in order gives.
FrameKind ClassifyFrame(std::span<const uint8_t> head, size_t frameBytes);

}  // namespace truemotion
