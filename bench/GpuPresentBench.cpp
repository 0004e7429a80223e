// Presenting one 640 × 480 display bitmap over a 1920 × 1080 client through the GL
// path: the upload of the BGR rows into the picture texture and the textured quad
// drawn over a 1920 × 1080 target, with glFinish so that the GL's work is counted, not
// only its queueing. Beside it, a memcpy of the 1920 × 1080 × 4 target in the same run.
// Needs a display with GL (run it under xvfb-run); the label names the renderer, which
// under Xvfb is Mesa's software one.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/qtgl/GlPictureRenderer.h"

namespace {

constexpr int kPictureWidth = 640, kPictureHeight = 480;
constexpr int kClientWidth = 1920, kClientHeight = 1080;

// One context current on an off-screen surface, drawing into a 1920 × 1080 framebuffer.
struct GlTarget {
    QOffscreenSurface surface;
    QOpenGLContext context;
    GlPictureRenderer renderer;
    GLuint framebuffer = 0, colour = 0, texture = 0;
    bool ready = false;

    GlTarget() {
        if (!context.create()) return;
        surface.setFormat(context.format());
        surface.create();
        if (!surface.isValid() || !context.makeCurrent(&surface) || !renderer.Initialize()) return;
        QOpenGLExtraFunctions& gl = *context.extraFunctions();
        gl.glGenRenderbuffers(1, &colour);
        gl.glBindRenderbuffer(GL_RENDERBUFFER, colour);
        gl.glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kClientWidth, kClientHeight);
        gl.glGenFramebuffers(1, &framebuffer);
        gl.glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        gl.glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        texture = renderer.CreateTexture(kPictureWidth, kPictureHeight);
        ready =
            texture != 0 && gl.glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    }
};

GlTarget* Target() {
    static int argc = 1;
    static char name[] = "gpu_present_bench";
    static char* argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    static GlTarget target;
    return target.ready ? &target : nullptr;
}

std::vector<uint8_t> Picture() {
    std::vector<uint8_t> bgr(static_cast<size_t>(kPictureWidth) * kPictureHeight * 3);
    for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = static_cast<uint8_t>(i * 7 + i / 1920);
    return bgr;
}

void GlUploadAndDraw(benchmark::State& state) {
    GlTarget* target = Target();
    if (!target) {
        state.SkipWithError("no GL context on this display");
        return;
    }
    const std::vector<uint8_t> picture = Picture();
    const platform::RECT whole{0, 0, kPictureWidth, kPictureHeight};
    QOpenGLFunctions& gl = *target->context.functions();
    for (auto _ : state) {
        target->renderer.UploadBgr(target->texture, kPictureHeight, whole, picture.data());
        target->renderer.Draw(target->texture, kPictureWidth, kPictureHeight, whole, 0, 0,
                              kClientWidth, kClientHeight);
        gl.glFinish();
    }
    state.SetLabel(reinterpret_cast<const char*>(gl.glGetString(GL_RENDERER)));
}
BENCHMARK(GlUploadAndDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

void GlDrawOnly(benchmark::State& state) {
    GlTarget* target = Target();
    if (!target) {
        state.SkipWithError("no GL context on this display");
        return;
    }
    const platform::RECT whole{0, 0, kPictureWidth, kPictureHeight};
    QOpenGLFunctions& gl = *target->context.functions();
    for (auto _ : state) {
        target->renderer.Draw(target->texture, kPictureWidth, kPictureHeight, whole, 0, 0,
                              kClientWidth, kClientHeight);
        gl.glFinish();
    }
}
BENCHMARK(GlDrawOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void MemcpyOfTheTarget(benchmark::State& state) {
    std::vector<uint8_t> from(static_cast<size_t>(kClientWidth) * kClientHeight * 4, 1),
        to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(MemcpyOfTheTarget)->Unit(benchmark::kMillisecond);

}  // namespace
