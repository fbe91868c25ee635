#include "line_server/line/StatusGrid.h"

#include "line_server/line/StatusGridOutbox.h"

namespace orvane {

StatusGrid::StatusGrid(const QDBusConnection& bus, QString service, QString path)
    : m_bus(bus)
    , m_service(std::move(service))
    , m_path(std::move(path))
{}

void StatusGrid::setRow(qint16 row) const
{
    if (isSet())
        StatusGridOutbox::instance().post({m_bus, m_service, m_path, row, -1, QString()});
}

void StatusGrid::setTextMatrix(qint16 row, qint16 column, const QString& text) const
{
    if (isSet())
        StatusGridOutbox::instance().post({m_bus, m_service, m_path, row, column, text});
}

} // namespace orvane
