#include "platform/notify/Notifications.h"

#include "platform/notify/EventText.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>

namespace orvane {

namespace {
Q_LOGGING_CATEGORY(notifyLog, "orvane.notify")

const char* const kInterface = "org.freedesktop.Notifications";
// Our notifications stay until the user deals with them: a message is worth a look.
constexpr int kNeverExpires = 0;
} // namespace

Notifications::Notifications(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
{
    m_bus.connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                  QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(QLatin1String(kService), QLatin1String(kPath), QLatin1String(kInterface),
                  QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
}

Notifications::Note Notifications::messageNote(const QString& number, const QString& name,
                                               const QString& line, int seconds,
                                               const QString& when)
{
    return {eventtext::messageSummary(number, name, line, seconds),
            when,
            {QStringLiteral("play"), QStringLiteral("Play"), QStringLiteral("show"),
             QStringLiteral("Show")},
            QStringLiteral("im.received")};
}

Notifications::Note Notifications::faxNote(const QString& number, const QString& line, int pages,
                                           const QString& when)
{
    return {eventtext::faxSummary(number, line, pages),
            when,
            {QStringLiteral("open"), QStringLiteral("Open")},
            QStringLiteral("transfer.complete")};
}

void Notifications::notify(const Note& note, std::function<void(uint)> sent)
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kInterface), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.orvane.Orvane"));
    if (!note.category.isEmpty())
        hints.insert(QStringLiteral("category"), note.category);
    call << QStringLiteral("Orvane") << uint(0) << QStringLiteral("org.orvane.Orvane")
         << note.summary << note.body << note.actions << hints << kNeverExpires;
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, sent = std::move(sent), summary = note.summary] {
                watcher->deleteLater();
                const QDBusPendingReply<uint> reply = *watcher;
                uint id = 0;
                if (reply.isError()) {
                    // Once while the reason lasts: a session without a notification
                    // server would otherwise say it with every call.
                    if (reply.error().message() != m_lastProblem) {
                        m_lastProblem = reply.error().message();
                        qCWarning(notifyLog).noquote()
                            << "cannot notify" << summary << "-" << m_lastProblem;
                    }
                } else {
                    m_lastProblem.clear();
                    id = reply.value();
                }
                if (id != 0)
                    m_ours.insert(id);
                if (sent)
                    sent(id);
            });
}

void Notifications::onActionInvoked(uint id, const QString& action)
{
    if (m_ours.contains(id))
        Q_EMIT actionInvoked(id, action);
}

void Notifications::onClosed(uint id, uint)
{
    if (m_ours.remove(id))
        Q_EMIT closed(id);
}

} // namespace orvane
