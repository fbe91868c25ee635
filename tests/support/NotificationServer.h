#pragma once

// A notification server on the test's session bus, on a connection of its own: it owns
// org.freedesktop.Notifications, keeps every Notify it is sent (with the sender), and lets
// the test invoke an action the way a user's click on a notification would.

#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace orvane::test {

class NotificationServer : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Note {
        QString sender; // the unique bus name of the program that sent it
        QString appName;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        uint id = 0;
    };

    NotificationServer();
    ~NotificationServer() override;
    // False when the name could not be taken.
    bool start();
    void stop();

    QList<Note> notes;
    // The notes of the given senders (unique bus names) only: the session bus may be shared
    // with tests running beside this one, whose programs notify here too.
    QList<Note> notesFrom(const QStringList& senders) const;
    // The click on `action` of notification `id`.
    void invoke(uint id, const QString& action);

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);
    void CloseNotification(uint id);
    QStringList GetCapabilities();

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    uint m_next = 1;
};

} // namespace orvane::test
