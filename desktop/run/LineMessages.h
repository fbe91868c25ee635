#pragma once

// The messages the lines of this program send (a registration refused, a greeting that
// could not be played, a recording that could not be saved...), shown as the program's own
// message boxes, one at a time and in order. The line never waits for them; a message of a
// line that has been released meanwhile is still shown.
//
// Thread: the user-interface thread.

#include "desktop/common/Messages.h"

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QSet>

class QDBusMessage;

namespace orvane {

class LineMessages : public QObject {
    Q_OBJECT

public:
    LineMessages(const QDBusConnection& bus, const QString& service, QObject* parent = nullptr);

    // The messages of the line object at `linePath` are shown from now on.
    void watch(const QString& linePath);

public Q_SLOTS:
    // The line's MessageBox signal, as the bus delivers it.
    void lineMessage(const QString& text, const QString& title, const QDBusMessage& message);

private:
    void showWaiting();

    QSet<QString> m_lines;
    QList<MessageRequest> m_waiting;
    bool m_showing = false;
};

} // namespace orvane
