// Fax jobs: a send job or a receive job on the line's fax component, its status polled once
// a second into the client's grid, received faxes logged, the client told when a send job
// has ended.

#include "line_server/ClsTapi.h"
#include "line_server/LineLog.h"
#include "line_server/StatusTexts.h"
#include "line_server/modData.h"
#include "platform/fax/FaxMachine.h"
#include "platform/fax/FaxStatus.h"

#include <QDir>
#include <QTimer>

namespace orvane {

namespace {
constexpr int kFaxPollMs = 1000;
// After a received fax is filed, before the line takes the next one.
constexpr int kReceiveAgainMs = 3000;
// After a send job has ended, before the client hears of it.
constexpr int kSendEndedMs = 2000;
} // namespace

fax::FaxMachine& ClsTapi::faxMachine()
{
    if (!m_fax) {
        m_fax = std::make_unique<fax::FaxMachine>();
        // The fax is kept either way; the user learns that it was not printed.
        QObject::connect(
            m_fax.get(), &fax::FaxMachine::printFailed, m_timer1,
            [this](const QString& path, const QString& reason) {
                m_outlet.messageBox(
                    QString::fromLatin1(linemessage::FaxNotPrinted).arg(lineName(), path, reason),
                    QString::fromLatin1(linemessage::Title));
            });
    }
    return *m_fax;
}

// One job per object: a second one would take over the first one's row and call.
Status ClsTapi::refuseSecondJob() const
{
    if (m_fax && m_fax->running())
        return Status(err::InvalidState, QStringLiteral("This line object already runs a fax job"));
    return {};
}

Status ClsTapi::FnSendFax(const QString& sNumber, const QString& sFileName,
                          const QString& sDirToSave, const QString& sAddressName,
                          const StatusGrid& objMshFlex)
{
    if (Status s = refuseSecondJob(); !s)
        return s;
    m_faxActive = true;
    ++m_faxJob;
    m_faxMode = QStringLiteral("SEND");
    if (!m_sendTimer) {
        m_sendTimer = new QTimer(m_timerOwner);
        QObject::connect(m_sendTimer, &QTimer::timeout, m_sendTimer, [this] { faxTick(); });
    }
    m_grid = objMshFlex;
    m_faxRow = 1;
    m_faxLine = sAddressName;
    m_faxNumber = sNumber;
    faxMachine().chooseLine(sAddressName);
    m_grid.setTextMatrix(1, 0, QStringLiteral("1"));
    m_grid.setTextMatrix(1, 1, sAddressName);
    if (Status s = m_fax->send(sNumber, sFileName, sDirToSave); !s)
        return s;
    qCInfo(lineLog).noquote() << "sending" << sFileName << "to" << sNumber << "on" << sAddressName;
    m_sendTimer->start(kFaxPollMs);
    return {};
}

Status ClsTapi::FnReceiveFax(const QString& sAddressName, const QString& sDirSave, qint16 iRows,
                             qint16 iPrint, const StatusGrid& objMshFlex, const QString& sClAppPt)
{
    if (Status s = refuseSecondJob(); !s)
        return s;
    m_faxActive = true;
    ++m_faxJob;
    m_faxMode = QStringLiteral("REC");
    m_appPath = sClAppPt;
    m_printFlag = QString::number(iPrint);
    m_faxFolder = sDirSave;
    m_grid = objMshFlex;
    // Each receive job reports in its own row.
    m_faxRow = iRows;
    m_faxLine = sAddressName;
    faxMachine().chooseLine(sAddressName);
    m_grid.setTextMatrix(iRows, 0, QString::number(iRows));
    m_grid.setTextMatrix(iRows, 1, sAddressName);
    if (Status s = m_fax->receive(m_faxFolder, m_printFlag.toInt()); !s)
        return s;
    qCInfo(lineLog).noquote() << "receiving faxes on" << sAddressName << "into" << sDirSave;
    m_timer1->start(kFaxPollMs);
    return {};
}

void ClsTapi::faxTick()
{
    const QString status = faxMachine().status();
    m_grid.setTextMatrix(m_faxRow, 2, status);
    if (!faxstatus::isFinal(status))
        return;

    const bool sending = m_faxMode == QLatin1String("SEND");
    (sending ? m_sendTimer : m_timer1)->stop();
    if (status == QLatin1String(faxstatus::Completed) && !sending) {
        // Faxes that could not be listed before go first, in the order they came.
        m_unloggedFaxes.append(QDir(m_faxFolder).filePath(m_fax->receivedFile()));
        while (!m_unloggedFaxes.isEmpty()) {
            const QString path = m_unloggedFaxes.first();
            if (Status s = modData::LogReceivedFax(m_appPath, path); !s) {
                // The fax itself is kept; the user learns why it is not in the list (once
                // while the reason lasts), and it is listed with the next fax.
                qCCritical(lineLog).noquote()
                    << "kept the fax" << path << "but could not log it:" << s.toString();
                if (s.description() != m_lastKeepingProblem) {
                    m_lastKeepingProblem = s.description();
                    m_outlet.messageBox(QString::fromLatin1(linemessage::FaxNotLogged)
                                            .arg(lineName(), path, s.description()),
                                        QString::fromLatin1(linemessage::Title));
                }
                break;
            }
            qCInfo(lineLog).noquote() << "received" << path;
            m_unloggedFaxes.removeFirst();
        }
        // The line's thread stays free for the wait: the next fax is taken after it.
        QTimer::singleShot(kReceiveAgainMs, m_timer1, [this] {
            if (!m_fax || !m_faxActive)
                return;
            m_fax->receive(m_faxFolder, m_printFlag.toInt());
            m_timer1->start(kFaxPollMs);
        });
        return;
    }
    // The job is over for good: the line's timer goes back to finishing recordings, should
    // the object be bound to answer calls later.
    m_faxActive = false;
    // How it ended stays in the grid; why, the user is told.
    if (status != QLatin1String(faxstatus::Completed)) {
        const QString reason = m_fax->lastReason();
        const QString how = reason.isEmpty() ? status : status + QStringLiteral(" - ") + reason;
        m_outlet.messageBox(
            sending ? QString::fromLatin1(linemessage::FaxNotSent).arg(m_faxLine, m_faxNumber, how)
                    : QString::fromLatin1(linemessage::FaxReceivingEnded).arg(m_faxLine, how),
            QString::fromLatin1(linemessage::Title));
    }
    m_timer1->setInterval(kTimer1IntervalMs);
    if (sending) {
        qCInfo(lineLog).noquote() << "send job ended:" << status;
        m_fax->end();
        const quint64 job = m_faxJob;
        QTimer::singleShot(kSendEndedMs, m_sendTimer, [this, job] {
            m_outlet.raiseTest2();
            // Unless the client has started another job on the object meanwhile.
            if (m_faxJob == job)
                m_fax.reset();
        });
    }
}

void ClsTapi::endFaxJob()
{
    if (m_sendTimer)
        m_sendTimer->stop();
    m_faxActive = false;
    m_fax.reset();
}

} // namespace orvane
