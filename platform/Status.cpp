#include "platform/Status.h"

namespace orvane {

QString Status::toString() const
{
    const QString code = (m_code < 0 || m_code > 0xFFFF)
                             ? QStringLiteral("0x%1").arg(quint32(m_code), 8, 16, QLatin1Char('0'))
                             : QString::number(m_code);
    return m_description.isEmpty() ? code : code + QStringLiteral(": ") + m_description;
}

} // namespace orvane
