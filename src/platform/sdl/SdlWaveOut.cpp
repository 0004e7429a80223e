#include "platform/sdl/SdlWaveOut.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

void MarkDone(WAVEHDR& header) {
    header.dwFlags.fetch_and(~WHDR_INQUEUE, std::memory_order_relaxed);
    header.dwFlags.fetch_or(WHDR_DONE, std::memory_order_release);
}

}  // namespace

SdlWaveOut::~SdlWaveOut() { waveOutClose(); }

bool SdlWaveOut::waveOutOpen(const movie::WAVEFORMATEX& format) {
    waveOutClose();
    if (format.wFormatTag != movie::WAVE_FORMAT_PCM || (format.wBitsPerSample != 8 && format.wBitsPerSample != 16) ||
        format.nChannels == 0 || format.nChannels > 8 || format.nSamplesPerSec == 0)
        return false;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.nChannels);
    want.samples = 1024;
    want.callback = &SdlWaveOut::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // The device takes the stream's own format; SDL converts if the hardware differs.
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_silence = have.silence;
    m_played = 0;
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void SdlWaveOut::waveOutPrepareHeader(WAVEHDR& header) { header.dwFlags.fetch_or(WHDR_PREPARED); }

void SdlWaveOut::waveOutUnprepareHeader(WAVEHDR& header) { header.dwFlags.fetch_and(~WHDR_PREPARED); }

void SdlWaveOut::waveOutWrite(WAVEHDR& header) {
    if (!m_device) return;
    header.dwFlags.fetch_and(~WHDR_DONE, std::memory_order_relaxed);
    header.dwFlags.fetch_or(WHDR_INQUEUE, std::memory_order_relaxed);
    SDL_LockAudioDevice(m_device);
    m_queue.push_back(&header);
    SDL_UnlockAudioDevice(m_device);
}

void SdlWaveOut::waveOutPause() {
    if (m_device) SDL_PauseAudioDevice(m_device, 1);
}

void SdlWaveOut::waveOutRestart() {
    if (m_device) SDL_PauseAudioDevice(m_device, 0);
}

void SdlWaveOut::waveOutReset() {
    if (!m_device) return;
    SDL_LockAudioDevice(m_device);
    for (WAVEHDR* header : m_queue) MarkDone(*header);
    m_queue.clear();
    m_position = 0;
    SDL_UnlockAudioDevice(m_device);
}

void SdlWaveOut::waveOutClose() {
    if (!m_device) return;
    waveOutReset();
    SDL_CloseAudioDevice(m_device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m_device = 0;
}

void SdlWaveOut::Callback(void* self, Uint8* stream, int length) { static_cast<SdlWaveOut*>(self)->Fill(stream, length); }

void SdlWaveOut::Fill(Uint8* stream, int length) {
    size_t filled = 0;
    const size_t wanted = static_cast<size_t>(length);
    while (filled < wanted && !m_queue.empty()) {
        WAVEHDR& header = *m_queue.front();
        const size_t n = std::min<size_t>(wanted - filled, header.dwBufferLength - m_position);
        std::memcpy(stream + filled, header.lpData + m_position, n);
        filled += n;
        m_position += static_cast<uint32_t>(n);
        if (m_position >= header.dwBufferLength) {
            m_queue.pop_front();
            m_position = 0;
            MarkDone(header);
        }
    }
    m_played.fetch_add(filled, std::memory_order_relaxed);
    std::memset(stream + filled, m_silence, wanted - filled);
}

}  // namespace platform
