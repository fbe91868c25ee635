#include "line_server/bus/LineFactory.h"

#include "line_server/bus/LineObject.h"
#include "line_server/client/DBusStatus.h"
#include "line_server/client/TolvexNames.h"
#include "line_server/line/LineClaims.h"
#include "line_server/line/LineLog.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>

#include <algorithm>

namespace orvane {

LineFactory::LineFactory(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_watcher(new QDBusServiceWatcher(this))
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    m_watcher->setConnection(m_bus);
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &LineFactory::clientGone);
}

LineFactory::~LineFactory()
{
    releaseAll(30000);
}

QDBusObjectPath LineFactory::CreateLine()
{
    return createLine(true);
}

QDBusObjectPath LineFactory::CreateLineUnowned()
{
    return createLine(false);
}

QDBusObjectPath LineFactory::createLine(bool owned)
{
    const QString path = QLatin1String(tolvex::kLinePathPrefix) + QString::number(m_next++);
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("line %1").arg(m_next - 1));
    auto* object = new LineObject(m_bus);
    // Registered before it moves, so that its calls and signals follow it to its thread.
    if (!m_bus.registerObject(path, object,
                              QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                                  QDBusConnection::ExportAllProperties)) {
        delete object;
        delete thread;
        if (calledFromDBus())
            sendErrorReply(QString::fromLatin1(tolvex::kErrorFailed),
                           QStringLiteral("Cannot export %1").arg(path));
        return {};
    }
    // Told on the server's thread, so that `orvanectl watch` follows every line.
    object->onStatus([this, path](const QString& line, const QString& status) {
        QMetaObject::invokeMethod(this, [this, path, line, status] {
            const auto entry = m_lines.constFind(path);
            if (entry != m_lines.constEnd())
                Q_EMIT LineStatusChanged(path, line, status, entry->standing);
        });
    });
    object->onLogged([this](const LoggedEvent& event) {
        QMetaObject::invokeMethod(this, [this, event] { announce(event); });
    });
    object->onFaxEnded(
        [this, path](const QString& line, const QString& outcome, const QVariantMap& facts) {
            QMetaObject::invokeMethod(this, [this, path, line, outcome, facts] {
                Q_EMIT FaxEnded(path, line, outcome, facts);
            });
        });
    object->moveToThread(thread);
    connect(object, &QObject::destroyed, thread, &QThread::quit, Qt::DirectConnection);
    thread->start();

    Entry entry;
    entry.object = object;
    entry.thread = thread;
    if (owned && calledFromDBus()) {
        entry.owner = message().service();
        if (!m_watcher->watchedServices().contains(entry.owner))
            m_watcher->addWatchedService(entry.owner);
    }
    m_lines.insert(path, entry);
    return QDBusObjectPath(path);
}

void LineFactory::announce(const LoggedEvent& event)
{
    const QString time = event.time.toString(Qt::ISODate);
    // The line that a service's journal keeps for each call and fax.
    if (event.kind == LoggedEvent::Kind::Message)
        qCInfo(lineLog).noquote() << event.line << "recorded a call from"
                                  << (event.callerNumber.isEmpty()
                                          ? QStringLiteral("an unknown caller")
                                          : event.callerNumber)
                                  << QStringLiteral("(%1 s):").arg(event.seconds) << event.key;
    else
        qCInfo(lineLog).noquote() << event.line << "received a fax of" << event.pages
                                  << "page(s):" << event.key;
    if (event.kind == LoggedEvent::Kind::Message)
        Q_EMIT MessageLogged(event.key, event.line, event.callerNumber, event.callerName, time,
                             event.seconds);
    else
        Q_EMIT FaxReceived(event.key, event.line, time, event.pages);
    if (m_onLogged)
        m_onLogged(event);
}

void LineFactory::ReleaseLine(const QDBusObjectPath& path)
{
    auto it = m_lines.constFind(path.path());
    if (it == m_lines.constEnd()) {
        if (calledFromDBus())
            sendErrorReply(QString::fromLatin1(tolvex::kErrorFailed),
                           QStringLiteral("No line object at %1").arg(path.path()));
        return;
    }
    if (calledFromDBus() && !it->owner.isEmpty() && it->owner != message().service()) {
        sendErrorReply(QString::fromLatin1(tolvex::kErrorAccessDenied),
                       QStringLiteral("The line object belongs to another client"));
        return;
    }
    release(path.path());
}

void LineFactory::release(const QString& path, bool cutShort)
{
    const Entry entry = m_lines.take(path);
    if (!entry.object)
        return;
    if (cutShort)
        entry.object->line().cutShort();
    // The line is free for another object at once (a Start right after a Stop), though this
    // one ends only after its call in progress.
    lineclaims::release(&entry.object->line());
    m_bus.unregisterObject(path);
    // The line ends on its own thread, after whatever it is doing now (a greeting, a
    // recording); its thread then quits.
    entry.object->deleteLater();
    if (entry.thread) {
        connect(entry.thread, &QThread::finished, entry.thread, &QObject::deleteLater);
        m_ending.append(entry.thread);
    }
    m_ending.removeAll(nullptr);
    Q_EMIT LineReleased(path);
}

void LineFactory::clientGone(const QString& service)
{
    const QStringList paths = m_lines.keys();
    int released = 0;
    for (const QString& path : paths) {
        if (m_lines.value(path).owner == service) {
            release(path, true);
            ++released;
        }
    }
    m_watcher->removeWatchedService(service);
    if (released > 0)
        qCInfo(lineLog).noquote() << service << "left the bus;" << released << "line(s) released";
}

void LineFactory::releaseAll(int timeoutMs)
{
    const QStringList paths = m_lines.keys();
    for (const QString& path : paths)
        release(path, true);
    QDeadlineTimer deadline(timeoutMs);
    for (const QPointer<QThread>& thread : std::as_const(m_ending)) {
        if (thread && !thread->wait(deadline))
            qCWarning(lineLog) << "a line did not end in time";
        else if (thread)
            delete thread.data();
    }
    m_ending.clear();
}

QString LineFactory::createStandingLine()
{
    const QString path = createLine(false).path();
    if (!path.isEmpty())
        m_lines[path].standing = true;
    return path;
}

QList<QVariantMap> LineFactory::LineStatus()
{
    QList<QVariantMap> lines;
    for (auto it = m_lines.cbegin(); it != m_lines.cend(); ++it) {
        const LineObject::Report report = it->object->report();
        lines.append({{QStringLiteral("path"), it.key()},
                      {QStringLiteral("line"), report.line},
                      {QStringLiteral("standing"), it->standing},
                      {QStringLiteral("status"), report.status},
                      {QStringLiteral("message"), report.message}});
    }
    std::sort(lines.begin(), lines.end(), [](const QVariantMap& a, const QVariantMap& b) {
        const QString pa = a.value(QStringLiteral("path")).toString();
        const QString pb = b.value(QStringLiteral("path")).toString();
        return pa.size() != pb.size() ? pa.size() < pb.size() : pa < pb;
    });
    return lines;
}

void LineFactory::Reload()
{
    const Status s =
        m_reload ? m_reload()
                 : Status(err::NotImplemented, QStringLiteral("This server has no standing lines"));
    if (!s && calledFromDBus())
        sendErrorReply(tolvex::errorName(s), tolvex::errorMessage(s));
}

LineObject* LineFactory::lineAt(const QString& path) const
{
    return m_lines.value(path).object;
}

QThread* LineFactory::threadOf(const QString& path) const
{
    return m_lines.value(path).thread;
}

} // namespace orvane
