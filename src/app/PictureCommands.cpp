#include "app/PictureCommands.h"

#include <QImageWriter>
#include <QSaveFile>

#include "playback/LumekoDoc.h"
#include "view/SizeModes.h"

QImage CurrentPicture(const CLumekoDoc& doc, bool aspectCorrect) {
    movie::BITMAPINFOHEADER bmih;
    if (!doc.m_bOpen || !doc.m_pCurrentImage || !doc.m_movie.GetBitmapHeader(&bmih)) return {};
    const int width = bmih.biWidth, height = bmih.biHeight;
    // The slot is blue, green, red, bottom row first, rows of exactly 3 × width bytes.
    QImage picture(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = doc.m_pCurrentImage + static_cast<size_t>(height - 1 - y) * width * 3;
        uchar* dst = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            dst[3 * x] = src[3 * x + 2];
            dst[3 * x + 1] = src[3 * x + 1];
            dst[3 * x + 2] = src[3 * x];
        }
    }
    if (!aspectCorrect) return picture;
    const PictureSize corrected = CorrectedSize(width, height);
    if (corrected.width == width && corrected.height == height) return picture;
    return picture.scaled(corrected.width, corrected.height, Qt::IgnoreAspectRatio,
                          Qt::SmoothTransformation);
}

QString SavePicture(const QImage& picture, const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return path + ": " + file.errorString();
    QImageWriter writer(&file, "png");
    if (!writer.write(picture)) {
        file.cancelWriting();
        return path + ": " + writer.errorString();
    }
    if (!file.commit()) return path + ": " + file.errorString();
    return {};
}
