#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "movie/AviReader.h"
#include "movie/AviRecords.h"
#include "platform/MessageBox.h"
#include "truemotion/TrueMotionDecoder.h"

// The one object through which the program reaches a movie file: it accepts only
// TrueMotion video, owns the decoder and its buffers for the open file, and serves
// "read and decode frame N" and "read and decode the next audio chunk".
//
// Not thread-safe: it keeps read positions and decoder state, so the owner uses it
// from one thread at a time (the playback timer while playing, the caller otherwise).
class CDuckMovie {
public:
    // `messages` shows the memory message; it must outlive the movie.
    explicit CDuckMovie(platform::IMessageBox& messages);
    ~CDuckMovie();
    CDuckMovie(const CDuckMovie&) = delete;
    CDuckMovie& operator=(const CDuckMovie&) = delete;

    // 1 when the file is open with usable video (sound may be absent), 0 otherwise.
    int Open(std::string path);
    // The same for a file image in memory (the movie keeps its own copy); no path.
    int OpenMemory(std::span<const uint8_t> image);
    void Close();

    // Decodes frame `index` into `image` (m_nWidth × m_nHeight, 3 bytes a pixel, bottom
    // row first). -1 when nothing could be read, 0 when the frame was rejected, else 1.
    //
    // `previous` is the caller's word that this bitmap (`image` itself, or another) holds
    // the frame this movie decoded last, unchanged since. It counts only when that frame
    // was decoded into `previous`, is frame `index` − 1, and no open, close or failed read
    // came between; a delta frame then starts from it and writes only what changed.
    // Otherwise, and without `previous`, the whole picture is written.
    int ReadFrame(uint32_t index, uint8_t* image, const uint8_t* previous = nullptr);
    // Decodes the next audio chunk into `dst` (GetAudioChunkSize bytes): the bytes of
    // PCM written, 0 at the end, on a read failure or without sound.
    uint32_t ReadAudio(uint8_t* dst);
    void RewindAudio();
    // The next audio sample (block) ReadAudio reads.
    uint32_t GetAudioPosition() const { return m_nAudioPos; }

    // Seeking. Decoding may start at a key frame: the index's key flags are checked
    // against the frame headers when the file opens (a flag on a delta frame is not
    // believed, a header that says key is key without a flag), and headers that had no
    // time then are read when a seek needs them.
    //
    // The frame at or before `frame` from which decoding can start: the nearest key
    // frame, or 0, where decoding starts from the state the movie opened with.
    uint32_t FindKeyFrame(uint32_t frame);
    // Leaves in `image` what decoding every frame in order up to `frame` would leave
    // there: decodes from the key frame at or before it (or on from the last frame
    // read, when that is nearer) without writing the pictures between, then writes the
    // target's. Result as ReadFrame's for `frame`; -1 past the end. Allocates nothing.
    int SeekFrame(uint32_t frame, uint8_t* image);
    // Makes ReadAudio go on with the sound from `frame`'s start: PCM from that sample,
    // ADPCM from the block that holds it (blocks decode on their own) with the samples
    // before it left out. At or past the end of the sound, ReadAudio gives 0.
    void SeekAudio(uint32_t frame);
    // The sample frame of the sound at which video frame `frame` starts.
    uint64_t AudioSampleOfFrame(uint32_t frame) const;

    uint32_t GetFrameCount() const;
    int GetBitmapHeader(movie::BITMAPINFOHEADER* bmih) const;
    void GetWaveFormat(movie::WAVEFORMATEX* wfx) const;
    uint32_t GetRate() const;
    uint32_t GetScale() const;
    uint32_t GetAudioChunkSize() const;
    int GetSourceDepth() const;

    // Channels of the PCM that ReadAudio produces: a DK3 stream always decodes to two,
    // whatever its format declares. 0 without sound.
    uint16_t GetDecodedChannels() const;
    bool IsOpen() const { return m_pFile.has_value(); }
    // Why the last Open refused the file, in English, naming it ("x.avi: video is 'cvid',
    // not TrueMotion"); empty after a success.
    const std::string& GetOpenError() const { return m_strOpenError; }
    // The open file, so that a writer never writes over it; nothing when closed.
    std::optional<FileIdentity> GetFileIdentity() const;
    bool HasAudio() const { return m_pAudio >= 0; }
    const std::string& GetPath() const { return m_strPath; }
    const movie::AVISTREAMINFO& GetVideoInfo() const { return m_videoInfo; }
    const movie::AVISTREAMINFO& GetAudioInfo() const { return m_audioInfo; }

private:
    enum KeyState : uint8_t { kKeyUnknown, kKeyFrame, kNotKeyFrame };
    static constexpr uint32_t kNoDecodedFrame = UINT32_MAX;

    void BuildKeyIndex();
    KeyState KeyStateOf(uint32_t frame);
    uint32_t ReadAudioChunk(uint8_t* dst);
    int OpenReader(Result<movie::AviReader> file);
    // Notes why the file is refused; returns 0.
    int Refuse(const std::string& reason);
    int OpenVideo();
    void OpenAudio();
    void ReleaseVideo();

    platform::IMessageBox& m_messages;
    std::string m_strPath;
    std::string m_strOpenError;
    std::unique_ptr<uint8_t[]> m_pAudioWork;
    uint32_t m_nAudioWorkSize = 0;
    uint32_t m_nAudioPos = 0;
    truemotion::TrueMotionDecoder m_decoder;  // the decoder state and working images
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::unique_ptr<uint8_t[]> m_pFrameData;
    uint32_t m_nFrameDataSize = 0;
    movie::BITMAPINFOHEADER m_bmih;
    movie::AVISTREAMINFO m_videoInfo;
    movie::AVISTREAMINFO m_audioInfo;
    movie::AVIFILEINFO m_fileInfo;
    // The stored audio format: the wave format and the samples-per-block word that
    // ADPCM formats append.
    movie::WAVEFORMATEX m_wfx;
    uint16_t m_wSamplesPerBlock = 0;
    // The bitmap and number of the last frame decoded, for ReadFrame's `previous`; null
    // when there is none.
    const uint8_t* m_pLastImage = nullptr;
    uint32_t m_nLastFrame = 0;
    int m_pVideo = -1;  // stream numbers in m_pFile; -1 when absent
    int m_pAudio = -1;
    std::optional<movie::AviReader> m_pFile;
    // Per frame: whether decoding can start there (KeyState), filled at open and on demand.
    std::vector<uint8_t> m_keyIndex;
    // The frame whose decoding the working images wait for: one after the last frame
    // read in order, or kNoDecodedFrame when they hold no known frame's state.
    uint32_t m_nNextDecode = kNoDecodedFrame;
    int m_nLastResult = -1;  // ReadFrame's result for the frame before m_nNextDecode
    // Decoded bytes still to leave out after an audio seek into a block.
    uint32_t m_nAudioSkipBytes = 0;
};
