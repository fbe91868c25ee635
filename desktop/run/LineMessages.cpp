#include "desktop/run/LineMessages.h"

#include "line_server/client/TolvexNames.h"

#include <QDBusMessage>
#include <QTimer>

namespace orvane {

LineMessages::LineMessages(const QDBusConnection& bus, const QString& service, QObject* parent)
    : QObject(parent)
{
    // Every line of the server, whatever its path: a line released right after it failed
    // (as the line selection does) still has its say.
    QDBusConnection(bus).connect(service, QString(), QLatin1String(tolvex::kLineInterface),
                                 QStringLiteral("MessageBox"), this,
                                 SLOT(lineMessage(QString, QString, QDBusMessage)));
}

void LineMessages::watch(const QString& linePath)
{
    m_lines.insert(linePath);
}

void LineMessages::lineMessage(const QString& text, const QString& title,
                               const QDBusMessage& message)
{
    if (!m_lines.contains(message.path()))
        return; // a line of another client of the same server
    for (const MessageRequest& waiting : std::as_const(m_waiting))
        if (waiting.text == text && waiting.title == title)
            return;
    m_waiting.append({text, title, QMessageBox::Information, QMessageBox::Ok, QString()});
    if (!m_showing)
        QTimer::singleShot(0, this, &LineMessages::showWaiting);
}

void LineMessages::showWaiting()
{
    if (m_showing)
        return;
    m_showing = true;
    // A box shown runs an event loop of its own; messages that come meanwhile wait their
    // turn here.
    while (!m_waiting.isEmpty())
        Messages::show(m_waiting.takeFirst());
    m_showing = false;
}

} // namespace orvane
