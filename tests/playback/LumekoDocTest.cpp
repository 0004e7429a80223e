#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "moviemaker/MovieMaker.h"
#include "playback/LumekoDoc.h"
#include "support/FileBytes.h"
#include "support/RecordingFrame.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"

namespace {

using moviemaker::MovieSpec;
using moviemaker::SoundKind;

class LumekoDocTest : public ::testing::Test {
protected:
    LumekoDocTest() {
        doc.AttachFrame(&frame);
        doc.AttachView(&view);
    }

    std::string Make(int frames, SoundKind sound = SoundKind::kDk4Stereo,
                     const std::string& name = "movie.avi", uint32_t rate = 15) {
        MovieSpec spec;
        spec.width = 8;
        spec.height = 4;
        spec.frames = frames;
        spec.rate = rate;
        spec.keyEvery = 5;
        spec.sound = sound;
        const std::string path = dir.File(name);
        EXPECT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
        return path;
    }

    // Runs `ms` milliseconds of playback, an idle pass every `idleEveryMs`, and keeps
    // every picture shown.
    void Run(uint32_t ms, uint32_t idleEveryMs = 1) {
        services.RunFor(
            ms,
            [this] {
                if (doc.m_pCurrentImage) shown.insert(doc.m_pCurrentImage);
                return false;
            },
            idleEveryMs);
    }

    // The slot a frame is decoded into.
    const uint8_t* Slot(uint32_t index) const {
        return doc.m_pFrameSlot[index % CLumekoDoc::kFrameSlots];
    }

    TempDir dir;
    RecordingFrame frame;
    RecordingView view;
    TestDocument services{1000};
    platform::MemorySettings& settings = services.settings;
    ManualClock& clock = services.clock;
    SteppedTimer& timer = services.timer;
    RecordingWaveOut& wave = services.wave;
    RecordingMessageBox& messages = services.messages;
    CLumekoDoc& doc = services.doc;
    std::set<const uint8_t*> shown;
};

TEST(DocumentTiming, FollowsTheFileRateInFloat) {
    TempDir dir;
    RecordingFrame frame;
    TestDocument services;
    CLumekoDoc& doc = services.doc;
    doc.AttachFrame(&frame);
    MovieSpec spec;
    spec.width = 8;
    spec.height = 4;
    spec.frames = 900;
    spec.sound = SoundKind::kNone;
    ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("long.avi")).Ok());
    ASSERT_TRUE(doc.OpenMovie(dir.File("long.avi")));
    EXPECT_EQ(doc.m_nPeriod, 66u);
    EXPECT_EQ(doc.DueFrame(1000), 15u);
    EXPECT_EQ(doc.ReadAheadThreshold(25), 1000u);
    EXPECT_EQ(frame.panes[2], " 1: 0");
    EXPECT_EQ(frame.title, "long.avi");
    EXPECT_EQ(CLumekoDoc::TimeText(75), " 1:15");
    EXPECT_EQ(CLumekoDoc::TimeText(5), " 0: 5");
    EXPECT_EQ(CLumekoDoc::TimeText(3600), "60: 0");
}

TEST_F(LumekoDocTest, PlaysToTheEndAndShowsFrameZero) {
    doc.m_pendingFiles.push_back(Make(30));
    doc.IdleProcess(0);
    ASSERT_TRUE(doc.m_bOpen);
    EXPECT_FALSE(doc.m_bPlaying) << "without auto-play a movie waits at frame 0";
    Run(200);
    EXPECT_FALSE(doc.m_bPlaying);
    EXPECT_EQ(doc.m_pCurrentImage, Slot(0));

    doc.OnPlay();
    ASSERT_TRUE(doc.m_bPlaying);
    EXPECT_EQ(wave.format.wFormatTag, 1);
    EXPECT_EQ(wave.format.wBitsPerSample, 16);
    EXPECT_EQ(wave.format.nBlockAlign, 4);
    EXPECT_EQ(wave.format.nAvgBytesPerSec, 88200u);
    Run(1000);
    EXPECT_EQ(frame.panes[1], " 0: 1");
    Run(1100);
    EXPECT_FALSE(doc.m_bPlaying);
    EXPECT_TRUE(doc.m_bFinished);
    EXPECT_EQ(doc.m_pCurrentImage, Slot(0));
    EXPECT_EQ(frame.panes[1], " 0: 0");
    EXPECT_FALSE(wave.open);
    EXPECT_EQ(shown.size(), size_t{CLumekoDoc::kFrameSlots});
}

