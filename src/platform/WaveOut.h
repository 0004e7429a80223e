#pragma once

#include <atomic>
#include <cstdint>

#include "base/SystemRecords.h"

// The system's wave output, as the player uses it: buffers described by headers are
// written to an open device, played in the order written, and marked done when played.
// There is no callback: the owner polls the done flags, typically from the timer's
// thread, while the device consumes the buffers on a thread of its own.

namespace platform {

inline constexpr uint32_t WHDR_DONE = 0x01;      // played, or returned by a reset
inline constexpr uint32_t WHDR_PREPARED = 0x02;  // may be written
inline constexpr uint32_t WHDR_INQUEUE = 0x10;   // written and not yet done

struct WAVEHDR {
    uint8_t* lpData = nullptr;
    uint32_t dwBufferLength = 0;  // the bytes to play
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;  // the owner's own
    // Set by the device's thread when a buffer is done (release) and polled by the
    // owner's (acquire), so the owner sees the device has finished with the bytes.
    std::atomic<uint32_t> dwFlags{0};
    uint32_t dwLoops = 0;
    WAVEHDR* lpNext = nullptr;  // the device's own: its queue of written headers
};

class IWaveOut {
public:
    virtual ~IWaveOut() = default;
    // Opens the device for `format`, which must be PCM of 8 or 16 bits; the bytes are
    // played as they are, unconverted. False when there is no device for it, and the
    // movie then plays silently. Opening an open device closes it first.
    virtual bool waveOutOpen(const WAVEFORMATEX& format) = 0;
    // Marks the header prepared; a header is prepared once and then written many times.
    virtual void waveOutPrepareHeader(WAVEHDR& header) = 0;
    // Clears the mark; a header still queued stays prepared (reset the device first).
    virtual void waveOutUnprepareHeader(WAVEHDR& header) = 0;
    // Queues the header's first dwBufferLength bytes after those written before and
    // clears its done flag. Headers that are not prepared, or already queued, and writes
    // to a closed device are ignored.
    virtual void waveOutWrite(WAVEHDR& header) = 0;
    // Stops consuming at once, keeping the queue and the place within it.
    virtual void waveOutPause() = 0;
    // Goes on where the pause stopped.
    virtual void waveOutRestart() = 0;
    // Drops the queue: every queued header is marked done at once, none is played on.
    // A pause stays in force.
    virtual void waveOutReset() = 0;
    // Resets and closes the device.
    virtual void waveOutClose() = 0;
    // The play position: bytes of the written headers the listener has heard since the
    // device opened or was last reset, moving smoothly between the device's own steps,
    // standing still while paused or while the queue is dry. False when the device keeps
    // no such clock (or is closed); the caller then keeps time by the millisecond clock.
    // Any thread may ask, at any rate; it neither waits nor allocates.
    virtual bool waveOutGetPosition(uint64_t& bytes) {
        bytes = 0;
        return false;
    }
};

}  // namespace platform
