#include "platform/sdl/SdlWaveOut.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace platform {
namespace {

void MarkDone(WAVEHDR& header) {
    header.lpNext = nullptr;
    header.dwFlags.fetch_and(~WHDR_INQUEUE, std::memory_order_relaxed);
    header.dwFlags.fetch_or(WHDR_DONE, std::memory_order_release);
}

// Sample frames per device buffer: a power of two near 20 ms, so pause and reset are
// heard at once and the device still has room against a busy machine.
Uint16 BufferFrames(uint32_t rate) {
    Uint16 frames = 64;
    while (frames < 4096 && frames < rate / 50) frames = static_cast<Uint16>(frames * 2);
    return frames;
}

// What SDL is asked for is what the stream holds; anything else is refused here
// rather than played at the wrong speed or as noise.
bool Playable(const WAVEFORMATEX& format) {
    return format.wFormatTag == WAVE_FORMAT_PCM &&
           (format.wBitsPerSample == 8 || format.wBitsPerSample == 16) && format.nChannels >= 1 &&
           format.nChannels <= 8 && format.nSamplesPerSec >= 1000 &&
           format.nSamplesPerSec <= 384000 &&
           format.nBlockAlign == format.nChannels * format.wBitsPerSample / 8;
}

}  // namespace

SdlWaveOut::~SdlWaveOut() {
    waveOutClose();
}

bool SdlWaveOut::waveOutOpen(const WAVEFORMATEX& format) {
    waveOutClose();
    if (!Playable(format)) {
        m_openError = "not a PCM format the device can play";
        return false;
    }
    // Otherwise SDL's audio installs handlers whose quit events nobody reads, and Ctrl+C
    // or a logout would no longer end the program.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        m_openError = SDL_GetError();
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.nChannels);
    want.samples = BufferFrames(format.nSamplesPerSec);
    want.callback = &SdlWaveOut::Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    m_device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (m_device == 0) {
        m_openError = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_openError.clear();
    m_silence = have.silence;
    m_played.store(0, std::memory_order_relaxed);
    m_bytesPerSecond = static_cast<uint32_t>(format.nBlockAlign) * format.nSamplesPerSec;
    m_started = false;
    m_paused = false;
    SetStep(0, 0, NowNs(), true);
    // Like the system's device, an open device plays what is written at once; SDL's own
    // starts paused and stays so until the first write, so no silence goes ahead of it.
    return true;
}

void SdlWaveOut::waveOutPrepareHeader(WAVEHDR& header) {
    header.dwFlags.fetch_or(WHDR_PREPARED);
}

void SdlWaveOut::waveOutUnprepareHeader(WAVEHDR& header) {
    if (!(header.dwFlags.load(std::memory_order_acquire) & WHDR_INQUEUE))
        header.dwFlags.fetch_and(~WHDR_PREPARED);
}

void SdlWaveOut::waveOutWrite(WAVEHDR& header) {
    if (!m_device) return;
    SDL_LockAudioDevice(m_device);
    const uint32_t flags = header.dwFlags.load(std::memory_order_relaxed);
    if ((flags & WHDR_PREPARED) && !(flags & WHDR_INQUEUE)) {
        header.dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE, std::memory_order_relaxed);
        header.lpNext = nullptr;
        if (m_tail) {
            m_tail->lpNext = &header;
        } else {
            m_head = &header;
        }
        m_tail = &header;
    }
    const bool start = !m_started && !m_paused;
    if (start) {
        m_started = true;
        SetStep(0, 0, NowNs(), false);
    }
    SDL_UnlockAudioDevice(m_device);
    if (start) SDL_PauseAudioDevice(m_device, 0);
}

void SdlWaveOut::waveOutPause() {
    if (!m_device) return;
    SDL_PauseAudioDevice(m_device, 1);
    SDL_LockAudioDevice(m_device);
    m_paused = true;
    if (!m_frozen.load(std::memory_order_relaxed)) {
        // The position stops where it stands; what the last step had left to be heard
        // is heard after the restart.
        const int64_t now = NowNs();
        const uint64_t position = PositionAt(now);
        const uint64_t end =
            m_base.load(std::memory_order_relaxed) + m_last.load(std::memory_order_relaxed);
        SetStep(position, static_cast<uint32_t>(end - position), now, true);
    }
    SDL_UnlockAudioDevice(m_device);
}

