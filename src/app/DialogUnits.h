#pragma once

#include <QFontMetricsF>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cmath>

// Dialog layouts are given in dialog units, measured as the platform's dialogs measure
// them: a quarter of the font's mean letter width (over A-Z and a-z) across, an eighth
// of its height down. A font whose letters run wider than the layout was drawn for gets
// a wider unit, so that every text fits its control and the layout keeps its proportions.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font) : m_metrics(font) {
        const double letters =
            m_metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_unitX = std::round(letters / 52) / 4;
        m_unitY = std::round(m_metrics.height()) / 8;
    }

    // Widens the horizontal unit until `text` fits in `width` dialog units.
    void FitText(const QString& text, int width) {
        if (width > 0) m_unitX = std::max(m_unitX, (m_metrics.horizontalAdvance(text) + 1) / width);
    }

    QRect Map(int x, int y, int width, int height) const {
        const auto across = [this](int units) {
            return static_cast<int>(std::lround(units * m_unitX));
        };
        const auto down = [this](int units) {
            return static_cast<int>(std::lround(units * m_unitY));
        };
        return {across(x), down(y), across(x + width) - across(x), down(y + height) - down(y)};
    }

private:
    QFontMetricsF m_metrics;
    double m_unitX = 1;
    double m_unitY = 1;
};
