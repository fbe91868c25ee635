#pragma once

// A line object's fax job: a send job or a receive job on a fax line, its status polled
// once a second into the client's grid, received faxes logged (what cannot be logged yet is
// logged with the next fax), the client told when a send job has ended. The job has its own
// grid, row, program folder and timer: it never touches the answering side of the line.
//
// Thread: the thread of `timerOwner` (the line's thread).

#include "line_server/line/LineOutlet.h"
#include "line_server/line/StatusGrid.h"
#include "platform/Status.h"

#include <QString>
#include <QStringList>

#include <memory>

class QObject;
class QTimer;

namespace orvane {

namespace fax {
class Fax;
}

// Lists a received fax in the database and tells the outlet (the bus, notifications,
// hooks) once it is listed; the failure when it cannot be listed yet.
Status listReceivedFax(LineOutlet& outlet, const QString& appPath, const QString& path,
                       const QString& line);

class FaxJob {
public:
    enum class Mode { None, Send, Receive };

    FaxJob(LineOutlet& outlet, QObject* timerOwner);
    // Ends the job: the call is hung up, a partial fax removed.
    ~FaxJob();

    FaxJob(const FaxJob&) = delete;
    FaxJob& operator=(const FaxJob&) = delete;

    // One job per object: a second one while the first runs is refused.
    Status send(const QString& number, const QString& fileName, const QString& dirToSave,
                const QString& addressName, const StatusGrid& grid);
    // Receives faxes one after another into `dirSave` until the job fails; reports in `row`.
    Status receive(const QString& addressName, const QString& dirSave, qint16 row, qint16 print,
                   const StatusGrid& grid, const QString& appPath);

    Mode mode() const { return m_mode; }

    static constexpr int kPollMs = 1000;
    // After a received fax is filed, before the line takes the next one.
    static constexpr int kReceiveAgainMs = 3000;
    // After a send job has ended, before the client hears of it.
    static constexpr int kSendEndedMs = 2000;

private:
    Status start(Mode mode, const QString& addressName, const StatusGrid& grid, qint16 row);
    fax::Fax& faxLine();
    void tick();
    void logReceived(const QString& path);
    void ended(const QString& status);

    LineOutlet& m_outlet;
    QTimer* m_timer; // polls the job; also the context of its delayed steps
    std::unique_ptr<fax::Fax> m_fax;
    Mode m_mode = Mode::None;
    quint64 m_jobs = 0; // counts the jobs started
    StatusGrid m_grid;
    qint16 m_row = 1;
    QString m_line, m_number;
    QString m_folder, m_appPath;
    int m_printFlag = 0;
    QStringList m_unloggedFaxes; // received, kept, not yet in recieve_fax
    QString m_lastLogProblem;
};

} // namespace orvane
