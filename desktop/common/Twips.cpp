#include "desktop/common/Twips.h"

#include <QApplication>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace orvane::twips {

namespace {

constexpr double kTwipsPerPixel = 15.0;
// The average character width of the font the layouts were designed for.
constexpr double kDesignCharWidth = 5.5;

double scale()
{
    static const double factor = [] {
        const double width = QFontMetricsF(QApplication::font()).averageCharWidth();
        return std::clamp(width / kDesignCharWidth, 1.0, 2.5);
    }();
    return factor;
}

} // namespace

int px(int twips)
{
    return int(std::lround(twips / kTwipsPerPixel * scale()));
}

QRect rect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

} // namespace orvane::twips
