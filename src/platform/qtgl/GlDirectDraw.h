#pragma once

#include "platform/DirectDraw.h"

// The surface service on OpenGL through Qt, for a view that is a QWidget (the window
// handle is the QWidget*). The primary surface is a GL window laid over the view; the
// picture surfaces are textures; a blit is a textured quad. It offers no overlay, so
// the view's back end blits. Where no GL context can be had (no GLX on the display, or
// a platform that shows no windows) DirectDrawCreate gives null.
class GlDirectDrawProvider final : public platform::IDirectDrawProvider {
public:
    std::unique_ptr<platform::IDirectDraw> DirectDrawCreate() override;
    int GetDeviceBitsPerPixel(platform::WindowHandle window) override;
    std::array<uint8_t, 4> GetPixelBytes(platform::WindowHandle window, uint32_t colorref) override;
};
