#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/DirectDraw.h"

// A surface service that writes every call into one log, can claim overlay support,
// and fails the call named in `failAt` ("DirectDrawCreate", "SetCooperativeLevel",
// "QueryInterface", "CreateSurface primary", "CreateClipper", "SetHWnd", "SetClipper",
// "CreateSurface picture", "Lock"). It counts the interfaces alive, so a test sees that
// everything obtained was released.
struct RecordingDirectDrawState {
    int screenWidth = 640, screenHeight = 480;
    bool offersOverlay = false;
    std::string failAt;
    int bitsPerPixel = 32;
    std::array<uint8_t, 4> pixelBytes{0xFF, 0x00, 0xFF, 0x00};

    std::vector<std::string> log;
    std::vector<platform::DDSURFACEDESC> pictureDescs;  // every picture surface asked for
    int alive = 0;
    bool clipperAttached = false;
    std::vector<uint8_t> surfaceMemory;  // the picture surface's, as Lock gives it
    int32_t surfacePitch = 0;

    bool Call(const std::string& name) {
        log.push_back(name);
        return failAt != name;
    }
};

namespace recording_detail {

inline std::string Text(const platform::RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
           std::to_string(r.right) + "," + std::to_string(r.bottom) + ")";
}

class Alive {
public:
    Alive(RecordingDirectDrawState& state, std::string name)
        : m_state(state), m_name(std::move(name)) {
        ++m_state.alive;
    }
    ~Alive() {
        --m_state.alive;
        m_state.log.push_back("Release " + m_name);
    }
    Alive(const Alive&) = delete;
    Alive& operator=(const Alive&) = delete;

protected:
    RecordingDirectDrawState& m_state;
    std::string m_name;
};

class Clipper final : public platform::IDirectDrawClipper, Alive {
public:
    explicit Clipper(RecordingDirectDrawState& state) : Alive(state, "clipper") {}
    bool SetHWnd(uint32_t, platform::WindowHandle) override { return m_state.Call("SetHWnd"); }
};

class Surface final : public platform::IDirectDrawSurface, Alive {
public:
    Surface(RecordingDirectDrawState& state, std::string name, const platform::DDSURFACEDESC& desc)
        : Alive(state, std::move(name)), m_desc(desc) {}

    bool GetSurfaceDesc(platform::DDSURFACEDESC& desc) override {
        desc = m_desc;
        return true;
    }
    bool SetColorKey(uint32_t flags, const platform::DDCOLORKEY& key) override {
        m_state.log.push_back(
            "SetColorKey " +
            std::string(flags == platform::DDCKEY_DESTOVERLAY ? "DESTOVERLAY" : "DESTBLT") + " " +
            std::to_string(key.dwColorSpaceLowValue) + " " +
            std::to_string(key.dwColorSpaceHighValue));
        return true;
    }
    bool SetClipper(platform::IDirectDrawClipper* clipper) override {
        if (!m_state.Call(clipper ? "SetClipper" : "SetClipper none")) return false;
        m_state.clipperAttached = clipper != nullptr;
        return true;
    }
    bool Lock(const platform::RECT* rect, platform::DDSURFACEDESC& desc, uint32_t) override {
        if (!m_state.Call("Lock " + (rect ? Text(*rect) : std::string("whole")))) return false;
        desc = m_desc;
        desc.lPitch = m_state.surfacePitch;
        desc.lpSurface = m_state.surfaceMemory.data();
        return true;
    }
    bool Unlock() override { return m_state.Call("Unlock"); }
    bool StretchDIBits(const platform::RECT& dest, const BITMAPINFOHEADER& header,
                       const uint8_t*) override {
        return m_state.Call("StretchDIBits " + Text(dest) + " " + std::to_string(header.biWidth) +
                            "x" + std::to_string(header.biHeight));
    }
    bool UpdateOverlay(const platform::RECT& source, platform::IDirectDrawSurface&,
                       const platform::RECT& destRect, uint32_t flags) override {
        return m_state.Call("UpdateOverlay " + Text(source) + " " + Text(destRect) + " " +
                            std::to_string(flags));
    }
    bool Blt(const platform::RECT& destRect, platform::IDirectDrawSurface&,
             const platform::RECT& sourceRect, uint32_t flags) override {
        return m_state.Call("Blt " + Text(destRect) + " " + Text(sourceRect) + " " +
                            std::to_string(flags));
    }

private:
    platform::DDSURFACEDESC m_desc;
};

class DirectDraw2 final : public platform::IDirectDraw2, Alive {
public:
    explicit DirectDraw2(RecordingDirectDrawState& state) : Alive(state, "DirectDraw") {}

    std::unique_ptr<platform::IDirectDrawSurface> CreateSurface(
        const platform::DDSURFACEDESC& desc) override {
        if (desc.dwCaps & platform::DDSCAPS_PRIMARYSURFACE) {
            if (!m_state.Call("CreateSurface primary")) return nullptr;
            platform::DDSURFACEDESC screen = desc;
            screen.dwWidth = static_cast<uint32_t>(m_state.screenWidth);
            screen.dwHeight = static_cast<uint32_t>(m_state.screenHeight);
            return std::make_unique<Surface>(m_state, "primary", screen);
        }
        m_state.pictureDescs.push_back(desc);
        if (!m_state.Call("CreateSurface picture")) return nullptr;
        if ((desc.dwCaps & platform::DDSCAPS_OVERLAY) && !m_state.offersOverlay) return nullptr;
        const uint32_t bits = desc.dwFlags & platform::DDSD_PIXELFORMAT
                                  ? desc.ddpfPixelFormat.dwRGBBitCount
                                  : static_cast<uint32_t>(m_state.bitsPerPixel);
        m_state.surfacePitch = static_cast<int32_t>(desc.dwWidth * bits / 8);
        m_state.surfaceMemory.assign(static_cast<size_t>(m_state.surfacePitch) * desc.dwHeight,
                                     0xAA);
        return std::make_unique<Surface>(m_state, "surface", desc);
    }
    std::unique_ptr<platform::IDirectDrawClipper> CreateClipper(uint32_t) override {
        if (!m_state.Call("CreateClipper")) return nullptr;
        return std::make_unique<Clipper>(m_state);
    }
};

class DirectDraw final : public platform::IDirectDraw, Alive {
public:
    explicit DirectDraw(RecordingDirectDrawState& state) : Alive(state, "object") {}
    bool SetCooperativeLevel(platform::WindowHandle, uint32_t flags) override {
        return flags == platform::DDSCL_NORMAL && m_state.Call("SetCooperativeLevel");
    }
    std::unique_ptr<platform::IDirectDraw2> QueryInterface() override {
        if (!m_state.Call("QueryInterface")) return nullptr;
        return std::make_unique<DirectDraw2>(m_state);
    }
};

}  // namespace recording_detail

class RecordingDirectDraw final : public platform::IDirectDrawProvider {
public:
    std::unique_ptr<platform::IDirectDraw> DirectDrawCreate() override {
        if (!state.Call("DirectDrawCreate")) return nullptr;
        return std::make_unique<recording_detail::DirectDraw>(state);
    }
    int GetDeviceBitsPerPixel(platform::WindowHandle) override { return state.bitsPerPixel; }
    std::array<uint8_t, 4> GetPixelBytes(platform::WindowHandle, uint32_t) override {
        return state.pixelBytes;
    }

    RecordingDirectDrawState state;
};
