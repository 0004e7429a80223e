#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Decoding ahead on a thread of its own while the caller compresses and writes: the
// pictures of frames 0, 1, 2 … in order, through a few pictures allocated once, so a
// conversion goes at the pace of the slower side.

namespace convert {

class FramePipeline {
public:
    static constexpr uint32_t kPictures = 4;

    // Fills `picture` with frame `index`; `previous` holds frame `index` − 1 as decoded
    // before (or, for frame 0, `initial`), unchanged since. The result is ReadFrame's:
    // 1 when decoded; otherwise the picture is whatever the decoder left there.
    using DecodeFrame =
        std::function<int(uint32_t index, uint8_t* picture, const uint8_t* previous)>;

    // Starts decoding frames 0 to `frames` − 1 into pictures of `pictureBytes`. A frame
    // that does not decode shows the picture before it, as in a single bitmap; frame 0
    // then shows `initial`. Start fails (nothing runs) when memory runs out.
    FramePipeline(uint32_t frames, size_t pictureBytes, const uint8_t* initial, DecodeFrame decode);
    // Stops decoding and waits for the thread.
    ~FramePipeline();
    FramePipeline(const FramePipeline&) = delete;
    FramePipeline& operator=(const FramePipeline&) = delete;

    bool Started() const { return m_thread.joinable(); }
    // The next frame's picture, once it is decoded; it stays as it is until Release.
    const uint8_t* Acquire();
    // Hands the acquired picture back for a later frame.
    void Release();

private:
    void Run();
    uint8_t* Picture(uint32_t frame) const {
        return m_pictures.get() + static_cast<size_t>(frame % kPictures) * m_nPictureBytes;
    }

    const uint32_t m_nFrames;
    const size_t m_nPictureBytes;
    DecodeFrame m_decode;
    std::unique_ptr<uint8_t[]> m_pictures;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint32_t m_nDecoded = 0;   // frames whose pictures are ready
    uint32_t m_nReleased = 0;  // frames the caller is done with
    bool m_bStop = false;
    std::thread m_thread;
};

}  // namespace convert
