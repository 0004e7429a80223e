#include "view/PictureDrawing.h"

#include <QImage>
#include <QPainter>

void DrawDisplayBitmap(QPainter& painter, const uint8_t* pixels, int width, int height,
                       const QRect& destination) {
    if (!pixels || width <= 0 || height <= 0 || destination.isEmpty()) return;
    const QImage picture(pixels, width, height, width * 3, QImage::Format_BGR888);
    painter.save();
    // The first row in memory is the picture's bottom one: draw it upside down.
    painter.translate(destination.left(), destination.top() + destination.height());
    painter.scale(static_cast<double>(destination.width()) / width,
                  -static_cast<double>(destination.height()) / height);
    painter.drawImage(0, 0, picture);
    painter.restore();
}
