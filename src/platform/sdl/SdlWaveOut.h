#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <deque>

#include "platform/WaveOut.h"

namespace platform {

// Wave output on SDL's audio device. The device's callback plays the written headers in
// order and marks each done when its last byte has gone; pause, restart and reset act
// at once. Without a device (or when SDL cannot open one) Open fails and the movie
// plays silently. Headless runs use SDL's "dummy" or "disk" driver.
class SdlWaveOut final : public IWaveOut {
public:
    SdlWaveOut() = default;
    ~SdlWaveOut() override;
    SdlWaveOut(const SdlWaveOut&) = delete;
    SdlWaveOut& operator=(const SdlWaveOut&) = delete;

    bool waveOutOpen(const movie::WAVEFORMATEX& format) override;
    void waveOutPrepareHeader(WAVEHDR& header) override;
    void waveOutUnprepareHeader(WAVEHDR& header) override;
    void waveOutWrite(WAVEHDR& header) override;
    void waveOutPause() override;
    void waveOutRestart() override;
    void waveOutReset() override;
    void waveOutClose() override;

    // Bytes the device has taken since it opened.
    uint64_t PlayedBytes() const { return m_played.load(std::memory_order_relaxed); }

private:
    static void Callback(void* self, Uint8* stream, int length);
    void Fill(Uint8* stream, int length);

    SDL_AudioDeviceID m_device = 0;
    uint8_t m_silence = 0;
    std::deque<WAVEHDR*> m_queue;  // guarded by the device lock
    uint32_t m_position = 0;       // within the queue's first header
    std::atomic<uint64_t> m_played{0};
};

}  // namespace platform
