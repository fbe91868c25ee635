#include "line_server/bus/ServerNotifier.h"

#include "database/DateTimeText.h"
#include "line_server/client/TolvexNames.h"
#include "line_server/line/LineLog.h"
#include "platform/notify/Notifications.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace orvane {

ServerNotifier::ServerNotifier(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_notifications(new Notifications(bus, this))
{
    connect(m_notifications, &Notifications::actionInvoked, this, &ServerNotifier::act);
    connect(m_notifications, &Notifications::closed, this, [this](uint id) { m_shown.remove(id); });
}

QString ServerNotifier::desktopProgram()
{
    const QString chosen = qEnvironmentVariable("ORVANE_DESKTOP");
    if (!chosen.isEmpty())
        return chosen;
    // Beside the line server in the build tree; installed, in bin.
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString& candidate :
         {here.filePath(QStringLiteral("orvane")),
          QDir::cleanPath(here.filePath(QStringLiteral(ORVANE_TOLVEX_TO_BIN "/orvane")))})
        if (QFileInfo(candidate).isExecutable())
            return candidate;
    return QStringLiteral("orvane");
}

void ServerNotifier::logged(const LoggedEvent& event)
{
    QDBusConnectionInterface* bus = m_bus.interface();
    if (!bus || bus->isServiceRegistered(tolvex::desktopServiceName()).value())
        return;
    const QString when = datetext::general(event.time);
    const Notifications::Note note =
        event.kind == LoggedEvent::Kind::Message
            ? Notifications::messageNote(event.callerNumber, event.callerName, event.line,
                                         event.seconds, when)
            : Notifications::faxNote(event.callerNumber, event.line, event.pages, when);
    m_notifications->notify(note, [this, event](uint id) {
        if (id != 0)
            m_shown.insert(id, event);
    });
}

void ServerNotifier::act(uint id, const QString& action)
{
    const auto shown = m_shown.constFind(id);
    if (shown == m_shown.constEnd())
        return;
    const LoggedEvent& event = shown.value();
    QString program;
    QStringList arguments;
    if (event.kind == LoggedEvent::Kind::Fax &&
        (action == QLatin1String("open") || action == QLatin1String("default"))) {
        program = QStringLiteral("xdg-open");
        arguments = {event.path};
    } else if (event.kind == LoggedEvent::Kind::Message) {
        // The desktop plays it, or shows it in its day's list; a running desktop is asked
        // by the copy that starts, which then ends.
        program = desktopProgram();
        arguments = {action == QLatin1String("play") ? QStringLiteral("--play")
                                                     : QStringLiteral("--show"),
                     event.key};
    } else {
        return;
    }
    if (!QProcess::startDetached(program, arguments))
        qCWarning(lineLog).noquote()
            << "cannot start" << program << arguments.join(QLatin1Char(' '));
}

} // namespace orvane
