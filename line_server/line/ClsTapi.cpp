// Binding a line, registering for its calls, and the line's end.

#include "line_server/line/ClsTapi.h"

#include "line_server/line/LineClaims.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/StatusTexts.h"
#include "line_server/line/modData.h"

#include <QTimer>

namespace orvane {

ClsTapi::ClsTapi(LineOutlet& outlet, QObject* timerOwner)
    : m_outlet(outlet)
    , m_timer1(new QTimer(timerOwner))
    , m_keeper(outlet, *this, timerOwner)
    , m_faxJob(outlet, timerOwner)
{
    m_timer1->setInterval(kTimer1IntervalMs);
    QObject::connect(m_timer1, &QTimer::timeout, m_timer1, [this] { timer1Tick(); });
}

ClsTapi::~ClsTapi()
{
    // A recording that is done (or still running) is saved and logged, never dropped.
    if (m_recorder.isOpen() || m_recorder.recordDone())
        finishRecording();
    // So is a call answered that the line leaves before it could greet it (the server
    // ending between its 200 OK and the caller's ACK): the caller was answered, and the
    // call is hung up and listed, its recording empty.
    if (m_call.answered)
        finishRecording();
    // A last try for what is held back; what still cannot be saved goes where it can be.
    m_keeper.finish();
    unbind();
    m_timer1->stop();
    releaseCall();
}

void ClsTapi::unbind()
{
    lineclaims::release(this);
    m_boundAddress.reset();
    if (!m_telephony)
        return;
    if (m_cookie != 0)
        m_telephony->unregisterNotifications(m_cookie);
    m_cookie = 0;
    m_telephony->shutdown();
    m_telephony.reset();
}

QString ClsTapi::lineName() const
{
    return m_boundAddress ? m_boundAddress->name : QStringLiteral("Line %1").arg(m_row);
}

void ClsTapi::writeStatus(const QString& text)
{
    m_grid.setRow(m_row);
    m_grid.setTextMatrix(m_row, 2, text);
    m_outlet.statusWritten(lineName(), text);
}

void ClsTapi::writeRowHead(const QString& addressName)
{
    m_grid.setRow(m_row);
    m_grid.setTextMatrix(m_row, 0, QString::number(m_row));
    m_grid.setTextMatrix(m_row, 1, addressName);
}

const char* ClsTapi::waitingStatus() const
{
    return m_outOfService ? status::RegisterFailed : status::WaitingAgain;
}

void ClsTapi::releaseCall()
{
    m_call = Call{};
}

void ClsTapi::InitTAPI(const QString& sAddress, const StatusGrid& objMshFlex, qint16 iRowNo,
                       const QString& sClAppPt)
{
    m_keeper.setProgramFolder(sClAppPt);
    m_grid = objMshFlex;
    m_row = iRowNo;

    // Binding again lets go of the line bound before.
    unbind();
    m_keeper.setLine(m_row, lineName());

    // A line that could not keep what it records must not take calls: every recording
    // would end up among the unsaved ones.
    Status binding = modData::checkProgramFolder(sClAppPt);
    if (binding) {
        RecordingKeeper::recoverUnlogged(sClAppPt);
        m_telephony = createTelephony();
    }
    if (!binding) {
        m_outlet.messageBox(
            QString::fromLatin1(linemessage::CannotTakeCalls).arg(sAddress, binding.description()),
            QString::fromLatin1(linemessage::Title));
    } else if (Status s = m_telephony->initialize(); !s) {
        binding = s;
    } else if (Result<QList<TelephonyAddress>> addresses = m_telephony->addresses(); !addresses) {
        binding = addresses.status();
    } else {
        for (const TelephonyAddress& address : addresses.value()) {
            if (address.isVoiceLine() && address.name == sAddress) {
                m_boundAddress = address;
                break;
            }
        }
        if (!m_boundAddress) {
            binding = Status(err::InvalidArg,
                             QStringLiteral("No voice line is named \"%1\"").arg(sAddress));
        } else if (Status claimed = lineclaims::claim(sAddress, this); !claimed) {
            // Two objects on one line would both answer its calls: the second is refused,
            // and told why.
            binding = claimed;
            m_boundAddress.reset();
            m_outlet.messageBox(QString::fromLatin1(linemessage::CannotTakeCalls)
                                    .arg(sAddress, claimed.description()),
                                QString::fromLatin1(linemessage::Title));
        }
    }

    if (!binding) {
        // The client decides by getMessage; the row shows what went wrong.
        qCWarning(lineLog).noquote()
            << "row" << m_row << "cannot bind" << sAddress << ":" << binding.toString();
        writeRowHead(m_boundAddress ? m_boundAddress->name : sAddress);
        writeStatus(status::BindFailed);
        m_statusText = QString::fromLatin1(status::Error);
        releaseCall();
        return;
    }
    m_keeper.setLine(m_row, lineName());
    writeRowHead(m_boundAddress->name);
    RegisterNotification1();
}

void ClsTapi::RegisterNotification1()
{
    Status s = m_telephony ? m_telephony->setEventFilter(tapi::EVENT_FILTER_ALL)
                           : Status(err::InvalidState, QStringLiteral("The line is not bound"));
    if (s) {
        UnRegisterCallNotifications1(); // a repeated registration replaces the old one
        if (!m_boundAddress) {
            s = Status(err::InvalidState, QStringLiteral("The line is not bound"));
        } else {
            Result<qint32> cookie = m_telephony->registerCallNotifications(
                m_boundAddress->name, true, true, tapi::TAPIMEDIATYPE_AUDIO, 1, this);
            if (cookie)
                m_cookie = cookie.value();
            else
                s = cookie.status();
        }
    }
    if (!s) {
        qCWarning(lineLog).noquote() << "row" << m_row << "cannot register:" << s.toString();
        writeStatus(status::RegisterFailed);
        m_statusText = QString::fromLatin1(status::Error);
        // The cell says that the line failed; the message says why.
        m_outlet.messageBox(
            QString::fromLatin1(linemessage::CannotTakeCalls).arg(lineName(), s.description()),
            QString::fromLatin1(linemessage::Title));
    } else {
        m_outOfService = false;
        writeStatus(status::WaitingFirst);
        m_statusText = QString::fromLatin1(status::NoError);
    }
}

void ClsTapi::UnRegisterCallNotifications1()
{
    if (m_cookie == 0) {
        writeStatus(status::NotRegistered);
        return;
    }
    Status s = m_telephony->unregisterNotifications(m_cookie);
    if (!s) {
        qCWarning(lineLog).noquote() << "row" << m_row << "cannot stop:" << s.toString();
        writeStatus(status::CouldNotStop);
        return;
    }
    m_cookie = 0;
    writeStatus(status::Idle);
}

Status ClsTapi::FnSendFax(const QString& sNumber, const QString& sFileName,
                          const QString& sDirToSave, const QString& sAddressName,
                          const StatusGrid& objMshFlex)
{
    return m_faxJob.send(sNumber, sFileName, sDirToSave, sAddressName, objMshFlex);
}

Status ClsTapi::FnReceiveFax(const QString& sAddressName, const QString& sDirSave, qint16 iRows,
                             qint16 iPrint, const StatusGrid& objMshFlex, const QString& sClAppPt)
{
    return m_faxJob.receive(sAddressName, sDirSave, iRows, iPrint, objMshFlex, sClAppPt);
}

void ClsTapi::keepingFailed(const char* statusText)
{
    writeStatus(statusText);
    m_sticky = StickyStatus::KeepingProblem;
}

void ClsTapi::keepingRecovered()
{
    if (m_sticky == StickyStatus::KeepingProblem && !m_call.info) {
        m_sticky = StickyStatus::None;
        writeStatus(waitingStatus());
    }
}

} // namespace orvane
