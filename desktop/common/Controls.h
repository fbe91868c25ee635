#pragma once

// Controls made as the windows' layouts describe them: a name, a caption, a place.

#include <QBoxLayout>
#include <QPushButton>
#include <QRect>
#include <QScreen>

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

// A laid-out dialog's button: its name, its caption, at least as wide as described.
inline QPushButton* makeDialogButton(QWidget* parent, const char* name, const QString& caption,
                                     int widthPixels)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setMinimumWidth(widthPixels);
    return button;
}

// A row of buttons as dialogs have them: `leading` at the left end (if any), the others
// at the right end.
inline QHBoxLayout* buttonRow(std::initializer_list<QPushButton*> buttons,
                              QPushButton* leading = nullptr)
{
    auto* row = new QHBoxLayout;
    if (leading)
        row->addWidget(leading);
    row->addStretch();
    for (QPushButton* b : buttons)
        row->addWidget(b);
    return row;
}

// A laid-out window's first size: the described one, within the screen (a small or scaled
// screen starts it smaller), never less than what its controls need.
inline void resizeToFirstSize(QWidget* window, QSize described)
{
    if (const QScreen* screen = window->screen())
        described = described.boundedTo(screen->availableGeometry().size() * 9 / 10);
    window->resize(described.expandedTo(window->minimumSizeHint()));
}

} // namespace orvane
