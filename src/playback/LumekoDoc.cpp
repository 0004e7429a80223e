#include "playback/LumekoDoc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "audio/Gain.h"
#include "base/TruncateToUnsigned.h"

namespace {

constexpr char kSettingsSection[] = "Lumeko";
constexpr char kLoopKey[] = "loop";
constexpr char kVolumeKey[] = "volume";
constexpr char kMuteKey[] = "mute";
constexpr uint32_t kTimerResolutionMs = 5;
constexpr int kElapsedPane = 1;
constexpr int kLengthPane = 2;

std::unique_ptr<uint8_t[]> Allocate(size_t bytes) {
    // Zeroed, so a slot that never receives a picture shows black.
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[std::max<size_t>(bytes, 1)]());
}

}  // namespace

CLumekoDoc::CLumekoDoc(const DocumentServices& services)
    : m_movie(services.messages), m_services(services) {
    m_bLoop = m_services.settings.GetProfileInt(kSettingsSection, kLoopKey, 0);
    m_nVolume = std::clamp(m_services.settings.GetProfileInt(kSettingsSection, kVolumeKey, 100), 0,
                           kMaxVolume);
    m_bMute = m_services.settings.GetProfileInt(kSettingsSection, kMuteKey, 0) != 0;
    UpdateGain();
}

CLumekoDoc::~CLumekoDoc() {
    CloseMovie();
    m_services.settings.WriteProfileInt(kSettingsSection, kLoopKey, m_bLoop);
    m_services.settings.WriteProfileInt(kSettingsSection, kVolumeKey, m_nVolume);
    m_services.settings.WriteProfileInt(kSettingsSection, kMuteKey, m_bMute ? 1 : 0);
}

void CLumekoDoc::SetVolume(int percent) {
    m_nVolume = std::clamp(percent, 0, kMaxVolume);
    UpdateGain();
}

void CLumekoDoc::SetMute(bool mute) {
    m_bMute = mute;
    UpdateGain();
}

void CLumekoDoc::UpdateGain() {
    m_nGain.store(m_bMute ? 0 : audio::GainFromPercent(m_nVolume), std::memory_order_relaxed);
}

uint32_t CLumekoDoc::ReadSound(uint8_t* dst) {
    const uint32_t bytes = m_movie.ReadAudio(dst);
    movie::WAVEFORMATEX format;
    m_movie.GetWaveFormat(&format);
    const int32_t gain = m_nGain.load(std::memory_order_relaxed);
    if (format.wFormatTag == movie::WAVE_FORMAT_PCM && format.wBitsPerSample == 8)
        audio::ApplyGain8(std::span(dst, bytes), gain);
    else
        audio::ApplyGain16(std::span(reinterpret_cast<int16_t*>(dst), bytes / 2), gain);
    return bytes;
}

std::string CLumekoDoc::TimeText(uint32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%2d", static_cast<int>(seconds / 60),
                  static_cast<int>(seconds % 60));
    return text;
}

uint32_t CLumekoDoc::RunningSeconds() const {
    return static_cast<uint32_t>(
        std::clamp(static_cast<float>(m_nFrameCount) * m_fScale / m_fRate, 0.0f, 2e9f));
}

uint32_t CLumekoDoc::DueFrame(uint32_t elapsedMs) const {
    return TruncateToUnsigned(static_cast<float>(elapsedMs) * m_fRate / m_fScale * 0.001f);
}

uint32_t CLumekoDoc::ReadAheadThreshold(uint32_t frame) const {
    const uint32_t earlier = frame - static_cast<uint32_t>(kReadAhead);
    return TruncateToUnsigned(static_cast<double>(earlier) * 1000.0 * m_fScale / m_fRate);
}

uint32_t CLumekoDoc::FrameStartMs(uint32_t frame) const {
    if (frame == 0) return 0;
    uint32_t ms = TruncateToUnsigned(static_cast<double>(frame) * 1000.0 * m_fScale / m_fRate);
    // The float rounding of DueFrame may put the frame's start a millisecond either way.
    while (ms > 0 && DueFrame(ms - 1) >= frame) --ms;
    while (ms < UINT32_MAX && DueFrame(ms) < frame) ++ms;
    return ms;
}

