#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "convert/gst/GstExport.h"
#include "movie/DuckMovie.h"
#include "moviemaker/MovieMaker.h"
#include "platform/ConsoleMessageBox.h"

// MP4 and WebM export speed, as times real time ("x_realtime"): the demo's size
// (320x240 at 15 fps) and a 640x480 movie at 29.97 fps, default quality, all cores.
namespace {

namespace fs = std::filesystem;

class Quiet final : public convert::IExportProgress {
public:
    void Progress(uint64_t, uint64_t) override {}
};

const std::string& Movie(int width) {
    static const fs::path dir = fs::temp_directory_path() / "lumeko-export-bench";
    static std::string paths[2];
    std::string& path = paths[width == 640];
    if (path.empty()) {
        fs::create_directories(dir);
        moviemaker::MovieSpec spec;
        spec.width = width;
        spec.height = width * 3 / 4;
        if (width == 640) spec.rate = 30000, spec.scale = 1001, spec.frames = 300;
        path = (dir / ("movie-" + std::to_string(width) + ".avi")).string();
        if (!moviemaker::MakeMovie(spec, path).Ok()) path.clear();
    }
    return path;
}

void BM_Export(benchmark::State& state) {
    const auto format = static_cast<convert::ExportFormat>(state.range(0));
    const std::string& source = Movie(static_cast<int>(state.range(1)));
    if (source.empty() || !convert::CheckExportElements(format).Ok()) {
        state.SkipWithError("no movie or no GStreamer elements");
        return;
    }
    platform::ConsoleMessageBox messages;
    CDuckMovie movie(messages);
    movie.Open(source);
    convert::ExportSettings settings;
    settings.format = format;
    const std::string out = source + convert::ExportExtension(format);
    Quiet quiet;
    for (auto _ : state) {
        if (!convert::ExportMovie(movie, out, settings, quiet).Ok())
            state.SkipWithError("export failed");
    }
    const double seconds =
        static_cast<double>(movie.GetFrameCount()) * movie.GetScale() / movie.GetRate();
    state.counters["x_realtime"] = benchmark::Counter(
        seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    fs::remove(out);
}
BENCHMARK(BM_Export)
    ->ArgNames({"webm", "width"})
    ->Args({0, 320})
    ->Args({0, 640})
    ->Args({1, 320})
    ->Args({1, 640})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace
