#pragma once

// News of the line server while the desktop runs: each call it logs and each fax it
// receives (announced on the bus, also for the lines it answers by itself). The desktop
// tells the user with a notification (Play and Show for a message, Open for a fax), the
// lists that show the day refresh, and the count of messages not yet heard is kept for
// the tray.
//
// Thread: the user-interface thread.

#include <QDBusConnection>
#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QVariantMap>

namespace orvane {

class Notifications;

class MessageNews : public QObject {
    Q_OBJECT

public:
    explicit MessageNews(const QDBusConnection& bus, QObject* parent = nullptr);

    // Messages logged and not yet played, as the log says now.
    int unheard() const { return m_unheard; }
    // Counts again (a message was played or deleted); unheardChanged() when it differs.
    void recount();
    // "3 messages not yet heard", or empty when there are none.
    static QString unheardText(int count);

Q_SIGNALS:
    // `caller` as the user reads it ("Alice (5550100)"), empty when unknown.
    void messageLogged(const QString& file, const QString& line, const QString& caller,
                       const QDateTime& time, int seconds);
    void faxReceived(const QString& path);
    // A fax exchange on `line` has ended; `outcome` says how it went.
    void faxEnded(const QString& line, const QString& outcome);
    // The user's answer to a notification.
    void playRequested(const QString& file);
    void showRequested(const QString& file);
    void openFaxRequested(const QString& path);
    void unheardChanged(int count);

private Q_SLOTS:
    void onMessageLogged(const QString& file, const QString& line, const QString& number,
                         const QString& name, const QString& time, int seconds);
    void onFaxReceived(const QString& path, const QString& line, const QString& time, int pages);
    void onFaxEnded(const QString& path, const QString& line, const QString& outcome,
                    const QVariantMap& facts);

private:
    void act(uint id, const QString& action);

    Notifications* m_notifications;
    struct Shown {
        bool fax = false;
        QString key;
    };
    QHash<uint, Shown> m_shown;
    int m_unheard = 0;
};

} // namespace orvane