bool CLumekoDoc::SoundElapsed(uint32_t& ms) const {
    uint64_t bytes = 0;
    if (m_nBytesPerSecond == 0 || !m_services.waveOut.waveOutGetPosition(bytes)) return false;
    ms = m_nSoundOriginMs + static_cast<uint32_t>(bytes * 1000 / m_nBytesPerSecond);
    return true;
}

uint32_t CLumekoDoc::Elapsed() const {
    uint32_t ms = 0;
    if (m_bSoundClock.load(std::memory_order_acquire) && SoundElapsed(ms)) return ms;
    return m_services.clock.timeGetTime() - m_dwStartTime.load(std::memory_order_acquire);
}

void CLumekoDoc::HandOverClock(uint32_t elapsedMs) {
    m_dwStartTime.store(m_services.clock.timeGetTime() - elapsedMs, std::memory_order_relaxed);
    m_bSoundClock.store(false, std::memory_order_release);
}

void CLumekoDoc::SetPane(int pane, const std::string& text) {
    if (m_pFrame) m_pFrame->SetPaneText(pane, text);
}

void CLumekoDoc::InvalidateView() {
    if (m_pView) m_pView->Invalidate();
}

bool CLumekoDoc::OpenMovie(std::string path) {
    if (!m_movie.Open(path)) {
        m_bOpen = false;
        return false;
    }
    m_bPlaying = false;
    m_fScale = static_cast<float>(m_movie.GetScale());
    m_fRate = static_cast<float>(m_movie.GetRate());
    m_nPeriod = TruncateToUnsigned(m_fScale * 1000.0 / m_fRate);
    m_nFrameCount = m_movie.GetFrameCount();
    m_nNextFrame = 0;

    movie::BITMAPINFOHEADER bmih;
    m_movie.GetBitmapHeader(&bmih);
    m_nSlotBytes = static_cast<size_t>(bmih.biWidth) * static_cast<size_t>(bmih.biHeight) * 3;
    // The slots and one picture more for overdue frames whose slot is on screen.
    m_ring = Allocate((kFrameSlots + 1) * m_nSlotBytes);
    if (!m_ring) {
        m_movie.Close();
        m_services.messages.ShowError(platform::kNoMemoryText);
        return false;
    }
    for (int i = 0; i < kFrameSlots; ++i) {
        m_pFrameSlot[static_cast<size_t>(i)] = m_ring.get() + static_cast<size_t>(i) * m_nSlotBytes;
        m_pShownImage[static_cast<size_t>(i)].store(m_pFrameSlot[static_cast<size_t>(i)],
                                                    std::memory_order_relaxed);
    }
    m_pScratch = m_ring.get() + size_t{kFrameSlots} * m_nSlotBytes;
    ResetRing();
    m_pCurrentImage = m_pFrameSlot[0];
    m_pDisplayed.store(m_pCurrentImage, std::memory_order_relaxed);
    m_nCurrentFrame = 0;
    m_movie.ReadFrame(0, m_pFrameSlot[0]);

    SetPane(kLengthPane, TimeText(RunningSeconds()));

    m_nAudioBufferSize = m_movie.GetAudioChunkSize();
    m_pAudioBuffer.fill(nullptr);
    if (m_nAudioBufferSize) {
        m_audio = Allocate(size_t{kWaveBuffers} * m_nAudioBufferSize);
        if (m_audio) {
            // Each buffer starts at an even offset, so its 16-bit samples stay aligned.
            for (int i = 0; i < kWaveBuffers; ++i)
                m_pAudioBuffer[static_cast<size_t>(i)] =
                    m_audio.get() + static_cast<size_t>(i) * (m_nAudioBufferSize & ~1u);
        } else {
            m_services.messages.ShowError(platform::kNoSoundMemoryText);
        }
    }

    if (m_pFrame) {
        m_pFrame->AddToRecentFileList(path);
        // The title is the file's name; paths may use either separator.
        const size_t slash = path.find_last_of("/\\");
        m_pFrame->SetTitle(slash == std::string::npos ? path : path.substr(slash + 1));
    }
    m_bFinished = false;
    m_bOpen = true;
    if (m_pView) {
        m_pView->SetBitmapFormat(bmih);
        m_pView->ApplyWindowSize();
        m_pView->Invalidate();
    }
    return true;
}

