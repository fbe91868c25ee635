#pragma once

// Tells the user of each new message and fax while no desktop program runs to do it (a
// standing line answering with the window closed). When the desktop owns its name on the
// bus, it notifies itself, so that one message is never announced twice. The actions of
// the line server's notifications open the desktop on the message (or the fax in the
// user's viewer).
//
// Thread: the server's main thread.

#include "line_server/line/LoggedEvent.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>

namespace orvane {

class Notifications;

class ServerNotifier : public QObject {
    Q_OBJECT

public:
    explicit ServerNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    void logged(const LoggedEvent& event);

    // The desktop program the actions start: $ORVANE_DESKTOP, else `orvane` beside the
    // line server's own program, else `orvane` on the PATH.
    static QString desktopProgram();

private:
    void act(uint id, const QString& action);

    QDBusConnection m_bus;
    Notifications* m_notifications;
    QHash<uint, LoggedEvent> m_shown;
};

} // namespace orvane
