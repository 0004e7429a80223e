#include "convert/FramePipeline.h"

#include <cstring>
#include <new>
#include <utility>

namespace convert {

FramePipeline::FramePipeline(uint32_t frames, size_t pictureBytes, const uint8_t* initial,
                             DecodeFrame decode)
    : m_nFrames(frames), m_nPictureBytes(pictureBytes), m_decode(std::move(decode)) {
    m_pictures.reset(new (std::nothrow) uint8_t[kPictures * pictureBytes]);
    if (!m_pictures) return;
    // The picture "before" frame 0.
    std::memcpy(Picture(kPictures - 1), initial, pictureBytes);
    m_thread = std::thread([this] { Run(); });
}

FramePipeline::~FramePipeline() {
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void FramePipeline::Run() {
    for (uint32_t frame = 0; frame < m_nFrames; ++frame) {
        {
            // The picture of frame − kPictures must be handed back first.
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_bStop || frame - m_nReleased < kPictures; });
            if (m_bStop) return;
        }
        uint8_t* picture = Picture(frame);
        const uint8_t* previous = Picture(frame + kPictures - 1);
        if (m_decode(frame, picture, previous) != 1)
            std::memcpy(picture, previous, m_nPictureBytes);
        {
            std::lock_guard lock(m_mutex);
            m_nDecoded = frame + 1;
        }
        m_changed.notify_all();
    }
}

const uint8_t* FramePipeline::Acquire() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_nDecoded > m_nReleased; });
    return Picture(m_nReleased);
}

void FramePipeline::Release() {
    {
        std::lock_guard lock(m_mutex);
        ++m_nReleased;
    }
    m_changed.notify_all();
}

}  // namespace convert
