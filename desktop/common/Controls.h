#pragma once

// Controls made as the windows' layouts describe them: a name, a caption, a place.

#include <QPushButton>
#include <QRect>

namespace orvane {

// What a screen reader says of a control that shows no caption of its own.
inline void nameForReaders(QWidget* control, const QString& name,
                           const QString& description = QString())
{
    control->setAccessibleName(name);
    if (!description.isEmpty())
        control->setAccessibleDescription(description);
}

inline QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption,
                               const QRect& place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(place);
    return button;
}

} // namespace orvane
