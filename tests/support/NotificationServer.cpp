#include "NotificationServer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace orvane::test {

NotificationServer::NotificationServer()
    : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                          QStringLiteral("test-notification-server")))
{}

NotificationServer::~NotificationServer()
{
    stop();
    QDBusConnection::disconnectFromBus(QStringLiteral("test-notification-server"));
}

bool NotificationServer::start()
{
    return m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                                QDBusConnection::ExportAllSlots |
                                    QDBusConnection::ExportAllSignals) &&
           m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

void NotificationServer::stop()
{
    m_bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    m_bus.unregisterObject(QStringLiteral("/org/freedesktop/Notifications"));
}

QList<NotificationServer::Note> NotificationServer::notesFrom(const QStringList& senders) const
{
    QList<Note> from;
    for (const Note& note : notes)
        if (senders.contains(note.sender))
            from.append(note);
    return from;
}

void NotificationServer::invoke(uint id, const QString& action)
{
    Q_EMIT ActionInvoked(id, action);
}

uint NotificationServer::Notify(const QString& appName, uint, const QString&,
                                const QString& summary, const QString& body,
                                const QStringList& actions, const QVariantMap& hints, int)
{
    const uint id = m_next++;
    notes.append({message().service(), appName, summary, body, actions, hints, id});
    return id;
}

void NotificationServer::CloseNotification(uint id)
{
    Q_EMIT NotificationClosed(id, 3);
}

QStringList NotificationServer::GetCapabilities()
{
    return {QStringLiteral("actions"), QStringLiteral("body")};
}

} // namespace orvane::test
