#include "playback/LumekoDoc.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "audio/Gain.h"
#include "base/TruncateToUnsigned.h"

namespace {

constexpr char kNoMemoryMessage[] = "ﾒﾓﾘが確保出来ません";
constexpr char kNoSoundMemoryMessage[] = "音声用のﾒﾓﾘが確保出来ません";
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

CLumekoDoc::CLumekoDoc(const DocumentServices& services) : m_movie(services.messages), m_services(services) {
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
    std::snprintf(text, sizeof text, "%2d:%2d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    return text;
}

uint32_t CLumekoDoc::DueFrame(uint32_t elapsedMs) const {
    return TruncateToUnsigned(static_cast<float>(elapsedMs) * m_fRate / m_fScale * 0.001f);
}

uint32_t CLumekoDoc::FrameStartMs(uint32_t frame) const {
    // The exact start, then corrected for the float rounding of DueFrame, so that the
    // due frame at this time is `frame` itself.
    uint32_t t =
        TruncateToUnsigned(std::ceil(static_cast<double>(frame) * 1000.0 * m_fScale / m_fRate));
    for (int i = 0; i < 4 && DueFrame(t) < frame; ++i) ++t;
    for (int i = 0; i < 4 && t > 0 && DueFrame(t - 1) >= frame; ++i) --t;
    return t;
}

uint32_t CLumekoDoc::ReadAheadThreshold(uint32_t frame) const {
    const uint32_t earlier = frame - static_cast<uint32_t>(kReadAhead);
    return TruncateToUnsigned(static_cast<double>(earlier) * 1000.0 * m_fScale / m_fRate);
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
    m_ring = Allocate(kFrameSlots * m_nSlotBytes);
    if (!m_ring) {
        m_movie.Close();
        m_services.messages.ShowError(kNoMemoryMessage);
        return false;
    }
    for (int i = 0; i < kFrameSlots; ++i) {
        m_pFrameSlot[static_cast<size_t>(i)] = m_ring.get() + static_cast<size_t>(i) * m_nSlotBytes;
        m_pShownImage[static_cast<size_t>(i)].store(m_pFrameSlot[static_cast<size_t>(i)], std::memory_order_relaxed);
    }
    m_pCurrentImage = m_pFrameSlot[0];
    m_nCurrentFrame = 0;
    m_movie.ReadFrame(0, m_pFrameSlot[0]);

    const int seconds = static_cast<int>(std::clamp(static_cast<float>(m_nFrameCount) * m_fScale / m_fRate, 0.0f, 2e9f));
    SetPane(kLengthPane, TimeText(static_cast<uint32_t>(seconds)));

    m_nAudioBufferSize = m_movie.GetAudioChunkSize();
    m_pAudioBuffer.fill(nullptr);
    if (m_nAudioBufferSize) {
        m_audio = Allocate(size_t{kWaveBuffers} * m_nAudioBufferSize);
        if (m_audio) {
            for (int i = 0; i < kWaveBuffers; ++i)
                m_pAudioBuffer[static_cast<size_t>(i)] = m_audio.get() + static_cast<size_t>(i) * (m_nAudioBufferSize & ~1u);
        } else {
            m_services.messages.ShowError(kNoSoundMemoryMessage);
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
    m_pFrameSlot.fill(nullptr);
    for (auto& shown : m_pShownImage) shown.store(nullptr, std::memory_order_relaxed);
    m_ring.reset();
    m_pAudioBuffer.fill(nullptr);
    m_audio.reset();
    m_bOpen = false;
}

void CLumekoDoc::DecodeIntoSlot(uint32_t frame) {
    const size_t slot = frame % kFrameSlots;
    const int result = m_movie.ReadFrame(frame, m_pFrameSlot[slot]);
    // A frame that did not decode shows the one before it; frame 0 has none in this
    // run, so its own slot (black until something decodes into it) is shown.
    const uint8_t* shown = m_pFrameSlot[slot];
    if (result == 0 && frame != 0)
        shown = m_pShownImage[(slot + kFrameSlots - 1) % kFrameSlots].load(std::memory_order_relaxed);
    m_pShownImage[slot].store(shown, std::memory_order_release);
}

void CLumekoDoc::PreDecode() {
    // Short movies stop at their last frame.
    const uint32_t frames = std::min<uint32_t>(kReadAhead, m_nFrameCount);
    for (uint32_t frame = 0; frame < frames; ++frame) DecodeIntoSlot(frame);
    m_nNextFrame.store(frames, std::memory_order_relaxed);
}

void CLumekoDoc::OnPlay() {
    if (!m_bOpen) return;
    m_bPaused = false;
    m_nNextFrame = 0;
    PreDecode();
    m_movie.RewindAudio();
    OpenWave();
    FillWave();
    m_nShownSeconds = 0;
    m_dwStartTime = m_services.clock.timeGetTime();
    m_bPlaying = true;
    m_nTimerId = m_services.timer.timeSetEvent(m_nPeriod, kTimerResolutionMs, [this] { TimerTick(); });
    if (m_pView) m_pView->EnterFullScreen();
}

void CLumekoDoc::TimerTick() {
    if (m_bPaused.load(std::memory_order_acquire)) return;
    RefillWave();
    const uint32_t next = m_nNextFrame.load(std::memory_order_relaxed);
    if (next >= m_nFrameCount) return;
    const uint32_t elapsed = m_services.clock.timeGetTime() - m_dwStartTime.load(std::memory_order_acquire);
    if (elapsed < ReadAheadThreshold(next)) return;
    DecodeIntoSlot(next);
    m_nNextFrame.store(next + 1, std::memory_order_relaxed);
    // The last frame is decoded: the timer stops; the idle pass finds the end.
    if (next + 1 == m_nFrameCount) m_services.timer.timeKillEvent(m_nTimerId);
}

int CLumekoDoc::IdleProcess(int idleResult) {
    if (m_bPlaying) {
        if (m_bPaused) return 1;
        const uint32_t elapsed = m_services.clock.timeGetTime() - m_dwStartTime.load(std::memory_order_relaxed);
        const uint32_t seconds = elapsed / 1000;
        if (seconds != m_nShownSeconds && !(m_pView && m_pView->IsFullScreen())) {
            SetPane(kElapsedPane, TimeText(seconds));
            m_nShownSeconds = seconds;
        }
        const uint32_t due = DueFrame(elapsed);
        if (due < m_nFrameCount) {
            m_nCurrentFrame = due;
            const uint8_t* image = m_pShownImage[due % kFrameSlots].load(std::memory_order_acquire);
            if (image != m_pCurrentImage) {
                m_pCurrentImage = image;
                InvalidateView();
            }
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
    if (m_pView) m_pView->LeaveFullScreen();
    m_movie.ReadFrame(0, m_pFrameSlot[0]);
    m_pCurrentImage = m_pFrameSlot[0];
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

void CLumekoDoc::OnLoop() { m_bLoop = m_bLoop == 0 ? 1 : 0; }

void CLumekoDoc::Seek(uint32_t frame) {
    if (!m_bOpen || m_nFrameCount == 0) return;
    frame = std::min(frame, m_nFrameCount - 1);
    // The movie and the wave headers are the tick's while the timer runs.
    if (m_nTimerId) {
        m_services.timer.timeKillEvent(m_nTimerId);
        m_nTimerId = 0;
    }
    if (!m_bPlaying) {
        // Stopped: the movie waits at the new place as if paused there.
        m_bPlaying = true;
        m_bPaused.store(true, std::memory_order_release);
        m_bFinished = false;
        OpenWave();
        if (m_bWaveOpen) m_services.waveOut.waveOutPause();
    }
    // The queued sound is dropped; a pause stays in force.
    if (m_bWaveOpen) m_services.waveOut.waveOutReset();

    // The picture: the target into its slot, then the read-ahead after it.
    const size_t slot = frame % kFrameSlots;
    m_movie.SeekFrame(frame, m_pFrameSlot[slot]);
    m_pShownImage[slot].store(m_pFrameSlot[slot], std::memory_order_release);
    const uint32_t end = std::min<uint32_t>(frame + kReadAhead, m_nFrameCount);
    for (uint32_t next = frame + 1; next < end; ++next) DecodeIntoSlot(next);
    m_nNextFrame.store(end, std::memory_order_relaxed);
    m_pCurrentImage = m_pFrameSlot[slot];
    m_nCurrentFrame = frame;

    // The sound from the frame's start.
    m_movie.SeekAudio(frame);
    FillWave();

    // The clock: the target is due now (and, paused, the pause begins now).
    const uint32_t now = m_services.clock.timeGetTime();
    const uint32_t elapsed = FrameStartMs(frame);
    m_dwStartTime.store(now - elapsed, std::memory_order_release);
    m_dwPauseTime = now;
    m_nShownSeconds = elapsed / 1000;

    if (!(m_pView && m_pView->IsFullScreen())) SetPane(kElapsedPane, TimeText(elapsed / 1000));
    InvalidateView();
    m_nTimerId =
        m_services.timer.timeSetEvent(m_nPeriod, kTimerResolutionMs, [this] { TimerTick(); });
}
