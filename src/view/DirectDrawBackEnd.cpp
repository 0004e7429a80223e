#include "view/DirectDrawBackEnd.h"

#include <algorithm>
#include <array>
#include <cstring>

using namespace platform;

namespace {

struct PictureSurfaceFormat {
    uint32_t caps;
    uint32_t bitsPerPixel;  // 0: the display's own format
    uint32_t red, green, blue;
};

// The picture surfaces tried, in order: overlays in the RGB formats a display may
// take, then plain off-screen surfaces in the display's format, in video memory first.
constexpr std::array<PictureSurfaceFormat, 8> kPictureSurfaceFormats{{
    {DDSCAPS_OVERLAY, 24, 0xFF0000, 0x00FF00, 0x0000FF},
    {DDSCAPS_OVERLAY, 32, 0xFF0000, 0x00FF00, 0x0000FF},
    {DDSCAPS_OVERLAY, 32, 0x0000FF, 0x00FF00, 0xFF0000},
    {DDSCAPS_OVERLAY, 24, 0x0000FF, 0x00FF00, 0xFF0000},
    {DDSCAPS_OVERLAY, 16, 0xF800, 0x07E0, 0x001F},
    {DDSCAPS_OVERLAY, 16, 0x7C00, 0x03E0, 0x001F},
    {DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY, 0, 0, 0, 0},
    {DDSCAPS_OFFSCREENPLAIN, 0, 0, 0, 0},
}};

}  // namespace

PictureSurfaceLayout LayoutPictureSurface(int width, int height, int screenWidth,
                                          int screenHeight) {
    PictureSurfaceLayout layout;
    // 64-bit products: a hostile picture size must not wrap.
    if (static_cast<double>(width) / height > static_cast<double>(screenWidth) / screenHeight) {
        layout.surfaceWidth = width;
        layout.surfaceHeight =
            static_cast<int>(static_cast<int64_t>(screenHeight) * width / screenWidth);
        const int top = (layout.surfaceHeight - height) / 2;
        layout.picture = {0, top, width, top + height};
    } else {
        layout.surfaceWidth =
            static_cast<int>(static_cast<int64_t>(screenWidth) * height / screenHeight);
        layout.surfaceHeight = height;
        const int left = (layout.surfaceWidth - width) / 2;
        layout.picture = {left, 0, left + width, height};
    }
    return layout;
}

bool DirectDrawBackEnd::InitDirectDraw(WindowHandle view, const BITMAPINFOHEADER& header) {
    if (!m_pProvider || header.biWidth <= 0 || header.biHeight <= 0) return false;
    {
        // The first object serves only to set the level and to give the interface that
        // does the rest; it goes once that is had.
        std::unique_ptr<IDirectDraw> object = m_pProvider->DirectDrawCreate();
        if (!object || !object->SetCooperativeLevel(view, DDSCL_NORMAL)) return false;
        m_pDirectDraw = object->QueryInterface();
        if (!m_pDirectDraw) return false;
    }
    DDSURFACEDESC primary;
    primary.dwFlags = DDSD_CAPS;
    primary.dwCaps = DDSCAPS_PRIMARYSURFACE;
    m_pPrimary = m_pDirectDraw->CreateSurface(primary);
    if (!m_pPrimary) {
        Release();
        return false;
    }
    DDSURFACEDESC screen;
    m_pPrimary->GetSurfaceDesc(screen);
    // A screen of no size has no proportions to give the picture surface.
    if (screen.dwWidth == 0 || screen.dwHeight == 0 || screen.dwWidth > 0x7FFFFFFF ||
        screen.dwHeight > 0x7FFFFFFF) {
        Release();
        return false;
    }
    const int screenWidth = static_cast<int>(screen.dwWidth),
              screenHeight = static_cast<int>(screen.dwHeight);
    m_rcScreen = {0, 0, screenWidth, screenHeight};
    SetColorKeys(view);

    m_pClipper = m_pDirectDraw->CreateClipper(0);
    if (!m_pClipper || !m_pClipper->SetHWnd(0, view) || !m_pPrimary->SetClipper(m_pClipper.get())) {
        Release();
        return false;
    }
    const PictureSurfaceLayout layout =
        LayoutPictureSurface(header.biWidth, header.biHeight, screenWidth, screenHeight);
    m_rcSurface = {0, 0, layout.surfaceWidth, layout.surfaceHeight};
    m_rcPicture = layout.picture;
    if (!CreatePictureSurface(layout.surfaceWidth, layout.surfaceHeight)) {
        Release();
        return false;
    }
    return true;
}

