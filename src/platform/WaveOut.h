#pragma once

#include <atomic>
#include <cstdint>

#include "movie/AviRecords.h"

// The system's wave output, as the player uses it: buffers described by headers are
// written to an open device, played in the order written, and marked done when played.
// There is no callback: the owner polls the done flags.

namespace platform {

inline constexpr uint32_t WHDR_DONE = 0x01;
inline constexpr uint32_t WHDR_PREPARED = 0x02;
inline constexpr uint32_t WHDR_INQUEUE = 0x10;

struct WAVEHDR {
    uint8_t* lpData = nullptr;
    uint32_t dwBufferLength = 0;
    uint32_t dwBytesRecorded = 0;
    uintptr_t dwUser = 0;
    // Written by the device's thread and polled by the player's: release on marking a
    // buffer done, acquire on reading.
    std::atomic<uint32_t> dwFlags{0};
    uint32_t dwLoops = 0;
};

class IWaveOut {
public:
    virtual ~IWaveOut() = default;
    // Opens the device for `format` (PCM); false when there is no device for it.
    virtual bool waveOutOpen(const movie::WAVEFORMATEX& format) = 0;
    virtual void waveOutPrepareHeader(WAVEHDR& header) = 0;
    virtual void waveOutUnprepareHeader(WAVEHDR& header) = 0;
    // Queues the header's first dwBufferLength bytes; clears its done flag.
    virtual void waveOutWrite(WAVEHDR& header) = 0;
    virtual void waveOutPause() = 0;
    virtual void waveOutRestart() = 0;
    // Stops at once and marks every queued header done.
    virtual void waveOutReset() = 0;
    virtual void waveOutClose() = 0;
};

}  // namespace platform