void CLumekoDoc::CloseMovie() {
    if (m_nTimerId) {
        m_services.timer.timeKillEvent(m_nTimerId);
        m_nTimerId = 0;
    }
    if (m_bPlaying) CloseWave();
    m_movie.Close();
    if (m_pView) m_pView->ReleaseDrawing();
    m_pCurrentImage = nullptr;
    m_pDisplayed.store(nullptr, std::memory_order_relaxed);
    m_pFrameSlot.fill(nullptr);
    for (auto& shown : m_pShownImage) shown.store(nullptr, std::memory_order_relaxed);
    ResetRing();
    m_pScratch = nullptr;
    m_ring.reset();
    m_pAudioBuffer.fill(nullptr);
    m_audio.reset();
    m_bOpen = false;
}

void CLumekoDoc::ResetRing() {
    for (auto& frame : m_nSlotFrame) frame.store(kNoFrame, std::memory_order_relaxed);
    m_pLastPicture = nullptr;
    m_nShownFrame = kNoFrame;
    m_pLastDecoded = nullptr;
}

bool CLumekoDoc::DecodeNext(uint32_t due, bool onTimerThread) {
    const uint32_t frame = m_nNextFrame.load(std::memory_order_relaxed);
    const size_t slot = frame % kFrameSlots;
    uint8_t* picture = m_pFrameSlot[slot];
    const uint32_t held = m_nSlotFrame[slot].load(std::memory_order_relaxed);
    // The slot is given up first, then the screen is asked; the idle pass does the same
    // the other way round, so the slot on screen is never written.
    m_nSlotFrame[slot].store(kNoFrame, std::memory_order_seq_cst);
    if (onTimerThread && (m_pDisplayed.load(std::memory_order_seq_cst) == picture ||
                          m_pCandidate.load(std::memory_order_seq_cst) == picture)) {
        m_nSlotFrame[slot].store(held, std::memory_order_release);
        // A frame that is due later waits for the screen to move on; an overdue one will
        // never be shown, but the frames after it need it decoded.
        if (frame >= due) return false;
        picture = m_pScratch;
    }
    // Only this thread writes pictures, so the one the frame before went into still
    // holds it: a delta frame starts from there and writes only its changes (the movie
    // checks that it was the frame before).
    const int result = m_movie.ReadFrame(frame, picture, m_pLastDecoded);
    m_pLastDecoded = picture;
    m_nNextFrame.store(frame + 1, std::memory_order_relaxed);
    if (picture == m_pScratch) {
        m_pLastPicture = nullptr;
        return true;
    }
    // A frame that did not decode shows the one before it; without one (frame 0, or the
    // one before went to the scratch picture) the slot holds no frame and the screen
    // stays as it is.
    const uint8_t* shown = picture;
    if (result == 0 && frame != 0) shown = m_pLastPicture;
    m_pLastPicture = shown;
    if (!shown) return true;
    m_pShownImage[slot].store(shown, std::memory_order_relaxed);
    m_nSlotFrame[slot].store(frame, std::memory_order_release);
    return true;
}

void CLumekoDoc::PreDecode(uint32_t first, Start start) {
    // Short movies stop at their last frame.
    const uint32_t end =
        first + std::min<uint32_t>(kReadAhead, m_nFrameCount - std::min(first, m_nFrameCount));
    m_nNextFrame.store(first, std::memory_order_relaxed);
    if (start != Start::kInOrder && first < end) {
        // The movie decodes from the key frame before the target without writing the
        // pictures between; the frames after it follow in order.
        const size_t slot = first % kFrameSlots;
        m_movie.SeekFrame(first, m_pFrameSlot[slot]);
        m_pLastDecoded = nullptr;
        m_pLastPicture = m_pFrameSlot[slot];
        m_pShownImage[slot].store(m_pFrameSlot[slot], std::memory_order_relaxed);
        m_nSlotFrame[slot].store(first, std::memory_order_release);
        m_nNextFrame.store(first + 1, std::memory_order_relaxed);
    }
    while (m_nNextFrame.load(std::memory_order_relaxed) < end) DecodeNext(first, false);
}

void CLumekoDoc::OnPlay() {
    if (!m_bOpen) return;
    m_movie.RewindAudio();
    StartFrom(0);
    if (m_pView) m_pView->EnterFullScreen();
}

