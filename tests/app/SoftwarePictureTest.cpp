#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <vector>

#include "view/PictureDrawing.h"

// The software path turns the bottom-up blue-green-red bitmap upright and keeps every
// colour, at its own size and stretched.
namespace {

TEST(SoftwarePicture, DrawsTheBitmapUprightInItsOwnColours) {
    constexpr int kWidth = 8, kHeight = 4;
    std::vector<uint8_t> bitmap(kWidth * kHeight * 3);
    for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<uint8_t>(i * 7 + 3);
    SoftwarePicture picture;
    ASSERT_TRUE(picture.SetSize(kWidth, kHeight));
    for (const int scale : {1, 3}) {
        QImage target(kWidth * scale, kHeight * scale, QImage::Format_RGB32);
        target.fill(Qt::black);
        {
            QPainter painter(&target);
            picture.Draw(painter, bitmap.data(), target.rect());
        }
        for (int y = 0; y < target.height(); ++y)
            for (int x = 0; x < target.width(); ++x) {
                // Picture row 0 is the bitmap's last row.
                const uint8_t* bgr =
                    &bitmap[static_cast<size_t>((kHeight - 1 - y / scale) * kWidth + x / scale) *
                            3];
                ASSERT_EQ(target.pixel(x, y), qRgb(bgr[2], bgr[1], bgr[0]))
                    << x << "," << y << " at " << scale << "x";
            }
    }
    picture.Release();
    QImage untouched(4, 4, QImage::Format_RGB32);
    untouched.fill(Qt::black);
    {
        QPainter painter(&untouched);
        picture.Draw(painter, bitmap.data(), untouched.rect());
    }
    EXPECT_EQ(untouched.pixel(1, 1), qRgb(0, 0, 0)) << "a released picture draws nothing";
}

}  // namespace
