#include "platform/qtgl/GlDirectDraw.h"

#include <QEvent>
#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <vector>

#include "platform/qtgl/GlPictureRenderer.h"

using namespace platform;

namespace {

QWidget* WidgetOf(WindowHandle window) {
    return static_cast<QWidget*>(window);
}

// What the interfaces of one object share: the context, its renderer and the view.
struct GlDevice {
    QOffscreenSurface offscreen;
    QOpenGLContext context;
    GlPictureRenderer renderer;
    QPointer<QWidget> view;
    QSurface* current = nullptr;

    ~GlDevice() {
        if (renderer.Initialized() && MakeCurrent(&offscreen)) renderer.Destroy();
        context.doneCurrent();
    }

    bool MakeCurrent(QSurface* surface) {
        if (current == surface && QOpenGLContext::currentContext() == &context) return true;
        if (!context.makeCurrent(surface)) return false;
        current = surface;
        return true;
    }
    // Textures are made and written through the off-screen surface while the view's
    // window is not there yet; any surface of the context will do.
    bool MakeAnyCurrent() {
        if (current && QOpenGLContext::currentContext() == &context) return true;
        return MakeCurrent(&offscreen);
    }
};

// The GL window over the view. It takes no input, so clicks reach the view, and when
// the system shows it again it asks the view to draw.
class GlViewWindow final : public QWindow {
public:
    explicit GlViewWindow(QWidget* view) : m_view(view) {
        setSurfaceType(QSurface::OpenGLSurface);
        setFlag(Qt::WindowTransparentForInput);
    }

protected:
    void exposeEvent(QExposeEvent*) override {
        if (isExposed() && m_view) m_view->update();
    }

private:
    QPointer<QWidget> m_view;
};

// Keeps the GL window's container over the view's client area (inside any edge the
// view draws) as the view changes size.
class FillParent final : public QObject {
public:
    FillParent(QWidget* child, QWidget* parent) : QObject(child), m_child(child) {
        parent->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize)
            m_child->setGeometry(static_cast<QWidget*>(watched)->contentsRect());
        return false;
    }

private:
    QWidget* m_child;
};

class GlClipper final : public IDirectDrawClipper {
public:
    bool SetHWnd(uint32_t, WindowHandle window) override { return window != nullptr; }
};

class GlPictureSurface;

class GlSurface : public IDirectDrawSurface {
public:
    explicit GlSurface(std::shared_ptr<GlDevice> device) : m_device(std::move(device)) {}
    bool SetColorKey(uint32_t, const DDCOLORKEY&) override { return true; }
    bool SetClipper(IDirectDrawClipper*) override { return false; }
    bool Lock(const RECT*, DDSURFACEDESC&, uint32_t) override { return false; }
    bool Unlock() override { return false; }
    bool StretchDIBits(const RECT&, const BITMAPINFOHEADER&, const uint8_t*) override {
        return false;
    }
    // There are no overlays here.
    bool UpdateOverlay(const RECT&, IDirectDrawSurface&, const RECT&, uint32_t) override {
        return false;
    }
    bool Blt(const RECT&, IDirectDrawSurface&, const RECT&, uint32_t) override { return false; }
    virtual GlPictureSurface* AsPicture() { return nullptr; }

protected:
    std::shared_ptr<GlDevice> m_device;
};

// A picture surface: a texture, and memory for a lock, both made once.
class GlPictureSurface final : public GlSurface {
public:
    GlPictureSurface(std::shared_ptr<GlDevice> device, GLuint texture, int width, int height)
        : GlSurface(std::move(device)), m_texture(texture), m_nWidth(width), m_nHeight(height) {}
    ~GlPictureSurface() override {
        if (m_device->MakeAnyCurrent()) m_device->renderer.DeleteTexture(m_texture);
    }

