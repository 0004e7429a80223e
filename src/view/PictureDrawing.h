#pragma once

#include <QImage>
#include <cstdint>

class QPainter;
class QRect;

// The software path's picture. A display bitmap (24-bit, blue-green-red, rows of
// 3 × width bytes stored bottom-up) is turned upright into 32-bit pixels before it is
// stretched: Qt's raster engine scales those on its fast path, while 24-bit pixels
// upside down take its slow general one, three times slower at 640 × 480 → 1920 × 1080.
// The buffer is made once per picture size, never per frame.
class SoftwarePicture {
public:
    // Makes the buffer for pictures of this size; false when there is no memory for it.
    bool SetSize(int width, int height);
    void Release() { m_image = QImage(); }
    // Draws the bitmap over `destination`, nearest-pixel unless the painter asks for
    // smooth transforms.
    void Draw(QPainter& painter, const uint8_t* pixels, const QRect& destination);

private:
    QImage m_image;
};