void CLumekoDoc::StartFrom(uint32_t frame, Start start) {
    m_bPaused = false;
    ResetRing();
    PreDecode(frame, start);
    m_nSoundOriginMs = FrameStartMs(frame);
    m_bSoundEnded.store(false, std::memory_order_relaxed);
    m_nWrittenBytes.store(0, std::memory_order_relaxed);
    // A seek keeps the device open; its reset drops what was queued and its position.
    if (m_bWaveOpen)
        m_services.waveOut.waveOutReset();
    else
        OpenWave();
    // The first buffers are queued before the device starts, so the first sample is
    // heard when frame `frame` is due.
    if (m_bWaveOpen) m_services.waveOut.waveOutPause();
    FillWave();
    uint32_t soundMs = 0;
    m_bSoundClock.store(
        m_bWaveOpen && m_nWrittenBytes.load(std::memory_order_relaxed) > 0 && SoundElapsed(soundMs),
        std::memory_order_relaxed);
    m_nShownSeconds = m_nSoundOriginMs / 1000;
    m_dwStartTime.store(m_services.clock.timeGetTime() - m_nSoundOriginMs,
                        std::memory_order_relaxed);
    m_bPlaying = true;
    if (start == Start::kSeekPaused) {
        // Paused at the target: resuming restarts the device and moves the origin on.
        m_bPaused.store(true, std::memory_order_release);
        m_dwPauseTime = m_services.clock.timeGetTime();
    } else if (m_bWaveOpen) {
        m_services.waveOut.waveOutRestart();
    }
    m_nTimerId =
        m_services.timer.timeSetEvent(m_nPeriod, kTimerResolutionMs, [this] { TimerTick(); });
}

void CLumekoDoc::TimerTick() {
    if (m_bPaused.load(std::memory_order_acquire)) return;
    const uint32_t start = m_services.clock.timeGetTime();
    // Half a period of decoding at most, so a slow machine still gets its ticks; what is
    // left is caught up by the next ones.
    const uint32_t budget = std::max<uint32_t>(m_nPeriod / 2, 1);
    RefillWave();
    for (;;) {
        const uint32_t next = m_nNextFrame.load(std::memory_order_relaxed);
        if (next >= m_nFrameCount) break;
        const uint32_t elapsed = Elapsed();
        if (next >= kReadAhead && elapsed < ReadAheadThreshold(next)) break;
        if (!DecodeNext(DueFrame(elapsed), true)) break;
        if (m_services.clock.timeGetTime() - start >= budget) break;
    }
    // Decoding may have taken long enough for the device to return buffers.
    RefillWave();
    // Every frame is decoded and all the sound queued: the timer stops; the idle pass
    // finds the end.
    if (m_nNextFrame.load(std::memory_order_relaxed) >= m_nFrameCount &&
        (!m_bWaveOpen || m_bSoundEnded.load(std::memory_order_relaxed)))
        m_services.timer.timeKillEvent(m_nTimerId);
}

void CLumekoDoc::ShowDue(uint32_t due) {
    if (due == m_nShownFrame) return;
    const size_t slot = due % kFrameSlots;
    if (m_nSlotFrame[slot].load(std::memory_order_acquire) != due) return;
    const uint8_t* image = m_pShownImage[slot].load(std::memory_order_relaxed);
    // The picture is marked as about to go on screen, then the slot is read again: had
    // the tick started writing it (or the slot whose picture it lends) meanwhile, it is
    // not shown. The picture on screen stays marked throughout.
    const size_t lender = static_cast<size_t>(image - m_pFrameSlot[0]) / m_nSlotBytes;
    const uint32_t lenderFrame = m_nSlotFrame[lender].load(std::memory_order_relaxed);
    m_pCandidate.store(image, std::memory_order_seq_cst);
    const bool kept = m_nSlotFrame[slot].load(std::memory_order_seq_cst) == due &&
                      m_nSlotFrame[lender].load(std::memory_order_seq_cst) == lenderFrame &&
                      lenderFrame != kNoFrame;
    if (kept) m_pDisplayed.store(image, std::memory_order_seq_cst);
    m_pCandidate.store(nullptr, std::memory_order_seq_cst);
    if (!kept) return;
    m_nShownFrame = due;
    if (image != m_pCurrentImage) {
        m_pCurrentImage = image;
        InvalidateView();
    }
}

