#pragma once

// An up/down arrow pair beside a number box, not bound to it: its owner handles the clicks.
// The Up and Down keys in the box beside it (its buddy) step as the arrows do.

#include <QWidget>

class QToolButton;

namespace orvane {

class UpDown : public QWidget {
    Q_OBJECT

public:
    explicit UpDown(QWidget* parent = nullptr);
    void setBuddy(QWidget* box);
    QToolButton* upButton() const { return m_up; }
    QToolButton* downButton() const { return m_down; }

Q_SIGNALS:
    void UpClick();
    void DownClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_buddy = nullptr;
    QToolButton* m_up;
    QToolButton* m_down;
};

} // namespace orvane