TEST_F(LumekoDocTest, FramesDueWhileTheInterfaceIsBusyAreNeverShown) {
    doc.m_pendingFiles.push_back(Make(60));
    doc.m_bAutoPlay = true;
    doc.IdleProcess(0);
    doc.IdleProcess(0);
    ASSERT_TRUE(doc.m_bPlaying);
    Run(200);
    const auto before = doc.m_pCurrentImage;
    Run(500, 500);  // one idle pass after 500 ms
    EXPECT_EQ(doc.m_pCurrentImage,
              doc.m_pShownImage[doc.DueFrame(clock.timeGetTime() - doc.m_dwStartTime) % 16].load());
    EXPECT_NE(doc.m_pCurrentImage, before);
}

TEST_F(LumekoDocTest, PauseFreezesClockAndSound) {
    doc.m_pendingFiles.push_back(Make(60));
    doc.IdleProcess(0);
    doc.OnPlay();
    Run(1000);
    const uint32_t due = doc.DueFrame(clock.timeGetTime() - doc.m_dwStartTime);
    doc.OnPause();
    EXPECT_TRUE(wave.paused);
    const size_t played = wave.playedBytes.size();
    Run(10000);
    EXPECT_EQ(wave.playedBytes.size(), played);
    doc.OnPause();
    EXPECT_FALSE(wave.paused);
    EXPECT_EQ(doc.DueFrame(clock.timeGetTime() - doc.m_dwStartTime), due);
    Run(10);
    EXPECT_EQ(frame.panes[1], " 0: 1");
}

TEST_F(LumekoDocTest, LoopRestartsWithTheSoundFromTheStart) {
    settings.WriteProfileInt("Lumeko", "loop", 1);
    CLumekoDoc looping{{settings, clock, timer, wave, messages}};
    looping.m_pendingFiles.push_back(Make(20));
    looping.IdleProcess(0);
    looping.OnPlay();
    ASSERT_EQ(looping.m_bLoop, 1);
    // The fixture's document stays stopped; the services play for this one.
    for (int i = 0; i < 1500; ++i) {
        services.Step();
        looping.IdleProcess(0);
    }
    EXPECT_TRUE(looping.m_bPlaying);
    EXPECT_EQ(wave.opens, 2);
    EXPECT_GE(wave.resets, 1);
    looping.OnLoop();
    EXPECT_EQ(looping.m_bLoop, 0);
}

TEST_F(LumekoDocTest, PlayAndCloseRunTheQueueThenAskToClose) {
    doc.m_bAutoPlay = doc.m_bCloseWhenDone = true;
    doc.m_pendingFiles = {Make(12, SoundKind::kPcm16, "a.avi"), dir.File("missing.avi"),
                          Make(8, SoundKind::kNone, "b.avi")};
    std::vector<std::string> titles;
    for (int i = 0; i < 5000 && frame.closeRequests == 0; ++i) {
        Run(1);
        if (titles.empty() || titles.back() != frame.title) titles.push_back(frame.title);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"a.avi", "b.avi"}));
    EXPECT_EQ(frame.closeRequests, 1);
    EXPECT_FALSE(doc.m_bOpen);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LumekoDocTest, StopCancelsClosingAndTheNextFileStillPlays) {
    doc.m_bAutoPlay = doc.m_bCloseWhenDone = true;
    doc.m_pendingFiles = {Make(40, SoundKind::kDk4Stereo, "a.avi"),
                          Make(8, SoundKind::kNone, "b.avi")};
    Run(300);
    ASSERT_TRUE(doc.m_bPlaying);
    doc.OnStop();
    EXPECT_TRUE(wave.queue.empty()) << "Stop cuts the queued sound at once";
    EXPECT_FALSE(doc.m_bCloseWhenDone);
    Run(3000);
    EXPECT_EQ(frame.title, "b.avi");
    EXPECT_TRUE(doc.m_bFinished);
    EXPECT_EQ(frame.closeRequests, 0);
}

