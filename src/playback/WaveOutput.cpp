#include "audio/AudioFormat.h"
#include "playback/LumekoDoc.h"

// The document's sound: ten buffers of one decoded chunk each, queued in order and
// refilled one at a time from the timer's tick as the device returns them.

void CLumekoDoc::OpenWave() {
    if (!m_pAudioBuffer[0]) return;
    movie::WAVEFORMATEX format;
    m_movie.GetWaveFormat(&format);
    if (format.wFormatTag != movie::WAVE_FORMAT_PCM) {
        // The decoders' output; DK3 always decodes to two channels, whatever the
        // format declares, so it plays at its true speed.
        format.wFormatTag = movie::WAVE_FORMAT_PCM;
        format.nChannels = m_movie.GetDecodedChannels();
        format.wBitsPerSample = 16;
        format.nBlockAlign = static_cast<uint16_t>(format.nChannels * 2);
        format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
        format.cbSize = 0;
    }
    if (!m_services.waveOut.waveOutOpen(format)) return;
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
    for (auto& header : m_waveHdr) header.dwBufferLength = ReadSound(header.lpData);
    for (auto& header : m_waveHdr) {
        if (header.dwBufferLength == 0) break;
        m_services.waveOut.waveOutWrite(header);
    }
}

void CLumekoDoc::RefillWave() {
    if (!m_bWaveOpen) return;
    for (auto& header : m_waveHdr) {
        if (!(header.dwFlags.load(std::memory_order_acquire) & platform::WHDR_DONE)) continue;
        header.dwBufferLength = ReadSound(header.lpData);
        if (header.dwBufferLength) m_services.waveOut.waveOutWrite(header);
        return;
    }
}

void CLumekoDoc::CloseWave() {
    if (!m_bWaveOpen) return;
    m_services.waveOut.waveOutReset();
    for (auto& header : m_waveHdr) m_services.waveOut.waveOutUnprepareHeader(header);
    m_services.waveOut.waveOutClose();
    m_bWaveOpen = false;
}