// Finds how the display stores magenta and makes it the primary's key colour, for an
// overlay shown where the screen holds it.
void DirectDrawBackEnd::SetColorKeys(WindowHandle view) {
    const int bitsPerPixel = m_pProvider->GetDeviceBitsPerPixel(view);
    const std::array<uint8_t, 4> bytes = m_pProvider->GetPixelBytes(view, kOverlayKeyColor);
    uint32_t value = 0;
    const size_t count = bitsPerPixel > 0
                             ? std::min<size_t>(static_cast<size_t>(bitsPerPixel) / 8, sizeof value)
                             : 0;
    // The bytes in the display's order, as they lie in memory (little-endian).
    for (size_t i = 0; i < count; ++i) value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    const DDCOLORKEY key{value, value};
    m_pPrimary->SetColorKey(DDCKEY_DESTOVERLAY, key);
    m_pPrimary->SetColorKey(DDCKEY_DESTBLT, key);
}

bool DirectDrawBackEnd::CreatePictureSurface(int width, int height) {
    if (width <= 0 || height <= 0) return false;
    for (const PictureSurfaceFormat& format : kPictureSurfaceFormats) {
        const bool overlay = (format.caps & DDSCAPS_OVERLAY) != 0;
        DDSURFACEDESC desc;
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | (overlay ? DDSD_PIXELFORMAT : 0);
        desc.dwCaps = format.caps;
        desc.dwWidth = static_cast<uint32_t>(width);
        desc.dwHeight = static_cast<uint32_t>(height);
        if (overlay) {
            desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
            desc.ddpfPixelFormat.dwRGBBitCount = format.bitsPerPixel;
            desc.ddpfPixelFormat.dwRBitMask = format.red;
            desc.ddpfPixelFormat.dwGBitMask = format.green;
            desc.ddpfPixelFormat.dwBBitMask = format.blue;
        }
        m_pSurface = m_pDirectDraw->CreateSurface(desc);
        if (m_pSurface) {
            m_bOverlay = overlay;
            return true;
        }
    }
    m_bOverlay = false;
    return false;
}

void DirectDrawBackEnd::ClearSurface() {
    if (!m_pSurface) return;
    DDSURFACEDESC locked;
    // No memory is known when the lock fails, so nothing is cleared then.
    if (!m_pSurface->Lock(&m_rcSurface, locked, 0)) return;
    if (locked.lpSurface && locked.lPitch > 0)
        std::memset(locked.lpSurface, 0,
                    static_cast<size_t>(locked.lPitch / 2) * 2 * locked.dwHeight);
    m_pSurface->Unlock();
}

void DirectDrawBackEnd::Draw(const uint8_t* pixels, const BITMAPINFOHEADER& header,
                             const RECT& clientScreen, bool fullScreenActive, bool aspectCorrect) {
    if (!m_pSurface || !pixels) return;
    m_pSurface->StretchDIBits(m_rcPicture, header, pixels);
    // Full screen shows the whole surface, bands and all, unless the picture is to be
    // corrected to the screen's proportions.
    const RECT& pictureOrWhole = aspectCorrect ? m_rcPicture : m_rcSurface;
    if (m_bOverlay) {
        if (fullScreenActive)
            m_pSurface->UpdateOverlay(pictureOrWhole, *m_pPrimary, m_rcScreen, DDOVER_SHOW);
        else
            m_pSurface->UpdateOverlay(m_rcPicture, *m_pPrimary, clientScreen,
                                      DDOVER_SHOW | DDOVER_KEYDEST);
    } else {
        if (fullScreenActive)
            m_pPrimary->Blt(m_rcScreen, *m_pSurface, pictureOrWhole, 0);
        else
            m_pPrimary->Blt(clientScreen, *m_pSurface, m_rcPicture, 0);
    }
}

void DirectDrawBackEnd::DetachClipper() {
    if (Blitting()) m_pPrimary->SetClipper(nullptr);
}

bool DirectDrawBackEnd::AttachClipper() {
    if (!Blitting()) return false;
    m_pPrimary->SetClipper(m_pClipper.get());
    return true;
}

void DirectDrawBackEnd::Release() {
    m_pSurface.reset();
    m_pClipper.reset();
    m_pPrimary.reset();
    m_pDirectDraw.reset();
    m_bOverlay = false;
}
