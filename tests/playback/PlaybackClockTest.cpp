#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "moviemaker/MovieMaker.h"
#include "playback/LumekoDoc.h"
#include "support/RecordingMessageBox.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"

// The playback clock against a device whose clock is not the system's: stalls of the
// timer's thread, a device running fast or slow or running dry, pauses, and the end of
// the sound. Time is the test's: one millisecond a step, the timer ticking at its
// period, the device playing its share, an idle pass every step.
namespace {

using moviemaker::MovieSpec;
using moviemaker::SoundKind;

class PlaybackClockTest : public ::testing::Test {
protected:
    PlaybackClockTest() : services(1000) {}

    std::string Make(int frames, uint32_t rate, uint32_t scale = 1,
                     SoundKind sound = SoundKind::kDk4Stereo, double soundSeconds = 0) {
        MovieSpec spec;
        spec.width = 8;
        spec.height = 4;
        spec.frames = frames;
        spec.rate = rate;
        spec.scale = scale;
        spec.keyEvery = 7;
        spec.sound = sound;
        spec.soundSeconds = soundSeconds;
        const std::string path = dir.File("movie" + std::to_string(++m_made) + ".avi");
        EXPECT_TRUE(moviemaker::MakeMovie(spec, path).Ok());
        return path;
    }

    void Play(const std::string& path) {
        ASSERT_TRUE(doc.OpenMovie(path));
        lastShown = CLumekoDoc::kNoFrame;
        wrongFrames = backwards = 0;
        m_heardBefore = wave.playedBytes.size();
        doc.OnPlay();
        ASSERT_TRUE(doc.m_bPlaying);
    }

    // One millisecond: the timer ticks unless stalled, the device plays (1 + drift) ms of
    // sound unless stalled, and an idle pass runs and is recorded.
    void Step() {
        clock.Advance(1);
        ++now;
        if (timer.running && now >= tickStallEnd && now % timer.period == 0) {
            const uint32_t before = doc.m_nNextFrame.load();
            clock.costPerRead = decodeCostMs;
            timer.Tick();
            clock.costPerRead = 0;
            mostPerTick = std::max(mostPerTick, doc.m_nNextFrame.load() - before);
        }
        if (wave.open && wave.format.nBlockAlign && now >= deviceStallEnd) {
            m_soundDebt += wave.format.nAvgBytesPerSec * (1 + drift) / 1000.0;
            const size_t whole = static_cast<size_t>(m_soundDebt) / wave.format.nBlockAlign *
                                 wave.format.nBlockAlign;
            m_soundDebt -= static_cast<double>(wave.Consume(whole));
            // A dry queue does not save sound up for later.
            if (m_soundDebt > wave.format.nBlockAlign) m_soundDebt = 0;
        }
        doc.IdleProcess(0);
        if (!doc.m_bPlaying) return;
        const uint32_t due = doc.DueFrame(doc.Elapsed());
        const uint32_t shown = doc.ShownFrame();
        if (shown != lastShown && shown != due) ++wrongFrames;
        if (shown != lastShown && lastShown != CLumekoDoc::kNoFrame && shown < lastShown)
            ++backwards;
        lastShown = shown;
    }
    void Run(uint32_t ms) {
        for (uint32_t i = 0; i < ms && doc.m_bPlaying; ++i) Step();
    }

    // Milliseconds of sound heard, and how far the picture on screen is from it (the
    // shown frame's start to its end is on time).
    double SoundMs() const {
        return static_cast<double>(wave.playedBytes.size() - m_heardBefore) * 1000.0 /
               wave.format.nAvgBytesPerSec;
    }
    double PictureOffsetMs() {
        const double start = doc.FrameStartMs(doc.ShownFrame());
        const double end = doc.FrameStartMs(doc.ShownFrame() + 1);
        const double sound = SoundMs();
        return sound < start ? sound - start : sound > end ? sound - end : 0;
    }
    uint32_t ReadAhead() { return doc.m_nNextFrame.load() - doc.DueFrame(doc.Elapsed()); }