    bool GetSurfaceDesc(DDSURFACEDESC& desc) override {
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT;
        desc.dwWidth = static_cast<uint32_t>(m_nWidth);
        desc.dwHeight = static_cast<uint32_t>(m_nHeight);
        desc.lPitch = m_nWidth * 4;
        desc.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY;
        desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
        desc.ddpfPixelFormat.dwRGBBitCount = 32;
        desc.ddpfPixelFormat.dwRBitMask = 0xFF0000;
        desc.ddpfPixelFormat.dwGBitMask = 0x00FF00;
        desc.ddpfPixelFormat.dwBBitMask = 0x0000FF;
        return true;
    }
    bool Lock(const RECT*, DDSURFACEDESC& desc, uint32_t) override {
        if (m_memory.empty())
            m_memory.resize(static_cast<size_t>(m_nWidth) * 4 * static_cast<size_t>(m_nHeight));
        GetSurfaceDesc(desc);
        desc.lpSurface = m_memory.data();
        return true;
    }
    bool Unlock() override {
        if (m_memory.empty() || !m_device->MakeAnyCurrent()) return false;
        m_device->renderer.UploadTopDownBgra(m_texture, m_nWidth, m_nHeight, m_nWidth * 4,
                                             m_memory.data());
        return true;
    }
    bool StretchDIBits(const RECT& dest, const BITMAPINFOHEADER& header,
                       const uint8_t* bits) override {
        // Only the 1:1 copy of a 24-bit bottom-up bitmap that lies inside the surface.
        if (!bits || header.biBitCount != 24 || header.biHeight <= 0 ||
            dest.right - dest.left != header.biWidth || dest.bottom - dest.top != header.biHeight ||
            dest.left < 0 || dest.top < 0 || dest.right > m_nWidth || dest.bottom > m_nHeight)
            return false;
        if (!m_device->MakeAnyCurrent()) return false;
        m_device->renderer.UploadBgr(m_texture, m_nHeight, dest, bits);
        return true;
    }
    GlPictureSurface* AsPicture() override { return this; }

    GLuint Texture() const { return m_texture; }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    GLuint m_texture;
    int m_nWidth, m_nHeight;
    std::vector<uint8_t> m_memory;
};

// The primary surface: the screen, of which the GL window over the view is the part
// this service can draw on.
class GlPrimarySurface final : public GlSurface {
public:
    explicit GlPrimarySurface(std::shared_ptr<GlDevice> device) : GlSurface(std::move(device)) {
        QWidget* view = m_device->view;
        m_window = new GlViewWindow(view);
        m_window->setFormat(m_device->context.format());
        m_container = QWidget::createWindowContainer(m_window, view);
        m_container->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_container->setGeometry(view->contentsRect());
        new FillParent(m_container, view);
        m_container->show();
    }
    ~GlPrimarySurface() override {
        if (m_device->current == m_window) {
            m_device->context.doneCurrent();
            m_device->current = nullptr;
        }
        // The container owns the window; the view may already have deleted both.
        delete m_container.data();
    }

    bool GetSurfaceDesc(DDSURFACEDESC& desc) override {
        const QScreen* screen = m_device->view ? m_device->view->screen() : nullptr;
        if (!screen) return false;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        desc.dwWidth = static_cast<uint32_t>(screen->geometry().width());
        desc.dwHeight = static_cast<uint32_t>(screen->geometry().height());
        desc.dwCaps = DDSCAPS_PRIMARYSURFACE;
        return true;
    }
    // With or without the clipper, drawing stays inside the view's GL window: that
    // window is all of the screen a GL context can reach.
    bool SetClipper(IDirectDrawClipper*) override { return true; }

    bool Blt(const RECT& destRect, IDirectDrawSurface& source, const RECT& sourceRect,
             uint32_t) override {
        GlPictureSurface* picture = static_cast<GlSurface&>(source).AsPicture();
        QWidget* view = m_device->view;
        if (!picture || !view || !m_container || !m_window->isExposed()) return false;
        if (!m_device->MakeCurrent(m_window)) return false;
        // Screen coordinates to the window's, then to GL's bottom-left device pixels.
        const QPoint origin = m_container->mapToGlobal(QPoint(0, 0));
        const qreal ratio = m_window->devicePixelRatio();
        const int windowHeight = static_cast<int>(m_window->height() * ratio);
        const int x = static_cast<int>((destRect.left - origin.x()) * ratio);
        const int bottom = static_cast<int>((destRect.bottom - origin.y()) * ratio);
        const int width = static_cast<int>((destRect.right - destRect.left) * ratio);
        const int height = static_cast<int>((destRect.bottom - destRect.top) * ratio);
        m_device->renderer.Draw(picture->Texture(), picture->Width(), picture->Height(), sourceRect,
                                x, windowHeight - bottom, width, height);
        m_device->context.swapBuffers(m_window);
        return true;
    }

private:
    GlViewWindow* m_window = nullptr;
    QPointer<QWidget> m_container;
};

