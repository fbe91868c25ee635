#include "desktop/main/ProductIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace orvane {

QIcon productIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        const qreal s = size;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0x6f, 0xb2));
        p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
        // The handset: two ear pieces joined by a curved grip.
        QPainterPath handset;
        handset.moveTo(0.25 * s, 0.38 * s);
        handset.cubicTo(0.25 * s, 0.22 * s, 0.75 * s, 0.22 * s, 0.75 * s, 0.38 * s);
        QPen pen(Qt::white, 0.1 * s, Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawPath(handset);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(0.18 * s, 0.36 * s, 0.2 * s, 0.14 * s), 0.04 * s, 0.04 * s);
        p.drawRoundedRect(QRectF(0.62 * s, 0.36 * s, 0.2 * s, 0.14 * s), 0.04 * s, 0.04 * s);
        // A recording dot below.
        p.setBrush(QColor(0xe0, 0x3c, 0x31));
        p.drawEllipse(QPointF(0.5 * s, 0.68 * s), 0.1 * s, 0.1 * s);
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace orvane
