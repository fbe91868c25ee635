#include "desktop/run/BackgroundLines.h"

#include "line_server/client/LineHandle.h"
#include "line_server/client/TolvexNames.h"

namespace orvane {

BackgroundLines::BackgroundLines(const TolvexClient& client, QObject* parent)
    : QObject(parent)
    , m_client(client)
{
    QDBusConnection bus = m_client.bus();
    const QString path = QLatin1String(tolvex::kFactoryPath);
    const QString iface = QLatin1String(tolvex::kFactoryInterface);
    bus.connect(m_client.service(), path, iface, QStringLiteral("LineStatusChanged"), this,
                SLOT(statusChanged(QString, QString, QString, bool)));
    bus.connect(m_client.service(), path, iface, QStringLiteral("LineReleased"), this,
                SLOT(released(QString)));
}

void BackgroundLines::refresh()
{
    m_lines.clear();
    if (const Result<QList<QVariantMap>> lines = m_client.lineStatus())
        for (const QVariantMap& l : lines.value())
            if (l.value(QStringLiteral("standing")).toBool())
                m_lines.insert(l.value(QStringLiteral("path")).toString(),
                               {l.value(QStringLiteral("line")).toString(),
                                l.value(QStringLiteral("status")).toString()});
    Q_EMIT changed();
}

void BackgroundLines::statusChanged(const QString& path, const QString& line, const QString& status,
                                    bool standing)
{
    if (!standing)
        return;
    m_lines.insert(path, {line, status});
    Q_EMIT changed();
}

void BackgroundLines::released(const QString& path)
{
    if (m_lines.remove(path) > 0)
        Q_EMIT changed();
}

QString BackgroundLines::summary() const
{
    if (m_lines.isEmpty())
        return {};
    QStringList rows{tr("Answering in the background:")};
    for (const Line& l : m_lines)
        rows << QStringLiteral("%1: %2").arg(l.name, l.status.trimmed());
    return rows.join(QLatin1Char('\n'));
}

} // namespace orvane
