#include "line_server/client/LineHandle.h"

#include "line_server/client/DBusStatus.h"
#include "line_server/client/StatusGridExport.h"
#include "line_server/client/TolvexNames.h"
#include "platform/speech/Speech.h"

// Generated at build time from interfaces/org.orvane.Tolvex.clsTapi.xml.
#include "LineProxy.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
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
        , m_line(m_service, m_path, m_bus)
    {
        QObject::connect(&m_line, &OrgOrvaneTolvexClsTapiInterface::test2, &m_events,
                         &LineEvents::test2);
        QObject::connect(&m_line, &OrgOrvaneTolvexClsTapiInterface::MessageBox, &m_events,
                         &LineEvents::messageBox);
    }

    ~Ref()
    {
        QObject::disconnect(&m_line, nullptr, &m_events, nullptr);
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
    // Calls wait for their reply: a line's calls are short, and the client acts on each
    // answer. The generated proxy's own timeout (25 s) covers a line server that hangs.
    OrgOrvaneTolvexClsTapiInterface m_line;
    LineEvents m_events;
};

namespace {
Status statusOf(QDBusPendingReply<> reply)
{
    reply.waitForFinished();
    return tolvex::statusOf(reply.reply());
}
} // namespace

QString LineHandle::path() const
{
    return m_ref ? m_ref->m_path : QString();
}

LineEvents* LineHandle::events() const
{
    return m_ref ? &m_ref->m_events : nullptr;
}

Status LineHandle::InitTAPI(const QString& address, const StatusGridExport& grid, qint16 row,
                            const QString& appPath) const
{
    if (!m_ref)
        return emptyHandle();
    return statusOf(m_ref->m_line.InitTAPI(address, grid.service(), QDBusObjectPath(grid.path()),
                                           row, appPath));
}

Status LineHandle::RegisterNotification1() const
{
    if (!m_ref)
        return emptyHandle();
    return statusOf(m_ref->m_line.RegisterNotification1());
}

Status LineHandle::UnRegisterCallNotifications1() const
{
    if (!m_ref)
        return emptyHandle();
    return statusOf(m_ref->m_line.UnRegisterCallNotifications1());
}

Status LineHandle::FnSendFax(const QString& number, const QString& fileName,
                             const QString& dirToSave, const QString& addressName,
                             const StatusGridExport* grid) const
{
    if (!m_ref)
        return emptyHandle();
    return statusOf(m_ref->m_line.FnSendFax(
        number, fileName, dirToSave, addressName, grid ? grid->service() : QString(),
        QDBusObjectPath(grid ? grid->path() : QStringLiteral("/"))));
}

Status LineHandle::FnReceiveFax(const QString& addressName, const QString& dirSave, qint16 rows,
                                qint16 print, const StatusGridExport* grid,
                                const QString& appPath) const
{
    if (!m_ref)
        return emptyHandle();
    return statusOf(m_ref->m_line.FnReceiveFax(
        addressName, dirSave, rows, print, grid ? grid->service() : QString(),
        QDBusObjectPath(grid ? grid->path() : QStringLiteral("/")), appPath));
}

Status LineHandle::emptyHandle()
{
    return Status(err::InvalidState, QStringLiteral("The line handle is empty"));
}

Status LineHandle::checkProperty(const char* name)
{
    // Put and read by name with their own replies (the proxy's setters drop the error); the
    // name must still be one the interface declares.
    if (OrgOrvaneTolvexClsTapiInterface::staticMetaObject.indexOfProperty(name) < 0)
        return Status(err::InvalidArg,
                      QStringLiteral("The line has no property %1").arg(QLatin1String(name)));
    return {};
}

Result<QVariant> LineHandle::property(const char* name) const
{
    if (!m_ref)
        return emptyHandle();
    if (Status s = checkProperty(name); !s)
        return s;
    QDBusMessage get = QDBusMessage::createMethodCall(
        m_ref->m_service, m_ref->m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << OrgOrvaneTolvexClsTapiInterface::staticInterfaceName() << QLatin1String(name);
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
        return emptyHandle();
    if (Status s = checkProperty(name); !s)
        return s;
    QDBusMessage set = QDBusMessage::createMethodCall(
        m_ref->m_service, m_ref->m_path, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Set"));
    set << OrgOrvaneTolvexClsTapiInterface::staticInterfaceName() << QLatin1String(name)
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

namespace {
QDBusMessage factoryCall(const QString& service, const QString& method)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, QLatin1String(tolvex::kFactoryPath),
                                       QLatin1String(tolvex::kFactoryInterface), method);
    // Asking must not start a server.
    call.setAutoStartService(false);
    return call;
}
} // namespace

Result<QList<QVariantMap>> TolvexClient::lineStatus() const
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    const QDBusMessage reply = m_bus.call(factoryCall(m_service, QStringLiteral("LineStatus")));
    if (Status s = tolvex::statusOf(reply); !s)
        return s;
    return qdbus_cast<QList<QVariantMap>>(reply.arguments().value(0));
}

Status TolvexClient::reloadStandingLines() const
{
    return tolvex::statusOf(m_bus.call(factoryCall(m_service, QStringLiteral("Reload"))));
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
