#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstring>
#include <vector>

#include "view/PictureDrawing.h"

// Presenting one 640 x 480 display bitmap on a 1920 x 1080 client through the software
// path, as the view paints it (turned upright, then stretched), beside a memcpy of the client's
// pixels.
namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kClientWidth = 1920, kClientHeight = 1080;

std::vector<uint8_t> Picture() {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t state = 12345;
    for (uint8_t& p : pixels) {
        state = state * 1664525u + 1013904223u;
        p = static_cast<uint8_t>(state >> 24);
    }
    return pixels;
}

void Present(benchmark::State& state, bool smooth) {
    const std::vector<uint8_t> pixels = Picture();
    QImage client(kClientWidth, kClientHeight, QImage::Format_RGB32);
    client.fill(Qt::black);
    SoftwarePicture picture;
    picture.SetSize(kWidth, kHeight);
    for (auto _ : state) {
        QPainter painter(&client);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, smooth);
        picture.Draw(painter, pixels.data(), QRect(0, 0, kClientWidth, kClientHeight));
        painter.end();
        benchmark::DoNotOptimize(client.constBits());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_PresentNearest(benchmark::State& state) {
    Present(state, false);
}
void BM_PresentSmooth(benchmark::State& state) {
    Present(state, true);
}

void BM_MemcpyClient(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(kClientWidth) * kClientHeight * 4;
    std::vector<uint8_t> from(bytes, 1), to(bytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

}  // namespace

// Qt's raster engine spreads a large scaled draw over threads: wall time is the figure.
BENCHMARK(BM_PresentNearest)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PresentSmooth)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_MemcpyClient)->Unit(benchmark::kMillisecond);
