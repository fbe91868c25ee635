#pragma once

// The desktop's notification service (org.freedesktop.Notifications) on the session bus:
// a notification with actions goes out without waiting; the actions the user invokes and
// the closing of our own notifications come back as signals. Notifications of other
// programs are not reported.
//
// Thread: the thread that created it, which must run an event loop.

#include <QDBusConnection>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>

namespace orvane {

class Notifications : public QObject {
    Q_OBJECT

public:
    static constexpr const char* kService = "org.freedesktop.Notifications";
    static constexpr const char* kPath = "/org/freedesktop/Notifications";

    explicit Notifications(const QDBusConnection& bus, QObject* parent = nullptr);

    struct Note {
        QString summary;
        QString body;
        // Pairs of an action's key and its label: {"play", "Play", "show", "Show"}.
        QStringList actions;
        QString category; // "im.received", "transfer.complete"...
    };
    // What a new message and a new fax say, with their actions: Play and Show for a
    // message, Open for a fax. `when` is the call's time as the user reads it.
    static Note messageNote(const QString& number, const QString& name, const QString& line,
                            int seconds, const QString& when);
    static Note faxNote(const QString& number, const QString& line, int pages, const QString& when);

    // Sends `note`; `sent` is called with the server's id for it, or 0 when there is no
    // notification server or it refused (the reason is logged).
    void notify(const Note& note, std::function<void(uint)> sent = {});

Q_SIGNALS:
    void actionInvoked(uint id, const QString& action);
    void closed(uint id);

private Q_SLOTS:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    QDBusConnection m_bus;
    QSet<uint> m_ours;
    QString m_lastProblem;
};

} // namespace orvane
