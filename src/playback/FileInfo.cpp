#include "playback/FileInfo.h"

#include <cstdio>

#include "playback/LumekoDoc.h"

namespace {
template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[64];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}
}  // namespace

FileInfoTexts MakeFileInfoTexts(CLumekoDoc& doc) {
    movie::BITMAPINFOHEADER bmih;
    doc.m_movie.GetBitmapHeader(&bmih);
    movie::WAVEFORMATEX wfx;
    doc.m_movie.GetWaveFormat(&wfx);
    const uint32_t frames = doc.m_movie.GetFrameCount();
    const int t = static_cast<int>(doc.RunningSeconds());
    FileInfoTexts texts;
    texts.size = Format("%dx%d", bmih.biWidth, bmih.biHeight);
    texts.audioRate = Format("%dHz", static_cast<int>(wfx.nSamplesPerSec));
    texts.type = Format("0x%x", static_cast<unsigned>(wfx.wFormatTag));
    texts.channels = Format("%d", static_cast<int>(wfx.nChannels));
    texts.frames = Format("%d", static_cast<int>(frames));
    texts.image = Format("%dbpp", doc.m_movie.GetSourceDepth());
    texts.videoRate = Format("%.2ffps", static_cast<double>(doc.m_fRate / doc.m_fScale));
    texts.time = Format("%d:%d", t / 60, t % 60);
    return texts;
}