class GlDirectDraw2 final : public IDirectDraw2 {
public:
    explicit GlDirectDraw2(std::shared_ptr<GlDevice> device) : m_device(std::move(device)) {}

    std::unique_ptr<IDirectDrawSurface> CreateSurface(const DDSURFACEDESC& desc) override {
        if (!(desc.dwFlags & DDSD_CAPS) || !m_device->view) return nullptr;
        if (desc.dwCaps & DDSCAPS_PRIMARYSURFACE)
            return std::make_unique<GlPrimarySurface>(m_device);
        // Off-screen surfaces in the display's own format only.
        if (!(desc.dwCaps & DDSCAPS_OFFSCREENPLAIN) || (desc.dwCaps & DDSCAPS_OVERLAY) ||
            (desc.dwFlags & DDSD_PIXELFORMAT) || !(desc.dwFlags & DDSD_WIDTH) ||
            !(desc.dwFlags & DDSD_HEIGHT) || desc.dwWidth > 0x7FFFFFFF ||
            desc.dwHeight > 0x7FFFFFFF)
            return nullptr;
        if (!m_device->MakeAnyCurrent()) return nullptr;
        const int width = static_cast<int>(desc.dwWidth), height = static_cast<int>(desc.dwHeight);
        const GLuint texture = m_device->renderer.CreateTexture(width, height);
        if (texture == 0) return nullptr;
        return std::make_unique<GlPictureSurface>(m_device, texture, width, height);
    }
    std::unique_ptr<IDirectDrawClipper> CreateClipper(uint32_t) override {
        return std::make_unique<GlClipper>();
    }

private:
    std::shared_ptr<GlDevice> m_device;
};

class GlDirectDraw final : public IDirectDraw {
public:
    explicit GlDirectDraw(std::shared_ptr<GlDevice> device) : m_device(std::move(device)) {}

    bool SetCooperativeLevel(WindowHandle window, uint32_t flags) override {
        if (flags != DDSCL_NORMAL || !window) return false;
        m_device->view = WidgetOf(window);
        return true;
    }
    std::unique_ptr<IDirectDraw2> QueryInterface() override {
        if (!m_device->view) return nullptr;
        return std::make_unique<GlDirectDraw2>(m_device);
    }

private:
    std::shared_ptr<GlDevice> m_device;
};

}  // namespace

std::unique_ptr<IDirectDraw> GlDirectDrawProvider::DirectDrawCreate() {
    // These platforms show no windows: there is no display to draw on.
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") return nullptr;
    auto device = std::make_shared<GlDevice>();
    QSurfaceFormat format = QSurfaceFormat::defaultFormat();
    // A blit must not wait for the display's refresh: it runs on the user-interface
    // thread, and the playback clock decides when pictures change.
    format.setSwapInterval(0);
    device->context.setFormat(format);
    if (!device->context.create() || device->context.isOpenGLES()) return nullptr;
    device->offscreen.setFormat(device->context.format());
    device->offscreen.create();
    if (!device->offscreen.isValid() || !device->MakeCurrent(&device->offscreen)) return nullptr;
    if (!device->renderer.Initialize()) return nullptr;
    return std::make_unique<GlDirectDraw>(std::move(device));
}

int GlDirectDrawProvider::GetDeviceBitsPerPixel(WindowHandle window) {
    const QScreen* screen = window ? WidgetOf(window)->screen() : nullptr;
    return screen ? screen->depth() : 0;
}

std::array<uint8_t, 4> GlDirectDrawProvider::GetPixelBytes(WindowHandle window, uint32_t colorref) {
    const uint32_t red = colorref & 0xFF, green = (colorref >> 8) & 0xFF,
                   blue = (colorref >> 16) & 0xFF;
    // The colour as a pixel of the screen's depth stores it, little-endian.
    uint32_t value = 0;
    const int depth = GetDeviceBitsPerPixel(window);
    if (depth == 16)
        value = ((red >> 3) << 11) | ((green >> 2) << 5) | (blue >> 3);
    else if (depth == 15)
        value = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
    else
        value = (red << 16) | (green << 8) | blue;
    return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}
