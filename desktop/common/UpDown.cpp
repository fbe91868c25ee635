#include "desktop/common/UpDown.h"

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
    for (QToolButton* b : {m_up, m_down}) {
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        b->setAutoRepeat(true);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, &UpDown::UpClick);
    connect(m_down, &QToolButton::clicked, this, &UpDown::DownClick);
}

} // namespace orvane
