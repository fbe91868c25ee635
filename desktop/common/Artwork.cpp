#include "desktop/common/Artwork.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

namespace orvane::artwork {

namespace {

// The lines of a glyph: dark blue on a light desktop, light on a dark one (the palette's
// window colour says which), so that they read in either theme.
QColor inkColour()
{
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightness() < 128 ? QColor(0xd8, 0xe2, 0xee) : QColor(0x26, 0x3a, 0x52);
}
const QColor kBlue(0x1f, 0x6f, 0xb2);
const QColor kRed(0xd0, 0x3a, 0x2f);
const QColor kGreen(0x2e, 0x8b, 0x57);
const QColor kPaper(0xfa, 0xfa, 0xf5);
const QColor kFolder(0xe0, 0xb0, 0x48);

void draw(QPainter& p, Glyph glyph, qreal s)
{
    const qreal w = qMax<qreal>(1.0, s / 12.0); // line width
    QPen ink(inkColour(), w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(ink);
    p.setBrush(Qt::NoBrush);
    switch (glyph) {
    case Glyph::Start:
    case Glyph::Play: {
        QPolygonF t{{0.28 * s, 0.2 * s}, {0.8 * s, 0.5 * s}, {0.28 * s, 0.8 * s}};
        p.setBrush(glyph == Glyph::Start ? kGreen : kBlue);
        p.drawPolygon(t);
        break;
    }
    case Glyph::Stop:
        p.setBrush(kRed);
        p.drawRoundedRect(QRectF(0.24 * s, 0.24 * s, 0.52 * s, 0.52 * s), 0.06 * s, 0.06 * s);
        break;
    case Glyph::Handset:
    case Glyph::Device: {
        QPainterPath h;
        h.moveTo(0.22 * s, 0.42 * s);
        h.cubicTo(0.22 * s, 0.18 * s, 0.78 * s, 0.18 * s, 0.78 * s, 0.42 * s);
        p.setPen(QPen(inkColour(), 0.12 * s, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(h);
        p.setPen(Qt::NoPen);
        p.setBrush(inkColour());
        p.drawRoundedRect(QRectF(0.14 * s, 0.38 * s, 0.22 * s, 0.14 * s), 0.04 * s, 0.04 * s);
        p.drawRoundedRect(QRectF(0.64 * s, 0.38 * s, 0.22 * s, 0.14 * s), 0.04 * s, 0.04 * s);
        if (glyph == Glyph::Device) { // the telephone's body
            p.setBrush(kBlue);
            p.drawRoundedRect(QRectF(0.24 * s, 0.56 * s, 0.52 * s, 0.3 * s), 0.06 * s, 0.06 * s);
        }
        break;
    }
    case Glyph::Record:
    case Glyph::Tape:
        p.setBrush(kRed);
        p.drawEllipse(QPointF(0.5 * s, 0.5 * s), 0.26 * s, 0.26 * s);
        if (glyph == Glyph::Tape) {
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(0.5 * s, 0.5 * s), 0.38 * s, 0.38 * s);
        }
        break;
    case Glyph::Voice: {
        p.setBrush(inkColour());
        QPolygonF speaker{{0.16 * s, 0.4 * s},  {0.3 * s, 0.4 * s}, {0.48 * s, 0.24 * s},
                          {0.48 * s, 0.76 * s}, {0.3 * s, 0.6 * s}, {0.16 * s, 0.6 * s}};
        p.drawPolygon(speaker);
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(0.44 * s, 0.32 * s, 0.2 * s, 0.36 * s), -60 * 16, 120 * 16);
        p.drawArc(QRectF(0.44 * s, 0.2 * s, 0.36 * s, 0.6 * s), -60 * 16, 120 * 16);
        break;
    }
    case Glyph::Calls:
        for (int i = 0; i < 3; ++i) {
            const qreal y = (0.28 + 0.22 * i) * s;
            p.drawLine(QPointF(0.36 * s, y), QPointF(0.82 * s, y));
            p.setBrush(kBlue);
            p.drawEllipse(QPointF(0.22 * s, y), 0.05 * s, 0.05 * s);
            p.setBrush(Qt::NoBrush);
        }
        break;
    case Glyph::Fax:
        p.setBrush(kPaper);
        p.drawRect(QRectF(0.26 * s, 0.12 * s, 0.48 * s, 0.42 * s));
        p.setBrush(inkColour());
        p.drawRoundedRect(QRectF(0.14 * s, 0.5 * s, 0.72 * s, 0.34 * s), 0.05 * s, 0.05 * s);
        break;
    case Glyph::Help: {
        p.setBrush(kBlue);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(0.5 * s, 0.5 * s), 0.38 * s, 0.38 * s);
        QFont f = p.font();
        f.setPixelSize(int(0.56 * s));
        f.setBold(true);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, QStringLiteral("?"));
        break;
    }
    case Glyph::Exit:
        p.drawRect(QRectF(0.18 * s, 0.16 * s, 0.38 * s, 0.68 * s));
        p.drawLine(QPointF(0.44 * s, 0.5 * s), QPointF(0.86 * s, 0.5 * s));
        p.drawLine(QPointF(0.72 * s, 0.36 * s), QPointF(0.86 * s, 0.5 * s));
        p.drawLine(QPointF(0.72 * s, 0.64 * s), QPointF(0.86 * s, 0.5 * s));
        break;
    case Glyph::FolderClosed:
    case Glyph::FolderOpen: {
        p.setBrush(kFolder);
        p.drawRect(QRectF(0.12 * s, 0.3 * s, 0.76 * s, 0.52 * s));
        p.drawRect(QRectF(0.12 * s, 0.22 * s, 0.3 * s, 0.1 * s));
        if (glyph == Glyph::FolderOpen) {
            p.setBrush(kFolder.lighter(120));
            QPolygonF lid{{0.12 * s, 0.82 * s},
                          {0.26 * s, 0.46 * s},
                          {0.94 * s, 0.46 * s},
                          {0.88 * s, 0.82 * s}};
            p.drawPolygon(lid);
        }
        break;
    }
    case Glyph::Bell: {
        p.setBrush(kFolder);
        QPainterPath bell;
        bell.moveTo(0.22 * s, 0.7 * s);
        bell.cubicTo(0.3 * s, 0.6 * s, 0.28 * s, 0.2 * s, 0.5 * s, 0.2 * s);
        bell.cubicTo(0.72 * s, 0.2 * s, 0.7 * s, 0.6 * s, 0.78 * s, 0.7 * s);
        bell.closeSubpath();
        p.drawPath(bell);
        p.drawEllipse(QPointF(0.5 * s, 0.78 * s), 0.07 * s, 0.07 * s);
        break;
    }
    }
}

} // namespace

QPixmap pixmap(Glyph glyph, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p, glyph, size);
    return pm;
}

QIcon icon(Glyph glyph)
{
    QIcon result;
    for (int size : {16, 24, 32, 48})
        result.addPixmap(pixmap(glyph, size));
    return result;
}

QPixmap banner(int width, int height)
{
    // Clear and centred: the emblem overlaps the banner's left end.
    QPixmap pm(width, height);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f = p.font();
    f.setPixelSize(int(height * 0.8));
    f.setBold(true);
    f.setLetterSpacing(QFont::PercentageSpacing, 110);
    p.setFont(f);
    p.setPen(kBlue);
    p.drawText(QRect(0, 0, width, height), Qt::AlignCenter, QStringLiteral("ORVANE"));
    return pm;
}

QPixmap emblem(int width, int height)
{
    QPixmap pm(width, height);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = qMin(width, height);
    p.translate((width - s) / 2, (height - s) / 2);
    p.setPen(Qt::NoPen);
    p.setBrush(kBlue);
    p.drawEllipse(QRectF(0, 0, s, s));
    p.translate(s * 0.15, s * 0.12);
    p.scale(0.7, 0.7);
    draw(p, Glyph::Handset, s);
    return pm;
}

} // namespace orvane::artwork
