#pragma once

#include <cstdint>
#include <memory>

#include "platform/DirectDraw.h"

// Where the picture lies in a surface with the screen's proportions: the picture at
// its own size at the centre, black bands on the axis that has room to spare.
struct PictureSurfaceLayout {
    int surfaceWidth = 0;
    int surfaceHeight = 0;
    platform::RECT picture;
};
PictureSurfaceLayout LayoutPictureSurface(int width, int height, int screenWidth, int screenHeight);

class DirectDrawBackEndTestAccess;

// The view's surface back end: the display's surfaces, the clipper bound to the view
// and the picture surface, built for each movie. Either all four interfaces are held or
// none. Plain C++, so it runs on any implementation of the surface service.
class DirectDrawBackEnd {
public:
    // The colour the view erases with while an overlay is shown: its key colour.
    static constexpr uint32_t kOverlayKeyColor = 0x00FF00FF;  // RGB(255, 0, 255)

    explicit DirectDrawBackEnd(platform::IDirectDrawProvider* provider = nullptr)
        : m_pProvider(provider) {}
    ~DirectDrawBackEnd() { Release(); }
    DirectDrawBackEnd(const DirectDrawBackEnd&) = delete;
    DirectDrawBackEnd& operator=(const DirectDrawBackEnd&) = delete;

    void SetProvider(platform::IDirectDrawProvider* provider) { m_pProvider = provider; }

    // Builds the surfaces for a picture of the header's size in `view`; on any failure
    // releases what it obtained and returns false.
    bool InitDirectDraw(platform::WindowHandle view, const BITMAPINFOHEADER& header);
    // Zeroes the whole picture surface, so the bands outside the picture stay black.
    void ClearSurface();
    // Copies the picture into the surface 1:1 and shows the surface over the client
    // area, or over the screen while full screen is active.
    void Draw(const uint8_t* pixels, const BITMAPINFOHEADER& header,
              const platform::RECT& clientScreen, bool fullScreenActive, bool aspectCorrect);
    // Full screen blits over the whole screen, whatever windows lie there, so the
    // clipper is off the primary meanwhile. Both do nothing unless blitting.
    void DetachClipper();
    // True when it attached the clipper again: every window must then be repainted.
    bool AttachClipper();
    // Releases the surface, the clipper, the primary and the object, in that order.
    void Release();

    bool InUse() const { return m_pDirectDraw != nullptr; }
    bool Blitting() const { return InUse() && !m_bOverlay; }
    bool Overlay() const { return m_bOverlay; }
    uint32_t EraseColor() const { return m_bOverlay ? kOverlayKeyColor : 0; }
    const platform::RECT& Screen() const { return m_rcScreen; }

private:
    friend class DirectDrawBackEndTestAccess;

    void SetColorKeys(platform::WindowHandle view);
    bool CreatePictureSurface(int width, int height);

    platform::IDirectDrawProvider* m_pProvider = nullptr;
    bool m_bOverlay = false;
    std::unique_ptr<platform::IDirectDraw2> m_pDirectDraw;
    std::unique_ptr<platform::IDirectDrawClipper> m_pClipper;
    std::unique_ptr<platform::IDirectDrawSurface> m_pPrimary;
    std::unique_ptr<platform::IDirectDrawSurface> m_pSurface;
    platform::RECT m_rcScreen;
    platform::RECT m_rcSurface;
    platform::RECT m_rcPicture;
};