int CLumekoDoc::IdleProcess(int idleResult) {
    if (m_bPlaying) {
        if (m_bPaused) return 1;
        uint32_t elapsed = Elapsed();
        if (m_bSoundClock.load(std::memory_order_relaxed)) {
            // The sound heard to its end, or a device that lost its position: the
            // millisecond clock carries on from where the sound stood.
            uint64_t heard = 0;
            if (!m_services.waveOut.waveOutGetPosition(heard)) {
                HandOverClock(elapsed);
            } else if (m_bSoundEnded.load(std::memory_order_acquire) &&
                       heard >= m_nWrittenBytes.load(std::memory_order_acquire)) {
                HandOverClock(elapsed);
            }
        }
        const uint32_t seconds = elapsed / 1000;
        if (seconds != m_nShownSeconds && !(m_pView && m_pView->IsFullScreen())) {
            SetPane(kElapsedPane, TimeText(seconds));
            m_nShownSeconds = seconds;
        }
        const uint32_t due = DueFrame(elapsed);
        if (due < m_nFrameCount) {
            m_nCurrentFrame = due;
            ShowDue(due);
            return 1;
        }
        StopPlayback();
        if (m_bLoop)
            OnPlay();
        else
            m_bFinished = true;
        return 1;
    }
    if (m_bOpen) {
        if (!m_bFinished) {
            if (m_bAutoPlay) {
                OnPlay();
                return 1;
            }
            return idleResult;
        }
        if (!m_pendingFiles.empty()) {
            CloseMovie();
            std::string path = std::move(m_pendingFiles.front());
            m_pendingFiles.pop_front();
            OpenMovie(std::move(path));
            return 1;
        }
        if (m_bCloseWhenDone) {
            CloseMovie();
            if (m_pFrame) m_pFrame->PostClose();
        }
        return idleResult;
    }
    if (!m_pendingFiles.empty()) {
        std::string path = std::move(m_pendingFiles.front());
        m_pendingFiles.pop_front();
        OpenMovie(std::move(path));
        return 1;
    }
    return idleResult;
}

void CLumekoDoc::StopPlayback() {
    if (m_nTimerId) {
        m_services.timer.timeKillEvent(m_nTimerId);
        m_nTimerId = 0;
    }
    m_bPlaying = false;
    m_nNextFrame = 0;
    CloseWave();
    m_bSoundClock.store(false, std::memory_order_relaxed);
    if (m_pView) m_pView->LeaveFullScreen();
    ResetRing();
    m_movie.ReadFrame(0, m_pFrameSlot[0]);
    m_pCurrentImage = m_pFrameSlot[0];
    m_pDisplayed.store(m_pCurrentImage, std::memory_order_relaxed);
    m_nCurrentFrame = 0;
    InvalidateView();
    SetPane(kElapsedPane, TimeText(0));
    if (!m_pendingFiles.empty()) CloseMovie();
}

void CLumekoDoc::OnStop() {
    m_bFinished = true;
    m_bCloseWhenDone = false;
    if (m_bOpen) StopPlayback();
}

void CLumekoDoc::OnPause() {
    if (m_bPaused) {
        m_dwStartTime += m_services.clock.timeGetTime() - m_dwPauseTime;
        m_bPaused.store(false, std::memory_order_release);
        if (m_bWaveOpen) m_services.waveOut.waveOutRestart();
    } else {
        m_bPaused.store(true, std::memory_order_release);
        m_dwPauseTime = m_services.clock.timeGetTime();
        if (m_bWaveOpen) m_services.waveOut.waveOutPause();
    }
}

void CLumekoDoc::OnLoop() {
    m_bLoop = m_bLoop == 0 ? 1 : 0;
}

void CLumekoDoc::Seek(uint32_t frame) {
    if (!m_bOpen || m_nFrameCount == 0) return;
    frame = std::min(frame, m_nFrameCount - 1);
    // Stopped, the movie waits at the new place as if paused there.
    const bool paused = !m_bPlaying || m_bPaused.load(std::memory_order_relaxed);
    // The movie and the wave headers are the tick's while the timer runs.
    if (m_nTimerId) {
        m_services.timer.timeKillEvent(m_nTimerId);
        m_nTimerId = 0;
    }
    m_bFinished = false;
    m_movie.SeekAudio(frame);
    StartFrom(frame, paused ? Start::kSeekPaused : Start::kSeek);
    m_nCurrentFrame = frame;
    ShowDue(frame);
    if (!(m_pView && m_pView->IsFullScreen()))
        SetPane(kElapsedPane, TimeText(FrameStartMs(frame) / 1000));
}
