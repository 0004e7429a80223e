#include "view/PictureDrawing.h"

#include <QPainter>

bool SoftwarePicture::SetSize(int width, int height) {
    if (width <= 0 || height <= 0) {
        m_image = QImage();
        return false;
    }
    if (m_image.width() != width || m_image.height() != height)
        m_image = QImage(width, height, QImage::Format_RGB32);
    return !m_image.isNull();
}

void SoftwarePicture::Draw(QPainter& painter, const uint8_t* pixels, const QRect& destination) {
    if (!pixels || m_image.isNull() || destination.isEmpty()) return;
    const int width = m_image.width(), height = m_image.height();
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        // The bitmap's first row is the picture's bottom one.
        const uint8_t* from = pixels + static_cast<size_t>(height - 1 - y) * stride;
        auto* to = reinterpret_cast<uint32_t*>(m_image.scanLine(y));
        for (int x = 0; x < width; ++x, from += 3)
            to[x] = 0xFF000000u | static_cast<uint32_t>(from[2]) << 16 |
                    static_cast<uint32_t>(from[1]) << 8 | from[0];
    }
    painter.drawImage(destination, m_image);
}
