#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/WaveOut.h"

// A wave device that plays only when the test consumes sound, and keeps every byte.
class RecordingWaveOut final : public platform::IWaveOut {
public:
    bool waveOutOpen(const movie::WAVEFORMATEX& f) override {
        if (refuseOpen) return false;
        format = f;
        open = true;
        ++opens;
        return true;
    }
    void waveOutPrepareHeader(platform::WAVEHDR& h) override { h.dwFlags |= platform::WHDR_PREPARED; }
    void waveOutUnprepareHeader(platform::WAVEHDR& h) override { h.dwFlags &= ~platform::WHDR_PREPARED; }
    void waveOutWrite(platform::WAVEHDR& h) override {
        h.dwFlags &= ~platform::WHDR_DONE;
        h.dwFlags |= platform::WHDR_INQUEUE;
        queue.push_back(&h);
        ++writes;
    }
    void waveOutPause() override { paused = true; }
    void waveOutRestart() override { paused = false; }
    void waveOutReset() override {
        for (auto* h : queue) Done(*h);
        queue.clear();
        ++resets;
    }
    void waveOutClose() override { open = false; }

    // Plays up to `bytes` bytes (nothing while paused); returns what was played.
    size_t Consume(size_t bytes) {
        size_t played = 0;
        while (!paused && played < bytes && !queue.empty()) {
            platform::WAVEHDR& h = *queue.front();
            const size_t n = std::min<size_t>(bytes - played, h.dwBufferLength - m_position);
            played_bytes.insert(played_bytes.end(), h.lpData + m_position, h.lpData + m_position + n);
            m_position += n;
            played += n;
            if (m_position == h.dwBufferLength) {
                queue.pop_front();
                Done(h);
                m_position = 0;
            }
        }
        return played;
    }

    movie::WAVEFORMATEX format;
    bool open = false;
    bool paused = false;
    bool refuseOpen = false;
    int opens = 0, writes = 0, resets = 0;
    std::deque<platform::WAVEHDR*> queue;
    std::vector<uint8_t> played_bytes;

private:
    void Done(platform::WAVEHDR& h) {
        h.dwFlags &= ~platform::WHDR_INQUEUE;
        h.dwFlags |= platform::WHDR_DONE;
    }
    size_t m_position = 0;
};