TEST_F(LumekoDocTest, ShortSoundQueuesOnlyItsChunks) {
    // 4 frames at 15 fps with chunks of two frames: 2 chunks... and no more writes.
    doc.m_pendingFiles.push_back(Make(4, SoundKind::kPcm16));
    doc.IdleProcess(0);
    doc.OnPlay();
    const int initial = wave.writes;
    EXPECT_EQ(initial, static_cast<int>(wave.queue.size()));
    EXPECT_LT(initial, CLumekoDoc::kWaveBuffers);
    Run(1000);
    EXPECT_EQ(wave.writes, initial);
    EXPECT_FALSE(doc.m_bPlaying) << "a movie shorter than the read-ahead ends";
}

TEST_F(LumekoDocTest, NoDevicePlaysSilentlyAtNormalSpeed) {
    wave.refuseOpen = true;
    doc.m_pendingFiles.push_back(Make(15));
    doc.IdleProcess(0);
    doc.OnPlay();
    Run(900);
    EXPECT_TRUE(doc.m_bPlaying);
    Run(200);
    EXPECT_FALSE(doc.m_bPlaying);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(LumekoDocTest, DkThreeDeclaredMonoPlaysAsStereo) {
    auto bytes = ReadFileBytes(Make(10, SoundKind::kDk3));
    const size_t strf = FindBytes(bytes, "strf", FindBytes(bytes, "auds"));
    bytes[strf + 8 + 2] = 1;  // channels
    WriteFileBytes(dir.File("mono3.avi"), bytes);
    doc.m_pendingFiles.push_back(dir.File("mono3.avi"));
    doc.IdleProcess(0);
    doc.OnPlay();
    EXPECT_EQ(wave.format.nChannels, 2);
    EXPECT_EQ(wave.format.nAvgBytesPerSec, 22050u * 4);
}

// Sound and picture keep together: the sound played stays within a frame of the due
// frame over a long run.
TEST_F(LumekoDocTest, SoundFollowsThePicture) {
    doc.m_pendingFiles.push_back(Make(300));
    doc.IdleProcess(0);
    doc.OnPlay();
    for (int second = 1; second <= 19; ++second) {
        Run(1000);
        const double soundSeconds = wave.playedBytes.size() / 88200.0;
        const double pictureSeconds = doc.DueFrame(clock.timeGetTime() - doc.m_dwStartTime) / 15.0;
        EXPECT_NEAR(soundSeconds, pictureSeconds, 1 / 15.0 + 0.01) << second;
    }
}

// Seeking. The pictures and sound a seek must give are those of decoding in order.
class SeekDocTest : public LumekoDocTest {
protected:
    static constexpr size_t kPictureBytes = 32 * 16 * 3;
    void OpenMovie(int frames) {
        // Big enough for every frame's picture to differ from the others.
        MovieSpec spec;
        spec.width = 32;
        spec.height = 16;
        spec.frames = frames;
        spec.keyEvery = 7;
        m_path = dir.File("seek.avi");
        ASSERT_TRUE(moviemaker::MakeMovie(spec, m_path).Ok());
        doc.m_pendingFiles.push_back(m_path);
        doc.IdleProcess(0);
        ASSERT_TRUE(doc.m_bOpen);
        CDuckMovie reference(messages);
        ASSERT_EQ(reference.Open(m_path), 1);
        std::vector<uint8_t> picture(kPictureBytes);
        for (uint32_t i = 0; i < reference.GetFrameCount(); ++i) {
            reference.ReadFrame(i, picture.data());
            m_pictures.push_back(picture);
        }
        ASSERT_NE(m_pictures[12], m_pictures[13]);
        std::vector<uint8_t> chunk(reference.GetAudioChunkSize());
        while (const uint32_t bytes = reference.ReadAudio(chunk.data()))
            m_sound.insert(m_sound.end(), chunk.begin(), chunk.begin() + bytes);
    }
    std::vector<uint8_t> Shown() const {
        return {doc.m_pCurrentImage, doc.m_pCurrentImage + kPictureBytes};
    }
    uint32_t Due() { return doc.DueFrame(clock.timeGetTime() - doc.m_dwStartTime); }
    // The next `bytes` bytes the device plays must be the movie's sound from `frame`'s start.
    void ExpectSoundFrom(uint32_t target, size_t bytes) {
        const size_t before = wave.playedBytes.size();
        const bool paused = wave.paused;
        wave.paused = false;
        wave.Consume(bytes);
        wave.paused = paused;
        const size_t from = static_cast<size_t>(target) * 22050 / 15 * 4;
        ASSERT_EQ(wave.playedBytes.size() - before, bytes);
        EXPECT_TRUE(std::equal(wave.playedBytes.begin() + static_cast<std::ptrdiff_t>(before),
                               wave.playedBytes.end(),
                               m_sound.begin() + static_cast<std::ptrdiff_t>(from)))
            << "sound after a seek to frame " << target;
    }

    std::string m_path;
    std::vector<std::vector<uint8_t>> m_pictures;
    std::vector<uint8_t> m_sound;
};

TEST_F(SeekDocTest, WhilePlayingGoesOnFromTheTargetWithItsSound) {
    OpenMovie(90);
    doc.OnPlay();
    Run(500);
    for (const uint32_t target : {61u, 12u, 13u, 47u}) {
        doc.Seek(target);
        EXPECT_TRUE(doc.m_bPlaying);
        EXPECT_EQ(Due(), target);
        EXPECT_EQ(doc.CurrentFrame(), target);
        EXPECT_EQ(Shown(), m_pictures[target]) << target;
        ExpectSoundFrom(target, 4000);
        // Playback goes on from there, the frames in order.
        Run(400);
        const uint32_t due = Due();
        EXPECT_GE(due, target + 5);
        EXPECT_EQ(Shown(), m_pictures[due]) << "frame " << due << " after a seek to " << target;
    }
    EXPECT_EQ(wave.misuses, 0);
    Run(4000);
    EXPECT_FALSE(doc.m_bPlaying) << "the movie still ends";
}

TEST_F(SeekDocTest, WhilePausedShowsTheTargetAndResumesFromIt) {
    OpenMovie(90);
    doc.OnPlay();
    Run(300);
    doc.OnPause();
    Run(2000);
    doc.Seek(70);
    EXPECT_TRUE(doc.m_bPaused);
    EXPECT_TRUE(wave.paused);
    EXPECT_EQ(Shown(), m_pictures[70]);
    EXPECT_EQ(frame.panes[1], " 0: 4");
    Run(1000);
    EXPECT_EQ(Shown(), m_pictures[70]) << "paused, the picture stays";
    doc.OnPause();
    EXPECT_EQ(Due(), 70u);
    ExpectSoundFrom(70, 2000);
    Run(200);
    EXPECT_EQ(Shown(), m_pictures[Due()]);
    EXPECT_GT(Due(), 70u);
}

TEST_F(SeekDocTest, WhileStoppedWaitsPausedAtTheTarget) {
    OpenMovie(90);
    doc.Seek(33);
    EXPECT_TRUE(doc.m_bPlaying);
    EXPECT_TRUE(doc.m_bPaused);
    EXPECT_EQ(Shown(), m_pictures[33]);
    Run(500);
    EXPECT_EQ(Shown(), m_pictures[33]);
    doc.OnPause();
    ExpectSoundFrom(33, 2000);
    Run(300);
    EXPECT_EQ(Shown(), m_pictures[Due()]);
    EXPECT_GT(Due(), 33u);
}

TEST_F(SeekDocTest, AtAndPastTheLastFrameTheMovieEnds) {
    OpenMovie(40);
    for (const uint32_t target : {39u, 40u, 1000u}) {
        doc.OnPlay();
        Run(100);
        doc.Seek(target);
        EXPECT_EQ(Shown(), m_pictures[39]) << target;
        EXPECT_EQ(doc.CurrentFrame(), 39u);
        Run(200);
        EXPECT_FALSE(doc.m_bPlaying) << target;
        EXPECT_TRUE(doc.m_bFinished);
        EXPECT_EQ(Shown(), m_pictures[0]);
    }
}

TEST_F(SeekDocTest, WithLoopOnTheEndStartsAgainFromFrameZero) {
    OpenMovie(40);
    doc.OnLoop();
    doc.OnPlay();
    Run(100);
    doc.Seek(38);
    Run(300);
    EXPECT_TRUE(doc.m_bPlaying);
    EXPECT_LT(Due(), 10u);
    EXPECT_EQ(Shown(), m_pictures[Due()]);
    doc.OnLoop();
}

TEST_F(SeekDocTest, VolumeScalesTheSoundAndIsKept) {
    OpenMovie(30);
    doc.SetVolume(50);
    doc.OnPlay();
    wave.Consume(4000);
    for (size_t i = 0; i < 2000; i += 2) {
        const auto played =
            static_cast<int16_t>(wave.playedBytes[i] | wave.playedBytes[i + 1] << 8);
        const auto whole = static_cast<int16_t>(m_sound[i] | m_sound[i + 1] << 8);
        EXPECT_NEAR(played, whole / 2.0, 1.0) << i;
    }
    doc.SetMute(true);
    doc.Seek(10);
    const size_t before = wave.playedBytes.size();
    wave.Consume(4000);
    EXPECT_TRUE(std::all_of(wave.playedBytes.begin() + static_cast<std::ptrdiff_t>(before),
                            wave.playedBytes.end(), [](uint8_t b) { return b == 0; }));
    doc.SetVolume(500);
    EXPECT_EQ(doc.GetVolume(), CLumekoDoc::kMaxVolume);
    {
        CLumekoDoc other{{settings, clock, timer, wave, messages}};
        other.SetVolume(70);
    }
    CLumekoDoc reopened{{settings, clock, timer, wave, messages}};
    EXPECT_EQ(reopened.GetVolume(), 70);
    EXPECT_FALSE(reopened.IsMuted());
}

}  // namespace

