#include "movie/DecodedWaveFormat.h"
#include "playback/LumekoDoc.h"

// The document's sound: ten buffers of one decoded read each (a chunk, or a bounded
// piece of a large one), queued in order and refilled from the timer's tick as the
// device returns them, every returned buffer at each tick.

void CLumekoDoc::OpenWave() {
    if (!m_pAudioBuffer[0]) return;
    const movie::WAVEFORMATEX format = DecodedWaveFormat(m_movie);
    if (!m_services.waveOut.waveOutOpen(format)) return;
    m_nBytesPerSecond = static_cast<uint32_t>(format.nBlockAlign) * format.nSamplesPerSec;
    for (int i = 0; i < kWaveBuffers; ++i) {
        platform::WAVEHDR& header = m_waveHdr[static_cast<size_t>(i)];
        header.lpData = m_pAudioBuffer[static_cast<size_t>(i)];
        header.dwBufferLength = m_nAudioBufferSize;
        header.dwBytesRecorded = 0;
        header.dwUser = static_cast<uintptr_t>(i);
        header.dwFlags.store(0, std::memory_order_relaxed);
        header.dwLoops = 0;
        m_services.waveOut.waveOutPrepareHeader(header);
    }
    m_bWaveOpen = true;
}

void CLumekoDoc::FillWave() {
    if (!m_bWaveOpen) return;
    uint64_t written = 0;
    for (auto& header : m_waveHdr) {
        header.dwBufferLength = ReadSound(header.lpData);
        written += header.dwBufferLength;
    }
    m_nWrittenBytes.store(written, std::memory_order_release);
    for (auto& header : m_waveHdr) {
        if (header.dwBufferLength == 0) {
            m_bSoundEnded.store(true, std::memory_order_release);
            break;
        }
        m_services.waveOut.waveOutWrite(header);
    }
}

void CLumekoDoc::RefillWave() {
    if (!m_bWaveOpen || m_bSoundEnded.load(std::memory_order_relaxed)) return;
    // Every returned buffer, so a queue the device ran dry during a stall is full again
    // at the next tick. The bytes go in the order written, whichever buffer holds them.
    for (auto& header : m_waveHdr) {
        if (!(header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_DONE)) continue;
        header.dwBufferLength = ReadSound(header.lpData);
        if (header.dwBufferLength == 0) {
            m_bSoundEnded.store(true, std::memory_order_release);
            return;
        }
        // Counted before the write, so the written total never trails what is heard.
        m_nWrittenBytes.fetch_add(header.dwBufferLength, std::memory_order_release);
        m_services.waveOut.waveOutWrite(header);
    }
}

void CLumekoDoc::CloseWave() {
    if (!m_bWaveOpen) return;
    m_services.waveOut.waveOutReset();
    for (auto& header : m_waveHdr) m_services.waveOut.waveOutUnprepareHeader(header);
    m_services.waveOut.waveOutClose();
    m_bWaveOpen = false;
}
