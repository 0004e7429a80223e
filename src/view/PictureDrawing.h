#pragma once

#include <cstdint>

class QPainter;
class QRect;

// The software path's stretch: draws a display bitmap (24-bit, blue-green-red, rows of
// 3 × width bytes stored bottom-up) over `destination`, wrapped in place without a copy.
// Nearest-pixel unless the painter asks for smooth transforms.
void DrawDisplayBitmap(QPainter& painter, const uint8_t* pixels, int width, int height,
                       const QRect& destination);