#include "playback/FileInfo.h"

namespace {

TEST_F(LumekoDocTest, FileInformationTexts) {
    struct Case {
        int frames;
        SoundKind sound;
        truemotion::EncoderMode mode;
        const char *image, *type, *channels, *frameText, *time;
    };
    const Case cases[] = {
        {1500, SoundKind::kDk4Stereo, truemotion::EncoderMode::k24Bit, "24bpp", "0x61", "2", "1500",
         "1:40"},
        {975, SoundKind::kDk4Mono, truemotion::EncoderMode::k15Bit, "15bpp", "0x61", "1", "975",
         "1:5"},
        {30, SoundKind::kDk3, truemotion::EncoderMode::k24Bit, "24bpp", "0x62", "2", "30", "0:2"},
        {31, SoundKind::kPcm16, truemotion::EncoderMode::k15Bit, "15bpp", "0x1", "2", "31", "0:2"},
    };
    for (const Case& c : cases) {
        MovieSpec spec;
        spec.width = 8;
        spec.height = 4;
        spec.frames = c.frames;
        spec.keyEvery = 50;
        spec.sound = c.sound;
        spec.mode = c.mode;
        const std::string path = dir.File("info" + std::to_string(c.frames) + ".avi");
        ASSERT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
        doc.CloseMovie();
        ASSERT_TRUE(doc.OpenMovie(path));
        const FileInfoTexts t = MakeFileInfoTexts(doc);
        EXPECT_EQ(t.size, "8x4");
        EXPECT_EQ(t.audioRate, "22050Hz");
        EXPECT_EQ(t.type, c.type) << c.frames;
        EXPECT_EQ(t.channels, c.channels) << c.frames;
        EXPECT_EQ(t.frames, c.frameText);
        EXPECT_EQ(t.videoRate, "15.00fps");
        EXPECT_EQ(t.time, c.time) << c.frames;
        EXPECT_EQ(t.image, c.image) << c.frames;
    }
}

}  // namespace
