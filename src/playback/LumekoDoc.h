#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "convert/ConversionHost.h"
#include "movie/DuckMovie.h"
#include "platform/Framework.h"
#include "platform/MessageBox.h"
#include "platform/MillisecondClock.h"
#include "platform/MultimediaTimer.h"
#include "platform/Settings.h"
#include "platform/WaveOut.h"

// The document: the queue of files to play, the movie, the ring of decoded pictures,
// the wave buffers and the playback clock.
//
// Two threads share it without locks: the timer's tick decodes frames ahead into the
// ring and refills the sound, the user-interface thread shows the frame that is due by
// the clock. What they share is atomic: a slot's picture is complete before the tick
// publishes its pointer (release), and the idle pass reads it with acquire.

// The platform services the document works with; they outlive it.
struct DocumentServices {
    platform::ISettings& settings;
    platform::IMillisecondClock& clock;
    platform::IMultimediaTimer& timer;
    platform::IWaveOut& waveOut;
    platform::IMessageBox& messages;
};

class CLumekoDoc {
public:
    static constexpr int kFrameSlots = 16;
    static constexpr int kReadAhead = 10;
    static constexpr int kWaveBuffers = 10;

    explicit CLumekoDoc(const DocumentServices& services);
    ~CLumekoDoc();
    CLumekoDoc(const CLumekoDoc&) = delete;
    CLumekoDoc& operator=(const CLumekoDoc&) = delete;

    // The frame and the view, once the window system has made them; either may be null.
    void AttachFrame(platform::IDocumentFrame* frame) { m_pFrame = frame; }
    void AttachView(platform::IDocumentView* view) { m_pView = view; }

    bool OpenMovie(std::string path);
    void CloseMovie();
    void OnPlay();
    void OnStop();
    void OnPause();
    void OnLoop();
    // Writes the open movie into a new AVI file through a chosen compressor.
    void OnConvert(convert::IConversionHost& host);
    void StopPlayback();
    // Moves playback to `frame` (the last frame when past the end) and shows it at once.
    // Playing, it goes on from there with picture and sound together; paused, it waits
    // there; stopped, it waits there paused, so Pause (or Space) plays on from it.
    // Allocates nothing; the timer is the only thing stopped and started again.
    void Seek(uint32_t frame);
    // The frame on screen: the due frame while playing or paused, 0 when stopped.
    uint32_t CurrentFrame() const { return m_nCurrentFrame; }
    // The time in milliseconds from the movie's start at which `frame` is first due.
    uint32_t FrameStartMs(uint32_t frame) const;

    // Volume in percent of the movie's own level (0..kMaxVolume) and mute, applied to
    // the sound on its way to the device and kept in the settings file.
    static constexpr int kMaxVolume = 200;
    void SetVolume(int percent);
    int GetVolume() const { return m_nVolume; }
    void SetMute(bool mute);
    bool IsMuted() const { return m_bMute; }

    // One idle pass; nonzero asks to be called again. `idleResult` is the framework's own.
    int IdleProcess(int idleResult);
    void TimerTick();

    // The elapsed or running time as the status bar shows it: "%2d:%2d".
    static std::string TimeText(uint32_t seconds);

    // Timing from the file header, in the original's exact float arithmetic.
    uint32_t DueFrame(uint32_t elapsedMs) const;
    uint32_t ReadAheadThreshold(uint32_t frame) const;

    std::deque<std::string> m_pendingFiles;
    bool m_bCloseWhenDone = false;
    bool m_bAutoPlay = false;
    bool m_bPlaying = false;
    const uint8_t* m_pCurrentImage = nullptr;
    CDuckMovie m_movie;
    int m_bLoop = 0;
    bool m_bFinished = false;
    std::atomic<bool> m_bPaused{false};
    uint32_t m_nAudioBufferSize = 0;
    uint32_t m_nFrameCount = 0;
    uint32_t m_nShownSeconds = 0;
    bool m_bWaveOpen = false;
    std::array<platform::WAVEHDR, kWaveBuffers> m_waveHdr;
    std::array<uint8_t*, kWaveBuffers> m_pAudioBuffer{};
    std::array<std::atomic<const uint8_t*>, kFrameSlots> m_pShownImage{};
    std::array<uint8_t*, kFrameSlots> m_pFrameSlot{};
    uint32_t m_nPeriod = 0;
    std::atomic<uint32_t> m_nTimerId{0};
    std::atomic<uint32_t> m_dwStartTime{0};
    uint32_t m_dwPauseTime = 0;
    float m_fRate = 0;
    float m_fScale = 0;
    bool m_bOpen = false;
    std::atomic<uint32_t> m_nNextFrame{0};

private:
    // The next chunk of sound for the device, at the chosen volume.
    uint32_t ReadSound(uint8_t* dst);
    void UpdateGain();
    void PreDecode();
    void DecodeIntoSlot(uint32_t frame);
    void OpenWave();
    void FillWave();
    void RefillWave();
    void CloseWave();
    void SetPane(int pane, const std::string& text);
    void InvalidateView();

    DocumentServices m_services;
    platform::IDocumentFrame* m_pFrame = nullptr;
    platform::IDocumentView* m_pView = nullptr;
    std::unique_ptr<uint8_t[]> m_ring;
    std::unique_ptr<uint8_t[]> m_audio;
    size_t m_nSlotBytes = 0;
    uint32_t m_nCurrentFrame = 0;
    int m_nVolume = 100;
    bool m_bMute = false;
    // The gain the tick applies, in 1/65536 steps; written by the interface thread.
    std::atomic<int32_t> m_nGain{1 << 16};
};
