#pragma once

// An up/down arrow pair beside a number box, not bound to it: its owner handles the clicks.

#include <QWidget>

class QToolButton;

namespace orvane {

class UpDown : public QWidget {
    Q_OBJECT

public:
    explicit UpDown(QWidget* parent = nullptr);
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

Q_SIGNALS:
    void UpClick();
    void DownClick();

private:
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace orvane
