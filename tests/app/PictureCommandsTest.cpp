#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>

#include "OffscreenApp.h"
#include "app/PictureCommands.h"
#include "moviemaker/MovieMaker.h"
#include "support/TempDir.h"
#include "support/TestDocument.h"

// The picture a user keeps: the frame on screen, upright, in its own colours, at the
// movie's size or corrected to 4:3, written whole or not at all.
namespace {

class PictureCommandsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureOffscreenApp(); }
    void Open(int width, int height) {
        moviemaker::MovieSpec spec;
        spec.width = width;
        spec.height = height;
        spec.frames = 20;
        spec.sound = moviemaker::SoundKind::kNone;
        ASSERT_TRUE(moviemaker::MakeMovie(spec, dir.File("movie.avi")).Ok());
        ASSERT_TRUE(t.doc.OpenMovie(dir.File("movie.avi")));
        t.doc.Seek(13);
    }
    TempDir dir;
    TestDocument t;
};

TEST_F(PictureCommandsTest, TheFrameOnScreenUprightAtTheMoviesSizeOrCorrected) {
    EXPECT_TRUE(CurrentPicture(t.doc, false).isNull()) << "no movie, no picture";
    Open(64, 48);
    const QImage picture = CurrentPicture(t.doc, false);
    ASSERT_EQ(picture.size(), QSize(64, 48));
    // The slot is bottom-up blue, green, red: its first bytes are the bottom-left pixel.
    const uint8_t* bottomLeft = t.doc.m_pCurrentImage;
    const uint8_t* topRight = t.doc.m_pCurrentImage + (47 * 64 + 63) * 3;
    EXPECT_EQ(picture.pixel(0, 47), qRgb(bottomLeft[2], bottomLeft[1], bottomLeft[0]));
    EXPECT_EQ(picture.pixel(63, 0), qRgb(topRight[2], topRight[1], topRight[0]));
    EXPECT_EQ(CurrentPicture(t.doc, true).size(), QSize(64, 48)) << "4:3 already";

    t.doc.CloseMovie();
    Open(64, 64);
    EXPECT_EQ(CurrentPicture(t.doc, true).size(), QSize(85, 64));
    EXPECT_EQ(CurrentPicture(t.doc, false).size(), QSize(64, 64));
}

TEST_F(PictureCommandsTest, SavedAsPngWholeOrNotAtAll) {
    Open(64, 48);
    const QImage picture = CurrentPicture(t.doc, false);
    const QString path = QString::fromStdString(dir.File("frame.png"));
    EXPECT_EQ(SavePicture(picture, path), QString());
    QImage back(path, "png");
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB888), picture);

    const QString refused = QString::fromStdString(dir.File("missing/frame.png"));
    const QString error = SavePicture(picture, refused);
    EXPECT_TRUE(error.startsWith(refused)) << error.toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
    // Nothing but the one picture is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

}  // namespace
