#include "support/RecordingWaveOut.h"

#include <algorithm>

bool RecordingWaveOut::waveOutOpen(const WAVEFORMATEX& f) {
    if (open) waveOutClose();
    if (refuseOpen) return false;
    format = f;
    open = true;
    paused = false;
    m_carry = 0;
    m_heard = 0;
    ++opens;
    return true;
}

void RecordingWaveOut::waveOutPrepareHeader(platform::WAVEHDR& h) {
    h.dwFlags |= platform::WHDR_PREPARED;
}

void RecordingWaveOut::waveOutUnprepareHeader(platform::WAVEHDR& h) {
    if (h.dwFlags & platform::WHDR_INQUEUE) {
        ++misuses;
        return;
    }
    h.dwFlags &= ~platform::WHDR_PREPARED;
}

void RecordingWaveOut::waveOutWrite(platform::WAVEHDR& h) {
    const uint32_t flags = h.dwFlags;
    if (!open || !(flags & platform::WHDR_PREPARED) || (flags & platform::WHDR_INQUEUE)) {
        ++misuses;
        return;
    }
    h.dwFlags = (flags & ~platform::WHDR_DONE) | platform::WHDR_INQUEUE;
    queue.push_back(&h);
    ++writes;
}

void RecordingWaveOut::waveOutReset() {
    for (auto* h : queue) Done(*h);
    queue.clear();
    m_position = 0;
    m_heard = 0;
    ++resets;
}

void RecordingWaveOut::waveOutClose() {
    if (!queue.empty()) waveOutReset();
    open = false;
}

size_t RecordingWaveOut::Consume(size_t bytes) {
    size_t total = 0;
    while (open && !paused && total < bytes && !queue.empty()) {
        platform::WAVEHDR& h = *queue.front();
        const size_t n = std::min<size_t>(bytes - total, h.dwBufferLength - m_position);
        playedBytes.insert(playedBytes.end(), h.lpData + m_position, h.lpData + m_position + n);
        if (n) played.push_back({m_clock ? m_clock->timeGetTime() : 0, h.dwUser, n});
        m_position += n;
        m_heard += n;
        total += n;
        if (m_position == h.dwBufferLength) {
            queue.pop_front();
            Done(h);
            m_position = 0;
        }
    }
    return total;
}

size_t RecordingWaveOut::PlayFor(uint32_t ms) {
    if (!open || paused || format.nBlockAlign == 0) return 0;
    m_carry += uint64_t{ms} * format.nAvgBytesPerSec;
    const uint64_t frames = m_carry / 1000 / format.nBlockAlign;
    m_carry -= frames * format.nBlockAlign * 1000;
    const size_t wanted = static_cast<size_t>(frames * format.nBlockAlign);
    const size_t got = Consume(wanted);
    if (got < wanted) m_carry = 0;
    return got;
}

void RecordingWaveOut::Done(platform::WAVEHDR& h) {
    h.dwFlags = (h.dwFlags & ~platform::WHDR_INQUEUE) | platform::WHDR_DONE;
}
