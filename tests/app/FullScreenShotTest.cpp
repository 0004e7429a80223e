#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "moviemaker/MovieMaker.h"
#include "support/TempDir.h"

// Plays a 320 x 224 movie full screen in the real player under a virtual 800 x 600
// display and looks at the screen: the picture spans the whole width between black
// bands of 20 lines above and below.
namespace {

struct Screenshot {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    bool Black(int x, int y) const {
        const size_t at =
            (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
        return rgb[at] < 8 && rgb[at + 1] < 8 && rgb[at + 2] < 8;
    }
    bool RowBlack(int y) const {
        for (int x = 2; x < width - 2; ++x)
            if (!Black(x, y)) return false;
        return true;
    }
};

// A binary PPM as ImageMagick writes it: "P6 W H 255" and the pixels.
Screenshot ReadPpm(const std::string& path) {
    Screenshot shot;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    in >> magic >> shot.width >> shot.height >> maximum;
    in.get();
    if (magic != "P6" || maximum != 255 || shot.width <= 0 || shot.height <= 0) return {};
    shot.rgb.resize(static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height) * 3);
    in.read(reinterpret_cast<char*>(shot.rgb.data()),
            static_cast<std::streamsize>(shot.rgb.size()));
    return in ? shot : Screenshot{};
}

TEST(PlayerFullScreen, PictureCoversTheScreenBetweenBlackBands) {
    if (std::system("command -v xvfb-run > /dev/null 2>&1 && command -v import > /dev/null 2>&1") !=
        0)
        GTEST_SKIP() << "xvfb-run or ImageMagick's import is not installed";
#ifdef LUMEKO_SANITIZED
    GTEST_SKIP() << "the player window runs in the plain build only";
#endif
    TempDir dir;
    // A copy of the player of its own, so its settings file and its shell endpoint are
    // this test's alone.
    const std::string player = dir.File("lumeko-fullscreen");
    std::filesystem::copy_file(LUMEKO_PLAYER, player);
    std::ofstream(player + ".ini") << "[Lumeko]\nFullScreen=1\n";
    moviemaker::MovieSpec spec;
    spec.width = 320;
    spec.height = 224;
    spec.frames = 150;
    spec.sound = moviemaker::SoundKind::kNone;
    const std::string movie = dir.File("wide.avi");
    ASSERT_TRUE(moviemaker::MakeMovie(spec, movie).Ok());
    const std::string shot = dir.File("shot.ppm");
    const std::string script = "'" + player + "' '" + movie +
                               "' /play & p=\\$!; sleep 3; import -window root -depth 8 '" + shot +
                               "'; kill \\$p; wait \\$p";
    const std::string command =
        "SDL_AUDIODRIVER=dummy timeout 60 xvfb-run -a -s '-screen 0 800x600x24' sh -c \"" + script +
        "\" > /dev/null 2>&1";
    std::system(command.c_str());
    const Screenshot screen = ReadPpm(shot);
    ASSERT_EQ(screen.width, 800);
    ASSERT_EQ(screen.height, 600);
    // The view's client area starts one pixel into the screen, under its sunken edge;
    // the picture lies at (0, 20)-(800, 580) inside it.
    for (int y : {2, 10, 19, 583, 590, 598}) EXPECT_TRUE(screen.RowBlack(y)) << "band row " << y;
    int pictureRows = 0;
    for (int y = 23; y < 578; ++y) pictureRows += screen.RowBlack(y) ? 0 : 1;
    EXPECT_EQ(pictureRows, 578 - 23);
    // The picture reaches both sides of the screen.
    int leftLit = 0, rightLit = 0;
    for (int y = 23; y < 578; ++y) {
        leftLit += screen.Black(2, y) ? 0 : 1;
        rightLit += screen.Black(797, y) ? 0 : 1;
    }
    EXPECT_GT(leftLit, 100);
    EXPECT_GT(rightLit, 100);
}

}  // namespace
