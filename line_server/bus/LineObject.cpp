#include "line_server/bus/LineObject.h"

#include "line_server/client/DBusStatus.h"
#include "line_server/client/TolvexNames.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/StatusGridOutbox.h"
#include "line_server/line/StatusTexts.h"
#include "platform/speech/Speech.h"

namespace orvane {

LineObject::LineObject(const QDBusConnection& bus)
    : m_bus(bus)
    , m_line(new ClsTapi(static_cast<LineOutlet&>(*this), this))
{}

LineObject::~LineObject()
{
    m_line.reset();
}

void LineObject::setPlayMessage(const QString& v)
{
    // A property put has no reply to carry an error: the refusal goes out as a message.
    if (v.size() > kMaxSpeechText) {
        const QString why = QStringLiteral("The greeting text has %1 characters; a line speaks "
                                           "at most %2. The greeting was not changed.")
                                .arg(v.size())
                                .arg(kMaxSpeechText);
        qCWarning(lineLog).noquote() << why;
        Q_EMIT MessageBox(why, QString::fromLatin1(linemessage::Title));
        return;
    }
    m_line->settings().playMessage = v;
}

LineObject::Report LineObject::report() const
{
    QMutexLocker lock(&m_reportMutex);
    return m_report;
}

void LineObject::statusWritten(const QString& line, const QString& text)
{
    {
        QMutexLocker lock(&m_reportMutex);
        m_report.line = line;
        m_report.status = text;
    }
    if (m_onStatus)
        m_onStatus(line, text);
}

void LineObject::logged(const LoggedEvent& event)
{
    if (m_onLogged)
        m_onLogged(event);
}

void LineObject::faxEnded(const QString& line, const QString& outcome, const QVariantMap& facts)
{
    if (m_onFaxEnded)
        m_onFaxEnded(line, outcome, facts);
}

void LineObject::messageBox(const QString& text, const QString& title)
{
    {
        QMutexLocker lock(&m_reportMutex);
        m_report.message = text;
    }
    Q_EMIT MessageBox(text, title);
}

void LineObject::raiseTest2()
{
    // The client stops taking the job's puts at test2: the last of them goes out first.
    StatusGridOutbox::instance().flush();
    Q_EMIT test2();
}

void LineObject::reply(const Status& status)
{
    if (!status && calledFromDBus())
        sendErrorReply(tolvex::errorName(status), tolvex::errorMessage(status));
}

StatusGrid LineObject::grid(const QString& service, const QDBusObjectPath& path) const
{
    if (service.isEmpty() || path.path().isEmpty() || path.path() == QLatin1String("/"))
        return {};
    return StatusGrid(m_bus, service, path.path());
}

void LineObject::RegisterNotification1()
{
    m_line->RegisterNotification1();
}

void LineObject::gobjTapiWithEvents_Event(int, const QString&)
{
    // Only the line's own telephony object delivers events.
    if (calledFromDBus())
        sendErrorReply(
            QString::fromLatin1(tolvex::kErrorAccessDenied),
            QStringLiteral("Telephony events come from the line's own telephony object"));
}

void LineObject::InitTAPI(const QString& sAddress, const QString& gridService,
                          const QDBusObjectPath& gridPath, qint16 iRowNo, const QString& sClAppPt)
{
    m_line->InitTAPI(sAddress, grid(gridService, gridPath), iRowNo, sClAppPt);
}

void LineObject::playByTTS(int media, int mediaformat, const QString& sPath)
{
    reply(m_line->playByTTS(media, mediaformat, sPath));
}

void LineObject::UnRegisterCallNotifications1()
{
    m_line->UnRegisterCallNotifications1();
}

void LineObject::playTextByTTS(int media, int mediaformat, const QString& sText)
{
    reply(m_line->playTextByTTS(media, mediaformat, sText));
}

void LineObject::FnSendFax(const QString& sNumber, const QString& sFileName,
                           const QString& sDirToSave, const QString& sAddressName,
                           const QString& gridService, const QDBusObjectPath& gridPath)
{
    reply(m_line->FnSendFax(sNumber, sFileName, sDirToSave, sAddressName,
                            grid(gridService, gridPath)));
}

void LineObject::FnReceiveFax(const QString& sAddressName, const QString& sDirSave, qint16 iRows,
                              qint16 iPrint, const QString& gridService,
                              const QDBusObjectPath& gridPath, const QString& sClAppPt)
{
    reply(m_line->FnReceiveFax(sAddressName, sDirSave, iRows, iPrint, grid(gridService, gridPath),
                               sClAppPt));
}

} // namespace orvane
