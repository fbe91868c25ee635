#pragma once

// Controls made as the windows' layouts describe them: a name, a caption, a place.

#include <QPushButton>
#include <QRect>

namespace orvane {

inline QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                               const QRect& place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(place);
    return button;
}

} // namespace orvane
