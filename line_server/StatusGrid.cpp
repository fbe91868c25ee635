#include "line_server/StatusGrid.h"

#include "line_server/StatusGridOutbox.h"
#include "line_server/client/TolvexNames.h"

#include <QDBusMessage>

namespace orvane {

StatusGrid::StatusGrid(const QDBusConnection& bus, QString service, QString path)
    : m_bus(bus)
    , m_service(std::move(service))
    , m_path(std::move(path))
{}

void StatusGrid::setRow(qint16 row) const
{
    if (!isSet())
        return;
    QDBusMessage put = QDBusMessage::createMethodCall(
        m_service, m_path, QLatin1String(tolvex::kStatusGridInterface), QStringLiteral("Row"));
    put.setAutoStartService(false);
    put << QVariant::fromValue(row);
    StatusGridOutbox::instance().post(m_bus, put);
}

void StatusGrid::setTextMatrix(qint16 row, qint16 column, const QString& text) const
{
    if (!isSet())
        return;
    QDBusMessage put = QDBusMessage::createMethodCall(m_service, m_path,
                                                      QLatin1String(tolvex::kStatusGridInterface),
                                                      QStringLiteral("TextMatrix"));
    put.setAutoStartService(false);
    put << QVariant::fromValue(row) << QVariant::fromValue(column) << text;
    StatusGridOutbox::instance().post(m_bus, put);
}

} // namespace orvane
