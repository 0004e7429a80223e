#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "base/SystemRecords.h"

// Our own stand-in for the display's surface service: a primary surface that is the
// screen, a clipper bound to a window, picture surfaces made from a description, and
// the copy, overlay and blit calls the view's back end makes. Windowed sharing of the
// display only; nothing here changes the display mode. Every call comes from the
// user-interface thread. A call that fails returns false and changes nothing.

namespace platform {

using ::RECT;

// The window a clipper or the cooperative level is bound to, as the implementation
// knows it (for the Qt one, the view's QWidget).
using WindowHandle = void*;

inline constexpr uint32_t DDSCL_NORMAL = 0x00000008;

inline constexpr uint32_t DDSD_CAPS = 0x00000001;
inline constexpr uint32_t DDSD_HEIGHT = 0x00000002;
inline constexpr uint32_t DDSD_WIDTH = 0x00000004;
inline constexpr uint32_t DDSD_PITCH = 0x00000008;
inline constexpr uint32_t DDSD_PIXELFORMAT = 0x00001000;

inline constexpr uint32_t DDSCAPS_OFFSCREENPLAIN = 0x00000040;
inline constexpr uint32_t DDSCAPS_OVERLAY = 0x00000080;
inline constexpr uint32_t DDSCAPS_PRIMARYSURFACE = 0x00000200;
inline constexpr uint32_t DDSCAPS_VIDEOMEMORY = 0x00004000;

inline constexpr uint32_t DDPF_RGB = 0x00000040;

inline constexpr uint32_t DDCKEY_DESTBLT = 0x00000002;
inline constexpr uint32_t DDCKEY_DESTOVERLAY = 0x00000004;

inline constexpr uint32_t DDOVER_KEYDEST = 0x00000400;
inline constexpr uint32_t DDOVER_SHOW = 0x00004000;

struct DDPIXELFORMAT {
    uint32_t dwSize = 32;
    uint32_t dwFlags = 0;
    uint32_t dwFourCC = 0;
    uint32_t dwRGBBitCount = 0;
    uint32_t dwRBitMask = 0;
    uint32_t dwGBitMask = 0;
    uint32_t dwBBitMask = 0;
    uint32_t dwRGBAlphaBitMask = 0;
};

struct DDSURFACEDESC {
    uint32_t dwSize = 108;
    uint32_t dwFlags = 0;  // which of the fields below are given (DDSD_…)
    uint32_t dwHeight = 0;
    uint32_t dwWidth = 0;
    int32_t lPitch = 0;            // bytes from one row to the next; set by Lock
    uint8_t* lpSurface = nullptr;  // the first row's memory; set by Lock
    DDPIXELFORMAT ddpfPixelFormat;
    uint32_t dwCaps = 0;  // DDSCAPS_…
};

struct DDCOLORKEY {
    uint32_t dwColorSpaceLowValue = 0;
    uint32_t dwColorSpaceHighValue = 0;
};

// Releasing an interface is destroying it.
class IDirectDrawClipper {
public:
    virtual ~IDirectDrawClipper() = default;
    // Binds the clipper to a window: what is drawn through it stays inside that window.
    virtual bool SetHWnd(uint32_t flags, WindowHandle window) = 0;
};

class IDirectDrawSurface {
public:
    virtual ~IDirectDrawSurface() = default;
    virtual bool GetSurfaceDesc(DDSURFACEDESC& desc) = 0;
    virtual bool SetColorKey(uint32_t flags, const DDCOLORKEY& key) = 0;
    // Attaches a clipper to a primary surface, or detaches it with null. The surface
    // only notes the attachment: a clipper may be released while attached.
    virtual bool SetClipper(IDirectDrawClipper* clipper) = 0;
    // Gives the surface's memory in desc.lpSurface, with lPitch and dwHeight, until
    // Unlock. `rect` null means the whole surface.
    virtual bool Lock(const RECT* rect, DDSURFACEDESC& desc, uint32_t flags) = 0;
    virtual bool Unlock() = 0;
    // The surface's device context, StretchDIBits and its release in one call: draws the
    // 24-bit bottom-up bitmap over `dest`, whose size is the bitmap's (a 1:1 copy).
    virtual bool StretchDIBits(const RECT& dest, const BITMAPINFOHEADER& header,
                               const uint8_t* bits) = 0;
    // Shows this overlay surface's `source` part over `destRect` of the primary `dest`.
    virtual bool UpdateOverlay(const RECT& source, IDirectDrawSurface& dest, const RECT& destRect,
                               uint32_t flags) = 0;
    // Stretches `sourceRect` of `source` over `destRect` of this surface; a primary
    // surface's rectangles are in screen coordinates.
    virtual bool Blt(const RECT& destRect, IDirectDrawSurface& source, const RECT& sourceRect,
                     uint32_t flags) = 0;
};

class IDirectDraw2 {
public:
    virtual ~IDirectDraw2() = default;
    virtual std::unique_ptr<IDirectDrawSurface> CreateSurface(
        const DDSURFACEDESC& desc) = 0;  // null on failure
    virtual std::unique_ptr<IDirectDrawClipper> CreateClipper(
        uint32_t flags) = 0;  // null on failure
};

// The object DirectDrawCreate gives: it only sets the cooperative level and hands out
// the interface that does the rest, which lives on by itself once obtained.
class IDirectDraw {
public:
    virtual ~IDirectDraw() = default;
    virtual bool SetCooperativeLevel(WindowHandle window, uint32_t flags) = 0;
    virtual std::unique_ptr<IDirectDraw2> QueryInterface() = 0;  // null on failure
};

// The entry to the service, with the two questions of the display that find how it
// stores a colour (the colour-key probe).
class IDirectDrawProvider {
public:
    virtual ~IDirectDrawProvider() = default;
    // The object for the default display; null when there is none to be had.
    virtual std::unique_ptr<IDirectDraw> DirectDrawCreate() = 0;
    // The bits per pixel of the window's client device context.
    virtual int GetDeviceBitsPerPixel(WindowHandle window) = 0;
    // The first bytes of an 8 × 8 bitmap compatible with the window after its pixel
    // (0, 0) was set to `colorref` (0x00BBGGRR): the colour in the display's own format.
    virtual std::array<uint8_t, 4> GetPixelBytes(WindowHandle window, uint32_t colorref) = 0;
};

}  // namespace platform
