#pragma once

// The program's own pictures, drawn here so that they scale and keep one style: the
// toolbar's buttons, the call-flow tree's images, and the about window's pictures.

#include <QIcon>
#include <QPixmap>

namespace orvane::artwork {

enum class Glyph {
    Start,
    Stop,
    Device,
    Record,
    Voice,
    Calls,
    Fax,
    Help,
    Exit,
    FolderClosed,
    FolderOpen,
    Bell,
    Handset,
    Play,
    Tape,
};

QIcon icon(Glyph glyph);
QPixmap pixmap(Glyph glyph, int size);

// The about window's pictures, at their designed sizes in pixels.
QPixmap banner(int width, int height); // the product name
QPixmap emblem(int width, int height); // the round product mark

} // namespace orvane::artwork
