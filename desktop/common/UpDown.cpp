#include "desktop/common/UpDown.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvane {

UpDown::UpDown(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_up = new QToolButton(this);
    m_up->setObjectName(QStringLiteral("up"));
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setObjectName(QStringLiteral("down"));
    m_down->setArrowType(Qt::DownArrow);
    m_up->setAccessibleName(tr("Up"));
    m_up->setAccessibleDescription(tr("One more"));
    m_down->setAccessibleName(tr("Down"));
    m_down->setAccessibleDescription(tr("One less"));
    for (QToolButton* b : {m_up, m_down}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setAutoRepeat(true);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, &UpDown::UpClick);
    connect(m_down, &QToolButton::clicked, this, &UpDown::DownClick);
}

void UpDown::setBuddy(QWidget* box)
{
    if (m_buddy)
        m_buddy->removeEventFilter(this);
    m_buddy = box;
    if (m_buddy)
        m_buddy->installEventFilter(this);
}

bool UpDown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up) {
            Q_EMIT UpClick();
            return true;
        }
        if (key == Qt::Key_Down) {
            Q_EMIT DownClick();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvane
