#include "line_server/client/StatusGridExport.h"

namespace orvane {

StatusGridExport::StatusGridExport(StatusGridSink& sink, const QDBusConnection& bus,
                                   const QString& path, QObject* parent)
    : QObject(parent)
    , m_sink(sink)
    , m_bus(bus)
    , m_path(path)
{}

StatusGridExport::~StatusGridExport()
{
    if (m_published)
        m_bus.unregisterObject(m_path);
}

Status StatusGridExport::publish()
{
    if (m_published)
        return {};
    if (!m_bus.registerObject(m_path, this, QDBusConnection::ExportAllSlots))
        return Status(err::Fail, QStringLiteral("Cannot export the status grid at %1").arg(m_path));
    m_published = true;
    return {};
}

void StatusGridExport::Row(qint16 row)
{
    m_sink.setRow(row);
}

void StatusGridExport::TextMatrix(qint16 row, qint16 column, const QString& text)
{
    m_sink.setTextMatrix(row, column, text);
}

} // namespace orvane
