#include "desktop/run/MessageNews.h"

#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "desktop/common/ProgramFolder.h"
#include "line_server/client/TolvexNames.h"
#include "platform/notify/EventText.h"
#include "platform/notify/Notifications.h"

namespace orvane {

MessageNews::MessageNews(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_notifications(new Notifications(bus, this))
{
    // By the server's well-known name: a server started later, or again, is followed too.
    QDBusConnection b(bus);
    const QString service = tolvex::serviceName();
    const QString path = QLatin1String(tolvex::kFactoryPath);
    const QString interface = QLatin1String(tolvex::kFactoryInterface);
    b.connect(service, path, interface, QStringLiteral("MessageLogged"), this,
              SLOT(onMessageLogged(QString, QString, QString, QString, QString, int)));
    b.connect(service, path, interface, QStringLiteral("FaxReceived"), this,
              SLOT(onFaxReceived(QString, QString, QString, int)));
    b.connect(service, path, interface, QStringLiteral("FaxEnded"), this,
              SLOT(onFaxEnded(QString, QString, QString, QVariantMap)));
    connect(m_notifications, &Notifications::actionInvoked, this, &MessageNews::act);
    connect(m_notifications, &Notifications::closed, this, [this](uint id) { m_shown.remove(id); });
    recount();
}

QString MessageNews::unheardText(int count)
{
    if (count <= 0)
        return QString();
    return count == 1 ? tr("1 message not yet heard") : tr("%1 messages not yet heard").arg(count);
}

void MessageNews::recount()
{
    Database db;
    int count = m_unheard;
    if (db.OpenDatabase(programfolder::path())) {
        if (const Result<int> unheard = recmessage::countUnheard(db); unheard)
            count = unheard.value();
    }
    db.CloseDatabase();
    if (count == m_unheard)
        return;
    m_unheard = count;
    Q_EMIT unheardChanged(count);
}

void MessageNews::onMessageLogged(const QString& file, const QString& line, const QString& number,
                                  const QString& name, const QString& time, int seconds)
{
    const QDateTime when = QDateTime::fromString(time, Qt::ISODate);
    m_notifications->notify(
        Notifications::messageNote(number, name, line, seconds, datetext::general(when)),
        [this, file](uint id) {
            if (id != 0)
                m_shown.insert(id, {false, file});
        });
    Q_EMIT messageLogged(file, line, eventtext::callerShown(number, name), when, seconds);
    recount();
}

void MessageNews::onFaxReceived(const QString& path, const QString& line, const QString& time,
                                int pages)
{
    const QDateTime when = QDateTime::fromString(time, Qt::ISODate);
    m_notifications->notify(Notifications::faxNote(QString(), line, pages, datetext::general(when)),
                            [this, path](uint id) {
                                if (id != 0)
                                    m_shown.insert(id, {true, path});
                            });
    Q_EMIT faxReceived(path);
}

void MessageNews::onFaxEnded(const QString&, const QString& line, const QString& outcome,
                             const QVariantMap&)
{
    Q_EMIT faxEnded(line, outcome);
}

void MessageNews::act(uint id, const QString& action)
{
    const auto shown = m_shown.constFind(id);
    if (shown == m_shown.constEnd())
        return;
    const Shown what = shown.value();
    if (what.fax)
        Q_EMIT openFaxRequested(what.key);
    else if (action == QLatin1String("play"))
        Q_EMIT playRequested(what.key);
    else // "show", or the notification itself ("default")
        Q_EMIT showRequested(what.key);
}

} // namespace orvane
