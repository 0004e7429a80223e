// Plays movies with the real timer thread and clock, as the player does, and reports
// how late each frame became current, how many were never shown, and the CPU time
// the process used per second of playback.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

#include "moviemaker/MovieMaker.h"
#include "platform/ConsoleMessageBox.h"
#include "platform/MemorySettings.h"
#include "platform/SilentWaveOut.h"
#include "platform/ThreadTimer.h"
#include "playback/LumekoDoc.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

void Measure(int width, int height, uint32_t fps, int seconds) {
    const auto path = (std::filesystem::temp_directory_path() / "lumeko-lateness.avi").string();
    moviemaker::MovieSpec spec;
    spec.width = width;
    spec.height = height;
    spec.rate = fps;
    spec.frames = static_cast<int>(fps) * seconds;
    spec.sound = moviemaker::SoundKind::kNone;
    if (!moviemaker::MakeMovie(spec, path).Ok()) return;

    platform::MemorySettings settings;
    platform::SteadyMillisecondClock clock;
    platform::ThreadTimer timer;
    platform::SilentWaveOut wave;
    platform::ConsoleMessageBox messages;
    CLumekoDoc doc({settings, clock, timer, wave, messages});
    doc.m_pendingFiles.push_back(path);
    doc.IdleProcess(0);
    const double cpuStart = CpuSeconds();
    doc.OnPlay();

    std::vector<double> lateness;
    std::vector<bool> shown(static_cast<size_t>(spec.frames), false);
    const uint8_t* current = doc.m_pCurrentImage;
    const auto start = std::chrono::steady_clock::now();
    const uint32_t origin = doc.m_dwStartTime;
    while (doc.m_bPlaying) {
        doc.IdleProcess(0);
        if (doc.m_pCurrentImage != current && doc.m_bPlaying) {
            current = doc.m_pCurrentImage;
            const uint32_t elapsed = clock.timeGetTime() - origin;
            const uint32_t due = doc.DueFrame(elapsed);
            shown[due] = true;
            lateness.push_back(elapsed - due * 1000.0 * spec.scale / fps);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuStart;
    std::sort(lateness.begin(), lateness.end());
    const auto at = [&](double q) {
        return lateness.empty() ? 0 : lateness[static_cast<size_t>(q * (lateness.size() - 1))];
    };
    const long missed = std::count(shown.begin() + 1, shown.end(), false);
    std::printf(
        "%dx%d at %u fps, %d s: lateness median %.1f ms, 99th %.1f ms, max %.1f ms; %ld of %d "
        "frames never "
        "shown; CPU %.1f%% of one core\n",
        width, height, fps, seconds, at(0.5), at(0.99), lateness.empty() ? 0 : lateness.back(),
        missed, spec.frames, 100 * cpu / wall);
    std::filesystem::remove(path);
}

}  // namespace

int main() {
    Measure(320, 240, 15, 10);
    Measure(640, 480, 30, 10);
}
