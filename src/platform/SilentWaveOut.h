#pragma once

#include "platform/WaveOut.h"

namespace platform {

// A device that never opens: the movie plays, or converts, without sound.
class SilentWaveOut final : public IWaveOut {
public:
    bool waveOutOpen(const WAVEFORMATEX&) override { return false; }
    void waveOutPrepareHeader(WAVEHDR&) override {}
    void waveOutUnprepareHeader(WAVEHDR&) override {}
    void waveOutWrite(WAVEHDR&) override {}
    void waveOutPause() override {}
    void waveOutRestart() override {}
    void waveOutReset() override {}
    void waveOutClose() override {}
};

}  // namespace platform