    TempDir dir;
    TestDocument services;
    CLumekoDoc& doc = services.doc;
    ManualClock& clock = services.clock;
    SteppedTimer& timer = services.timer;
    RecordingWaveOut& wave = services.wave;
    uint32_t now = 0;
    uint32_t tickStallEnd = 0, deviceStallEnd = 0;
    double drift = 0;
    uint32_t decodeCostMs = 0;  // what the clock moves on each reading inside a tick
    uint32_t mostPerTick = 0;   // frames decoded by one tick at most
    int wrongFrames = 0, backwards = 0;
    uint32_t lastShown = CLumekoDoc::kNoFrame;

private:
    double m_soundDebt = 0;
    int m_made = 0;
    size_t m_heardBefore = 0;
};

// A stall of the timer's thread: within a second of its end the read-ahead and the sound
// queue are whole again, and no frame but the due one is ever put on screen.
TEST_F(PlaybackClockTest, AStallIsCaughtUpAndNoOldFrameIsShown) {
    struct Case {
        uint32_t rate, scale, stallMs;
    };
    const Case cases[] = {{10, 1, 200}, {10, 1, 1500}, {15, 1, 700},       {15, 1, 1500},
                          {25, 1, 200}, {25, 1, 700},  {30000, 1001, 700}, {30000, 1001, 1500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.rate << "/" << c.scale << " fps, stall " << c.stallMs << " ms");
        const double fps = static_cast<double>(c.rate) / c.scale;
        Play(Make(static_cast<int>(fps * 10), c.rate, c.scale));
        Run(2000);
        tickStallEnd = now + c.stallMs;
        Run(c.stallMs);
        Run(1000);
        EXPECT_GE(ReadAhead(), uint32_t{CLumekoDoc::kReadAhead});
        // Full but for a buffer the device may have returned since the last tick.
        EXPECT_GE(wave.queue.size(), size_t{CLumekoDoc::kWaveBuffers - 1});
        EXPECT_EQ(doc.ShownFrame(), doc.DueFrame(doc.Elapsed()));
        EXPECT_LE(std::abs(PictureOffsetMs()), 20.0);
        Run(1000);
        EXPECT_EQ(wrongFrames, 0);
        EXPECT_EQ(backwards, 0);
        EXPECT_EQ(wave.misuses, 0);
        doc.OnStop();
        doc.CloseMovie();
    }
}

// On a slow machine a tick decodes no longer than half a period, however far behind it
// is; the ticks after it finish the catching up.
TEST_F(PlaybackClockTest, CatchingUpKeepsToTheTickBudget) {
    Play(Make(25 * 8, 25));
    Run(2000);
    decodeCostMs = 7;  // 25 fps: a budget of 20 ms is three frames
    tickStallEnd = now + 1500;
    Run(1500);
    mostPerTick = 0;
    Run(1000);
    EXPECT_LE(mostPerTick, 3u);
    EXPECT_GE(ReadAhead(), uint32_t{CLumekoDoc::kReadAhead});
    EXPECT_EQ(doc.ShownFrame(), doc.DueFrame(doc.Elapsed()));
    EXPECT_EQ(wrongFrames, 0);
}

// The picture keeps to a device that runs fast or slow, and the movie ends with its
// sound rather than cutting it.
TEST_F(PlaybackClockTest, DriftKeepsThePictureOnTheSound) {
    for (const double d : {-0.005, -0.001, 0.001, 0.005}) {
        SCOPED_TRACE(d);
        drift = d;
        Play(Make(15 * 60, 15, 1, SoundKind::kPcm16));
        double worst = 0;
        while (doc.m_bPlaying) {
            Run(250);
            if (doc.m_bPlaying) worst = std::max(worst, std::abs(PictureOffsetMs()));
        }
        EXPECT_LE(worst, 20.0);
        EXPECT_NEAR(now, 60000 / (1 + d), 100);
        EXPECT_EQ(wrongFrames, 0);
        doc.CloseMovie();
        now = 0;
    }
}

// A stall longer than the queued sound: the device runs dry, the picture holds with it,
// and both go on together once the tick is back.
TEST_F(PlaybackClockTest, AnUnderrunHoldsBothAndTheyResumeTogether) {
    Play(Make(15 * 8, 15));
    Run(2000);
    tickStallEnd = now + 3000;
    Run(1500);  // the queue (about 1.3 s) is dry by now
    const size_t heard = wave.playedBytes.size();
    const uint32_t shown = doc.ShownFrame();
    Run(1400);
    EXPECT_EQ(wave.playedBytes.size(), heard);
    EXPECT_EQ(doc.ShownFrame(), shown);
    Run(1100);
    EXPECT_GT(wave.playedBytes.size(), heard);
    EXPECT_GT(doc.ShownFrame(), shown);
    EXPECT_LE(std::abs(PictureOffsetMs()), 20.0);
    EXPECT_EQ(wrongFrames, 0);
}

// Pauses of any length leave sound and picture together, and the elapsed text does not
// count them.
TEST_F(PlaybackClockTest, PausesKeepThemTogether) {
    Play(Make(15 * 10, 15));
    srand(7);
    for (int i = 0; i < 5; ++i) {
        Run(500 + static_cast<uint32_t>(rand() % 700));
        doc.OnPause();
        const size_t heard = wave.playedBytes.size();
        const uint32_t shown = doc.ShownFrame();
        Run(static_cast<uint32_t>(rand() % 3000));
        EXPECT_EQ(wave.playedBytes.size(), heard);
        EXPECT_EQ(doc.ShownFrame(), shown);
        doc.OnPause();
    }
    Run(300);
    EXPECT_LE(std::abs(PictureOffsetMs()), 20.0);
    EXPECT_EQ(wrongFrames, 0);
}

// When the sound ends before the picture, or there is no device clock, the millisecond
// clock takes over and the movie still ends on time; no time is lost at the hand-over.
TEST_F(PlaybackClockTest, WithoutTheSoundTheMillisecondClockServes) {
    struct Case {
        const char* name;
        SoundKind sound;
        double soundSeconds;
        bool refuseOpen, noPosition;
    };
    const Case cases[] = {{"sound ends at 2 s", SoundKind::kDk4Stereo, 2.0, false, false},
                          {"no sound", SoundKind::kNone, 0, false, false},
                          {"device refused", SoundKind::kDk4Stereo, 0, true, false},
                          {"device without a clock", SoundKind::kPcm16, 0, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wave.refuseOpen = c.refuseOpen;
        wave.noPosition = c.noPosition;
        Play(Make(15 * 4, 15, 1, c.sound, c.soundSeconds));
        uint32_t last = doc.Elapsed();
        uint32_t worstJump = 0;
        while (doc.m_bPlaying && now < 10000) {
            Step();
            if (!doc.m_bPlaying) break;
            const uint32_t elapsed = doc.Elapsed();
            worstJump = std::max(worstJump, elapsed - last);
            last = elapsed;
        }
        EXPECT_NEAR(now, 4000, 70);
        EXPECT_LE(worstJump, 25u) << "time runs on smoothly";
        EXPECT_EQ(wrongFrames, 0);
        doc.CloseMovie();
        now = 0;
    }
}

// A movie whose sound is one huge chunk is read a bounded piece at a time: small
// buffers, and the same sound as the movie with ordinary chunks.
TEST_F(PlaybackClockTest, OneHugeSoundChunkIsReadInPieces) {
    const auto decodeAll = [](const std::string& path, uint32_t& chunkSize) {
        RecordingMessageBox messages;
        CDuckMovie movie(messages);
        EXPECT_EQ(movie.Open(path), 1);
        chunkSize = movie.GetAudioChunkSize();
        std::vector<uint8_t> buffer(chunkSize), all;
        while (const uint32_t bytes = movie.ReadAudio(buffer.data()))
            all.insert(all.end(), buffer.data(), buffer.data() + bytes);
        return all;
    };
    for (const SoundKind kind :
         {SoundKind::kPcm16, SoundKind::kDk4Stereo, SoundKind::kDk4Mono, SoundKind::kDk3}) {
        SCOPED_TRACE(static_cast<int>(kind));
        MovieSpec spec;
        spec.width = 8;
        spec.height = 4;
        spec.frames = 15 * 40;
        spec.sound = kind;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("ordinary.avi")).Ok());
        spec.soundChunkSeconds = 100;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("huge.avi")).Ok());
        uint32_t ordinarySize = 0, hugeSize = 0;
        const auto ordinary = decodeAll(dir.File("ordinary.avi"), ordinarySize);
        const auto huge = decodeAll(dir.File("huge.avi"), hugeSize);
        EXPECT_GT(ordinary.size(), 40 * 22050u);
        EXPECT_TRUE(ordinary == huge);
        EXPECT_LE(hugeSize, 6 * 1024 * 1024 / 10) << "about a second of sound, not the 40 s chunk";
    }

    // The document plays all of it, in order.
    Play(dir.File("huge.avi"));
    EXPECT_LE(uint64_t{doc.m_nAudioBufferSize} * CLumekoDoc::kWaveBuffers, 6u * 1024 * 1024);
    Run(45000);
    EXPECT_FALSE(doc.m_bPlaying);
    uint32_t size = 0;
    const auto all = decodeAll(dir.File("huge.avi"), size);
    ASSERT_GE(wave.playedBytes.size(), all.size() - 88200);
    EXPECT_TRUE(std::equal(wave.playedBytes.begin(), wave.playedBytes.end(), all.begin()));
}

}  // namespace
