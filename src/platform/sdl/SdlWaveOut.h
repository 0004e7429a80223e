#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/WaveOut.h"

namespace platform {

// Wave output on an SDL audio device opened with the stream's own rate, channels and
// sample format (AUDIO_U8 for 8 bits, AUDIO_S16LSB for 16); SDL adapts that to the
// hardware if it must. SDL's callback copies the written headers' bytes into its
// stream in order, without converting them, and marks each header done when its last
// byte has been taken; when the queue runs dry it plays silence. Queue changes hold the
// device's lock, so pause, restart and reset act at once, and the callback neither
// allocates nor waits. "Done" means handed to SDL: the sound is heard within one device
// buffer (about 20 ms) after that. Headless runs use SDL's "dummy" or "disk" driver
// (SDL_AUDIODRIVER).
//
// The device starts when the first header is written (or at a restart), never playing
// silence ahead of the first sound. Its play position is kept at each callback (what
// was taken, and when) and interpolated in between: the bytes one callback took are
// taken to be heard evenly until the next, so the position runs at the device's own
// clock, stops when the queue runs dry and holds while paused. SDL is told to leave
// SIGINT and SIGTERM alone: they belong to the program.
class SdlWaveOut final : public IWaveOut {
public:
    SdlWaveOut() = default;
    ~SdlWaveOut() override;
    SdlWaveOut(const SdlWaveOut&) = delete;
    SdlWaveOut& operator=(const SdlWaveOut&) = delete;

    bool waveOutOpen(const WAVEFORMATEX& format) override;
    void waveOutPrepareHeader(WAVEHDR& header) override;
    void waveOutUnprepareHeader(WAVEHDR& header) override;
    void waveOutWrite(WAVEHDR& header) override;
    void waveOutPause() override;
    void waveOutRestart() override;
    void waveOutReset() override;
    void waveOutClose() override;
    bool waveOutGetPosition(uint64_t& bytes) override;

    // Bytes of the written headers the device has taken since it opened or was reset;
    // any thread.
    uint64_t PlayedBytes() const { return m_played.load(std::memory_order_acquire); }
    // Why the last open failed.
    const std::string& OpenError() const { return m_openError; }

private:
    static void SDLCALL Callback(void* self, Uint8* stream, int length);
    void Fill(Uint8* stream, size_t length);
    void DropQueue();
    // The position at `nowNs` from the kept step; any thread.
    uint64_t PositionAt(int64_t nowNs) const;
    // Replaces the kept step; the caller holds the device's lock.
    void SetStep(uint64_t base, uint32_t last, int64_t stampNs, bool frozen);
    static int64_t NowNs();

    SDL_AudioDeviceID m_device = 0;
    uint8_t m_silence = 0;
    // Guarded by the device's lock: the written headers, oldest first, and how far
    // the device has come into the oldest.
    WAVEHDR* m_head = nullptr;
    WAVEHDR* m_tail = nullptr;
    uint32_t m_position = 0;
    std::atomic<uint64_t> m_played{0};
    // The play position's step, written under the device's lock, read by anyone through
    // the sequence count (odd while a write is under way): `m_base` bytes were heard by
    // `m_stampNs`, and the `m_last` bytes after them are heard evenly from then on.
    std::atomic<uint32_t> m_sequence{0};
    std::atomic<uint64_t> m_base{0};
    std::atomic<uint32_t> m_last{0};
    std::atomic<int64_t> m_stampNs{0};
    std::atomic<bool> m_frozen{true};  // paused, or not started yet
    uint32_t m_bytesPerSecond = 0;
    bool m_started = false;  // unpaused once: a write no longer starts it
    bool m_paused = false;   // the owner's pause
    std::string m_openError;
};

}  // namespace platform
