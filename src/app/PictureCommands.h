#pragma once

#include <QImage>
#include <QString>

class CLumekoDoc;

// The picture on screen as an image a user can keep: at the movie's own size, or
// corrected to the proportions of a 4:3 screen when that correction is on, as the view
// shows it. A null image when no movie is open.
QImage CurrentPicture(const CLumekoDoc& doc, bool aspectCorrect);

// Writes the picture as PNG, safely: into a temporary file beside `path`, renamed over
// it only when complete. An empty text on success, else what went wrong, naming the file.
QString SavePicture(const QImage& picture, const QString& path);
