#include "line_server/client/LineHandle.h"

#include "line_server/client/DBusStatus.h"
#include "line_server/client/StatusGridExport.h"
#include "line_server/client/TolvexNames.h"
#include "platform/speech/Speech.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace orvane {

// One line object held by this client; released when the last handle goes.
class LineHandle::Ref {
public:
    Ref(const QDBusConnection& bus, QString service, QString path)
        : m_bus(bus)
        , m_service(std::move(service))
        , m_path(std::move(path))
    {
        const QString iface = QLatin1String(tolvex::kLineInterface);
        m_bus.connect(m_service, m_path, iface, QStringLiteral("test2"), &m_events,
                      SIGNAL(test2()));
        m_bus.connect(m_service, m_path, iface, QStringLiteral("MessageBox"), &m_events,
                      SIGNAL(messageBox(QString, QString)));
    }

    ~Ref()
    {
        const QString iface = QLatin1String(tolvex::kLineInterface);
        m_bus.disconnect(m_service, m_path, iface, QStringLiteral("test2"), &m_events,
                         SIGNAL(test2()));
        m_bus.disconnect(m_service, m_path, iface, QStringLiteral("MessageBox"), &m_events,
                         SIGNAL(messageBox(QString, QString)));
        // Not waited for: releasing never blocks the client, even while the line is busy
        // with a call.
        QDBusMessage release = QDBusMessage::createMethodCall(
            m_service, QLatin1String(tolvex::kFactoryPath),
            QLatin1String(tolvex::kFactoryInterface), QStringLiteral("ReleaseLine"));
        release.setAutoStartService(false);
        release << QVariant::fromValue(QDBusObjectPath(m_path));
        m_bus.send(release);
    }

    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
    LineEvents m_events;
};

QString LineHandle::path() const
{
    return m_ref ? m_ref->m_path : QString();
}

LineEvents* LineHandle::events() const
{
    return m_ref ? &m_ref->m_events : nullptr;
}

Result<QVariant> LineHandle::callLine(const QString& method, const QVariantList& args) const
{
    if (!m_ref)
        return Status(err::InvalidState, QStringLiteral("The line handle is empty"));
    QDBusMessage call = QDBusMessage::createMethodCall(
        m_ref->m_service, m_ref->m_path, QLatin1String(tolvex::kLineInterface), method);
    call.setArguments(args);
    const QDBusMessage reply = m_ref->m_bus.call(call);
    if (Status s = tolvex::statusOf(reply); !s)
        return s;
    return reply.arguments().isEmpty() ? QVariant() : reply.arguments().first();
}

Status LineHandle::InitTAPI(const QString& address, const StatusGridExport& grid, qint16 row,
                            const QString& appPath) const
{
    return callLine(QStringLiteral("InitTAPI"),
                    {address, grid.service(), QVariant::fromValue(QDBusObjectPath(grid.path())),
                     QVariant::fromValue(row), appPath})
        .status();
}

Status LineHandle::RegisterNotification1() const
{
    return callLine(QStringLiteral("RegisterNotification1"), {}).status();
}

Status LineHandle::UnRegisterCallNotifications1() const
{
    return callLine(QStringLiteral("UnRegisterCallNotifications1"), {}).status();
}

Status LineHandle::FnSendFax(const QString& number, const QString& fileName,
                             const QString& dirToSave, const QString& addressName,
                             const StatusGridExport* grid) const
{
    return callLine(
               QStringLiteral("FnSendFax"),
               {number, fileName, dirToSave, addressName, grid ? grid->service() : QString(),
                QVariant::fromValue(QDBusObjectPath(grid ? grid->path() : QStringLiteral("/")))})
        .status();
}

Status LineHandle::FnReceiveFax(const QString& addressName, const QString& dirSave, qint16 rows,
                                qint16 print, const StatusGridExport* grid,
                                const QString& appPath) const
{
    return callLine(
               QStringLiteral("FnReceiveFax"),
               {addressName, dirSave, QVariant::fromValue(rows), QVariant::fromValue(print),
                grid ? grid->service() : QString(),
                QVariant::fromValue(QDBusObjectPath(grid ? grid->path() : QStringLiteral("/"))),
                appPath})
        .status();
}

Result<QVariant> LineHandle::property(const char* name) const
{
    if (!m_ref)
        return Status(err::InvalidState, QStringLiteral("The line handle is empty"));
    QDBusMessage get = QDBusMessage::createMethodCall(
        m_ref->m_service, m_ref->m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QLatin1String(tolvex::kLineInterface) << QLatin1String(name);
    const QDBusMessage reply = m_ref->m_bus.call(get);
    if (Status s = tolvex::statusOf(reply); !s)
        return s;
    if (reply.arguments().isEmpty())
        return Status(err::Fail, QStringLiteral("No value for %1").arg(QLatin1String(name)));
    return reply.arguments().first().value<QDBusVariant>().variant();
}

Status LineHandle::setProperty(const char* name, const QVariant& value) const
{
    if (!m_ref)
        return Status(err::InvalidState, QStringLiteral("The line handle is empty"));
    QDBusMessage set = QDBusMessage::createMethodCall(
        m_ref->m_service, m_ref->m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Set"));
    set << QLatin1String(tolvex::kLineInterface) << QLatin1String(name)
        << QVariant::fromValue(QDBusVariant(value));
    return tolvex::statusOf(m_ref->m_bus.call(set));
}

Status LineHandle::setPlayMessage(const QString& v) const
{
    // The server refuses it as well, but a property put cannot say so in its reply.
    if (v.size() > kMaxSpeechText)
        return Status(
            err::InvalidArg,
            QStringLiteral("The greeting text has %1 characters; a line speaks at most %2")
                .arg(v.size())
                .arg(kMaxSpeechText));
    return setProperty("PlayMessage", v);
}

Result<QString> LineHandle::getMessage() const
{
    Result<QVariant> v = property("getMessage");
    if (!v)
        return v.status();
    return v->toString();
}

Result<QString> LineHandle::getAddress() const
{
    Result<QVariant> v = property("getAddress");
    if (!v)
        return v.status();
    return v->toString();
}

TolvexClient::TolvexClient(const QDBusConnection& bus, const QString& service)
    : m_bus(bus)
    , m_service(service.isEmpty() ? tolvex::serviceName() : service)
{}

bool TolvexClient::serverRunning() const
{
    return m_bus.isConnected() && m_bus.interface()->isServiceRegistered(m_service).value();
}

Result<LineHandle> TolvexClient::createLine() const
{
    QDBusMessage create = QDBusMessage::createMethodCall(
        m_service, QLatin1String(tolvex::kFactoryPath), QLatin1String(tolvex::kFactoryInterface),
        QStringLiteral("CreateLine"));
    create.setAutoStartService(false);
    const QDBusMessage reply = m_bus.call(create);
    if (Status s = tolvex::statusOf(reply); !s)
        return s;
    if (reply.arguments().isEmpty())
        return Status(err::Fail, QStringLiteral("The line server created no line"));
    const QString path = reply.arguments().first().value<QDBusObjectPath>().path();
    if (path.isEmpty())
        return Status(err::Fail, QStringLiteral("The line server created no line"));
    return LineHandle(std::make_shared<LineHandle::Ref>(m_bus, m_service, path));
}

} // namespace orvane