void SdlWaveOut::waveOutRestart() {
    if (!m_device) return;
    SDL_LockAudioDevice(m_device);
    m_paused = false;
    m_started = true;
    if (m_frozen.load(std::memory_order_relaxed))
        SetStep(m_base.load(std::memory_order_relaxed), m_last.load(std::memory_order_relaxed),
                NowNs(), false);
    SDL_UnlockAudioDevice(m_device);
    SDL_PauseAudioDevice(m_device, 0);
}

bool SdlWaveOut::waveOutGetPosition(uint64_t& bytes) {
    bytes = 0;
    if (!m_device) return false;
    bytes = PositionAt(NowNs());
    return true;
}

int64_t SdlWaveOut::NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SdlWaveOut::SetStep(uint64_t base, uint32_t last, int64_t stampNs, bool frozen) {
    // Sequentially consistent throughout: a reader that sees any new field sees the odd
    // count too. Rare writes, so the cost does not matter.
    const uint32_t sequence = m_sequence.load();
    m_sequence.store(sequence + 1);
    m_base.store(base);
    m_last.store(last);
    m_stampNs.store(stampNs);
    m_frozen.store(frozen);
    m_sequence.store(sequence + 2);
}

uint64_t SdlWaveOut::PositionAt(int64_t nowNs) const {
    for (;;) {
        const uint32_t before = m_sequence.load();
        const uint64_t base = m_base.load();
        const uint32_t last = m_last.load();
        const int64_t stamp = m_stampNs.load();
        const bool frozen = m_frozen.load();
        if ((before & 1) || m_sequence.load() != before) continue;
        if (frozen || nowNs <= stamp) return base;
        // Whole sample frames are not needed: the caller turns bytes into milliseconds.
        const long double heard = static_cast<long double>(nowNs - stamp) * m_bytesPerSecond / 1e9L;
        return base + static_cast<uint64_t>(std::min<long double>(heard, last));
    }
}

void SdlWaveOut::waveOutReset() {
    if (!m_device) return;
    SDL_LockAudioDevice(m_device);
    DropQueue();
    SDL_UnlockAudioDevice(m_device);
}

void SdlWaveOut::waveOutClose() {
    if (!m_device) return;
    // Closing waits for a running callback; after it no header is touched any more.
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
    DropQueue();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void SdlWaveOut::DropQueue() {
    while (m_head) {
        WAVEHDR* next = m_head->lpNext;
        MarkDone(*m_head);
        m_head = next;
    }
    m_tail = nullptr;
    m_position = 0;
    // Like the system's device, a reset starts the position again from 0.
    m_played.store(0, std::memory_order_relaxed);
    SetStep(0, 0, NowNs(), m_frozen.load(std::memory_order_relaxed));
}

void SDLCALL SdlWaveOut::Callback(void* self, Uint8* stream, int length) {
    static_cast<SdlWaveOut*>(self)->Fill(stream, static_cast<size_t>(std::max(length, 0)));
}

void SdlWaveOut::Fill(Uint8* stream, size_t length) {
    size_t filled = 0;
    while (filled < length && m_head) {
        WAVEHDR& header = *m_head;
        const size_t n = std::min<size_t>(length - filled, header.dwBufferLength - m_position);
        if (n) std::memcpy(stream + filled, header.lpData + m_position, n);
        filled += n;
        m_position += static_cast<uint32_t>(n);
        m_played.fetch_add(n, std::memory_order_release);
        if (m_position >= header.dwBufferLength) {
            m_head = header.lpNext;
            if (!m_head) m_tail = nullptr;
            m_position = 0;
            MarkDone(header);
        }
    }
    std::memset(stream + filled, m_silence, length - filled);
    // What this callback took is heard from now until the next; whatever the last one
    // took is heard by now.
    SetStep(m_base.load(std::memory_order_relaxed) + m_last.load(std::memory_order_relaxed),
            static_cast<uint32_t>(filled), NowNs(), false);
}

}  // namespace platform
