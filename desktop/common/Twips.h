#pragma once

// Window layouts are designed in twips for the small system font of the designer's desktop:
// 15 twips to a pixel there. Here a pixel of design is scaled by how much wider this
// desktop's font is, so that captions fit and every window keeps its proportions.

#include <QRect>

namespace orvane::twips {

// Pixels for a length in twips.
int px(int twips);
QRect rect(int left, int top, int width, int height);

} // namespace orvane::twips
