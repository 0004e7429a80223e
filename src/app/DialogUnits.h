#pragma once

#include <QFontMetrics>
#include <QRect>
#include <QWidget>

// Dialog layouts are given in dialog units: a quarter of the font's average character
// width across, an eighth of its height down.
inline QRect FromDialogUnits(const QWidget& dialog, int x, int y, int width, int height) {
    const QFontMetrics metrics(dialog.font());
    const int unitX = metrics.averageCharWidth(), unitY = metrics.height();
    return {x * unitX / 4, y * unitY / 8, width * unitX / 4, height * unitY / 8};
}
