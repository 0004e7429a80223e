#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "movie/DuckMovie.h"
#include "platform/Framework.h"
#include "platform/MessageBox.h"
#include "platform/MillisecondClock.h"
#include "platform/MultimediaTimer.h"
#include "platform/Settings.h"
#include "platform/WaveOut.h"

// The converter's host lives a floor up; the document only hands it on.
namespace convert {
class IConversionHost;
}

// The document: the queue of files to play, the movie, the ring of decoded pictures,
// the wave buffers and the playback clock.
//
// Two threads share it without locks: the timer's tick decodes frames ahead into the
// ring and refills the sound, the user-interface thread shows the frame that is due by
// the clock. What they share is atomic: a slot's picture is complete before the tick
// publishes its frame number (release), and the idle pass reads it with acquire.
//
// The clock is the sound's: while the movie's sound plays, the elapsed time is the
// device's play position, so the picture keeps to the sound whatever the device's clock
// does (drift, a dry queue, a pause). Without sound, once the sound has ended, or when
// the device keeps no position, the millisecond clock serves, carried on from where the
// sound stood. The tick catches up after a stall within a time budget, and a slot is
// shown only when it holds the due frame.

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
    // The open movie's running time in whole seconds, as the status bar and the File
    // Information dialog give it.
    uint32_t RunningSeconds() const;

    // Timing from the file header, in exact single-precision float arithmetic as stored files were
    // made for.
    uint32_t DueFrame(uint32_t elapsedMs) const;
    uint32_t ReadAheadThreshold(uint32_t frame) const;
    // The first millisecond at which `frame` is due.
    uint32_t FrameStartMs(uint32_t frame) const;

    // Milliseconds of the movie played (pauses not counted): the sound's position while
    // it leads, else the millisecond clock. Either thread.
    uint32_t Elapsed() const;
    // Whether the sound's position is the clock now.
    bool FollowsSound() const { return m_bSoundClock.load(std::memory_order_acquire); }
    // The frame a slot holds, kNoFrame while it holds none of this run (or is being
    // written).
    static constexpr uint32_t kNoFrame = UINT32_MAX;
    uint32_t SlotFrame(int slot) const {
        return m_nSlotFrame[static_cast<size_t>(slot)].load(std::memory_order_acquire);
    }
    // The frame on screen, kNoFrame when unknown.
    uint32_t ShownFrame() const { return m_nShownFrame; }

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
    // Starts playing at `frame`: the ring refilled from it, the sound queued from the
    // movie's current audio position and the clock set so that `frame` is due now. The
    // caller has cancelled the timer and placed the audio.
    // How playback starts at a frame: in order from the movie's start, or at a target
    // reached by seeking, playing on or paused there.
    enum class Start { kInOrder, kSeek, kSeekPaused };
    void StartFrom(uint32_t frame, Start start = Start::kInOrder);
    void PreDecode(uint32_t first, Start start);
    // Decodes the next frame; false when it has to wait for the screen to leave its slot.
    bool DecodeNext(uint32_t due, bool onTimerThread);
    // Shows the due frame if its slot holds it; the picture stays otherwise.
    void ShowDue(uint32_t due);
    void ResetRing();
    // The next chunk of sound for the device, at the chosen volume.
    uint32_t ReadSound(uint8_t* dst);
    void UpdateGain();
    void OpenWave();
    void FillWave();
    void RefillWave();
    void CloseWave();
    // The sound's position in milliseconds of the movie, false when the device has none.
    bool SoundElapsed(uint32_t& ms) const;
    // The sound has been heard to its end (or the device lost its position): time goes
    // on by the millisecond clock from where the sound stood.
    void HandOverClock(uint32_t elapsedMs);
    void SetPane(int pane, const std::string& text);
    void InvalidateView();

    DocumentServices m_services;
    platform::IDocumentFrame* m_pFrame = nullptr;
    platform::IDocumentView* m_pView = nullptr;
    std::unique_ptr<uint8_t[]> m_ring;
    std::unique_ptr<uint8_t[]> m_audio;
    size_t m_nSlotBytes = 0;

    // The ring's bookkeeping. A slot's number is kNoFrame while the tick writes it; the
    // screen's picture is in `m_pDisplayed`, the one about to replace it in
    // `m_pCandidate`, and the tick writes over neither: the two sides store their own
    // mark and then read the other's (sequentially consistent), so at most one of them
    // goes ahead.
    std::array<std::atomic<uint32_t>, kFrameSlots> m_nSlotFrame{};
    std::atomic<const uint8_t*> m_pDisplayed{nullptr};
    std::atomic<const uint8_t*> m_pCandidate{nullptr};
    uint32_t m_nShownFrame = kNoFrame;
    uint8_t* m_pScratch = nullptr;            // pictures of overdue frames that have no slot free
    const uint8_t* m_pLastPicture = nullptr;  // the tick's: where the previous frame's picture is
    const uint8_t* m_pLastDecoded =
        nullptr;  // the tick's: the picture the previous frame was decoded into

    // The sound clock. Written bytes and the end are the tick's; the origin is the elapsed
    // time at the device's position 0.
    std::atomic<bool> m_bSoundClock{false};
    std::atomic<bool> m_bSoundEnded{false};
    std::atomic<uint64_t> m_nWrittenBytes{0};
    uint32_t m_nBytesPerSecond = 0;
    uint32_t m_nSoundOriginMs = 0;

    uint32_t m_nCurrentFrame = 0;
    int m_nVolume = 100;
    bool m_bMute = false;
    // The gain the tick applies, in 1/65536 steps; written by the interface thread.
    std::atomic<int32_t> m_nGain{1 << 16};
};
