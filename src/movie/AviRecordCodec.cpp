#include "movie/AviRecordCodec.h"

#include "base/ByteReader.h"
#include "base/ByteWriter.h"

namespace movie {

std::vector<uint8_t> SerializeWaveFormat(const WAVEFORMATEX& wfx) {
    ByteWriter w(kWaveFormatExBytes);
    w.U16(wfx.wFormatTag);
    w.U16(wfx.nChannels);
    w.U32(wfx.nSamplesPerSec);
    w.U32(wfx.nAvgBytesPerSec);
    w.U16(wfx.nBlockAlign);
    w.U16(wfx.wBitsPerSample);
    w.U16(wfx.cbSize);
    return w.Take();
}

bool ParseWaveFormat(std::span<const uint8_t> bytes, WAVEFORMATEX& wfx) {
    ByteReader r(bytes);
    wfx = WAVEFORMATEX{};
    wfx.wFormatTag = r.U16();
    wfx.nChannels = r.U16();
    wfx.nSamplesPerSec = r.U32();
    wfx.nAvgBytesPerSec = r.U32();
    wfx.nBlockAlign = r.U16();
    wfx.wBitsPerSample = r.U16();
    if (r.Failed()) return false;
    wfx.cbSize = r.Remaining() >= 2 ? r.U16() : 0;
    return true;
}

std::vector<uint8_t> SerializeBitmapInfoHeader(const BITMAPINFOHEADER& bmih) {
    ByteWriter w(kBitmapInfoHeaderBytes);
    w.U32(bmih.biSize);
    w.U32(static_cast<uint32_t>(bmih.biWidth));
    w.U32(static_cast<uint32_t>(bmih.biHeight));
    w.U16(bmih.biPlanes);
    w.U16(bmih.biBitCount);
    w.U32(bmih.biCompression);
    w.U32(bmih.biSizeImage);
    w.U32(static_cast<uint32_t>(bmih.biXPelsPerMeter));
    w.U32(static_cast<uint32_t>(bmih.biYPelsPerMeter));
    w.U32(bmih.biClrUsed);
    w.U32(bmih.biClrImportant);
    return w.Take();
}

std::vector<uint8_t> SerializeStreamHeader(const AVISTREAMINFO& info) {
    ByteWriter w(kStreamHeaderBytes);
    w.U32(info.fccType);
    w.U32(info.fccHandler);
    w.U32(info.dwFlags);
    w.U16(info.wPriority);
    w.U16(info.wLanguage);
    w.U32(info.dwInitialFrames);
    w.U32(info.dwScale);
    w.U32(info.dwRate);
    w.U32(info.dwStart);
    w.U32(info.dwLength);
    w.U32(info.dwSuggestedBufferSize);
    w.U32(info.dwQuality);
    w.U32(info.dwSampleSize);
    // The stored frame rectangle has 16-bit sides.
    w.U16(static_cast<uint16_t>(info.rcFrame.left));
    w.U16(static_cast<uint16_t>(info.rcFrame.top));
    w.U16(static_cast<uint16_t>(info.rcFrame.right));
    w.U16(static_cast<uint16_t>(info.rcFrame.bottom));
    return w.Take();
}

bool ParseStreamHeader(std::span<const uint8_t> bytes, AVISTREAMINFO& info) {
    // Old writers stop before the frame rectangle.
    constexpr size_t kWithoutFrame = 48;
    if (bytes.size() < kWithoutFrame) return false;
    ByteReader r(bytes);
    info.fccType = r.U32();
    info.fccHandler = r.U32();
    info.dwFlags = r.U32();
    info.wPriority = r.U16();
    info.wLanguage = r.U16();
    info.dwInitialFrames = r.U32();
    info.dwScale = r.U32();
    info.dwRate = r.U32();
    info.dwStart = r.U32();
    info.dwLength = r.U32();
    info.dwSuggestedBufferSize = r.U32();
    info.dwQuality = r.U32();
    info.dwSampleSize = r.U32();
    if (r.Remaining() >= 8) {
        info.rcFrame.left = r.S16();
        info.rcFrame.top = r.S16();
        info.rcFrame.right = r.S16();
        info.rcFrame.bottom = r.S16();
    }
    return true;
}

uint32_t SampleBytes(const AVISTREAMINFO& info, std::span<const uint8_t> format) {
    if (info.fccType != streamtypeAUDIO) return 0;
    // A format cut short after its block alignment still gives it.
    WAVEFORMATEX wfx;
    static_cast<void>(ParseWaveFormat(format, wfx));
    if (wfx.nBlockAlign) return wfx.nBlockAlign;
    return info.dwSampleSize ? info.dwSampleSize : 1;
}

}  // namespace movie
