#include "line_server/line/FaxJob.h"

#include "line_server/line/LineLog.h"
#include "line_server/line/StatusTexts.h"
#include "line_server/line/modData.h"
#include "platform/fax/Fax.h"
#include "platform/fax/FaxStatus.h"
#include "platform/fax/TiffFax.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

namespace orvane {

FaxJob::FaxJob(LineOutlet& outlet, QObject* timerOwner)
    : m_outlet(outlet)
    , m_timer(new QTimer(timerOwner))
{
    m_timer->setInterval(kPollMs);
    QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] { tick(); });
}

FaxJob::~FaxJob()
{
    m_fax.reset();
    // Its delayed steps go with it.
    delete m_timer;
}

fax::Fax& FaxJob::faxLine()
{
    if (!m_fax) {
        m_fax = fax::createFax();
        // The fax is kept either way; the user learns that it was not printed.
        m_fax->onPrintFailed([this](const QString& path, const QString& reason) {
            m_outlet.messageBox(
                QString::fromLatin1(linemessage::FaxNotPrinted).arg(m_line, path, reason),
                QString::fromLatin1(linemessage::Title));
        });
    }
    return *m_fax;
}

Status FaxJob::start(Mode mode, const QString& addressName, const StatusGrid& grid, qint16 row)
{
    // A second job would take over the first one's row and call.
    if (m_fax && m_fax->running())
        return Status(err::InvalidState, QStringLiteral("This line object already runs a fax job"));
    m_mode = mode;
    ++m_jobs;
    m_grid = grid;
    m_row = row;
    m_line = addressName;
    faxLine().chooseLine(addressName);
    m_grid.setTextMatrix(row, 0, QString::number(row));
    m_grid.setTextMatrix(row, 1, addressName);
    return {};
}

Status FaxJob::send(const QString& number, const QString& fileName, const QString& dirToSave,
                    const QString& addressName, const StatusGrid& grid)
{
    if (Status s = start(Mode::Send, addressName, grid, 1); !s)
        return s;
    m_number = number;
    if (Status s = m_fax->send(number, fileName, dirToSave); !s)
        return s;
    qCInfo(lineLog).noquote() << "sending" << fileName << "to" << number << "on" << addressName;
    m_timer->start();
    return {};
}

Status FaxJob::receive(const QString& addressName, const QString& dirSave, qint16 row, qint16 print,
                       const StatusGrid& grid, const QString& appPath)
{
    // Each receive job reports in its own row.
    if (Status s = start(Mode::Receive, addressName, grid, row); !s)
        return s;
    m_appPath = appPath;
    m_printFlag = print;
    m_folder = dirSave;
    if (Status s = m_fax->receive(m_folder, m_printFlag); !s)
        return s;
    qCInfo(lineLog).noquote() << "receiving faxes on" << addressName << "into" << dirSave;
    m_timer->start();
    return {};
}

void FaxJob::tick()
{
    const QString status = faxLine().status();
    m_grid.setTextMatrix(m_row, 2, status);
    m_outlet.statusWritten(m_line, status);
    if (!faxstatus::isFinal(status))
        return;
    m_timer->stop();
    if (const QString outcome = m_fax->outcome(); !outcome.isEmpty()) {
        qCInfo(lineLog).noquote() << m_line << status << "-" << outcome;
        m_outlet.faxEnded(m_line, outcome, m_fax->outcomeFacts());
    }
    if (status == QLatin1String(faxstatus::Completed) && m_mode == Mode::Receive) {
        logReceived(QDir(m_folder).filePath(m_fax->receivedFile()));
        // The line's thread stays free for the wait: the next fax is taken after it.
        QTimer::singleShot(kReceiveAgainMs, m_timer, [this] {
            if (!m_fax || m_mode != Mode::Receive)
                return;
            m_fax->receive(m_folder, m_printFlag);
            m_timer->start();
        });
        return;
    }
    ended(status);
}

Status listReceivedFax(LineOutlet& outlet, const QString& appPath, const QString& path,
                       const QString& line)
{
    if (Status s = modData::LogReceivedFax(appPath, path, line); !s)
        return s;
    qCInfo(lineLog).noquote() << "received" << path;
    LoggedEvent event;
    event.kind = LoggedEvent::Kind::Fax;
    event.key = path;
    event.path = path;
    event.time = QFileInfo(path).lastModified();
    event.line = line;
    if (const Result<fax::TiffSummary> tiff = fax::inspectTiff(path); tiff)
        event.pages = tiff->pages;
    outlet.logged(event);
    return {};
}

void FaxJob::logReceived(const QString& path)
{
    // Faxes that could not be listed before go first, in the order they came.
    m_unloggedFaxes.append(path);
    while (!m_unloggedFaxes.isEmpty()) {
        const QString first = m_unloggedFaxes.first();
        if (Status s = listReceivedFax(m_outlet, m_appPath, first, m_line); !s) {
            // The fax itself is kept; the user learns why it is not in the list (once while
            // the reason lasts), and it is listed with the next fax.
            qCCritical(lineLog).noquote()
                << "kept the fax" << first << "but could not log it:" << s.toString();
            if (s.description() != m_lastLogProblem) {
                m_lastLogProblem = s.description();
                m_outlet.messageBox(QString::fromLatin1(linemessage::FaxNotLogged)
                                        .arg(m_line, first, s.description()),
                                    QString::fromLatin1(linemessage::Title));
            }
            return;
        }
        m_unloggedFaxes.removeFirst();
    }
    m_lastLogProblem.clear();
}

void FaxJob::ended(const QString& status)
{
    const bool sending = m_mode == Mode::Send;
    m_mode = Mode::None;
    // How it ended stays in the grid; why, the user is told.
    if (status != QLatin1String(faxstatus::Completed)) {
        const QString reason = m_fax->lastReason();
        const QString how = reason.isEmpty() ? status : status + QStringLiteral(" - ") + reason;
        m_outlet.messageBox(
            sending ? QString::fromLatin1(linemessage::FaxNotSent).arg(m_line, m_number, how)
                    : QString::fromLatin1(linemessage::FaxReceivingEnded).arg(m_line, how),
            QString::fromLatin1(linemessage::Title));
    }
    if (!sending)
        return;
    qCInfo(lineLog).noquote() << "send job ended:" << status;
    m_fax->end();
    const quint64 job = m_jobs;
    QTimer::singleShot(kSendEndedMs, m_timer, [this, job] {
        m_outlet.raiseTest2();
        // Unless the client has started another job on the object meanwhile.
        if (m_jobs == job)
            m_fax.reset();
    });
}

} // namespace orvane
