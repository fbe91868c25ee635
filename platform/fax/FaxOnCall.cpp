#include "platform/fax/FaxOnCall.h"

#include "platform/FreeName.h"
#include "platform/fax/FaxCallSession.h"
#include "platform/fax/TiffFax.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <atomic>
#include <future>

namespace orvane::fax {

Result<QString> fileReceivedFax(const QString& partPath, const QString& folder,
                                const QString& suffix)
{
    return keepUnderFreeName(
        partPath, folder,
        QStringLiteral("fax-") +
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + suffix +
            QStringLiteral(".tif"));
}

Result<FaxOnCall> receiveFaxOnDevice(const std::shared_ptr<WaveDevice>& device,
                                     const QString& folder, const FaxOptions& options)
{
    if (!device)
        return Status(err::NoDevice, QStringLiteral("The call has no audio device"));
    if (folder.trimmed().isEmpty() || !QDir().mkpath(folder))
        return Status(
            err::Fail,
            QStringLiteral("Received faxes cannot be saved in the folder \"%1\"").arg(folder));
    // A part file of this process that only this session writes, named as the fax lines
    // name theirs (numbered far from their call ids): their clean-up of parts abandoned by
    // an ended process knows it, and leaves those of running processes alone.
    static std::atomic<quint64> sessions{1'000'000'000};
    const QString part = QDir(folder).filePath(
        QStringLiteral(".fax-%1-%2.part").arg(QCoreApplication::applicationPid()).arg(++sessions));
    QFile::remove(part);

    std::promise<void> ended;
    std::future<void> done = ended.get_future();
    std::atomic<bool> told{false};
    Result<std::shared_ptr<FaxCallSession>> session =
        FaxCallSession::start(device, FaxEngine::Role::Receive, part, options, [&] {
            if (!told.exchange(true))
                ended.set_value();
        });
    if (!session) {
        QFile::remove(part);
        return session.status();
    }
    // The session ends itself: by its own timers when the far end is no fax machine or goes
    // silent, by its line-time limit at the latest. A little beyond that, it is hung up.
    const auto limit = std::chrono::minutes(options.maxMinutes) + std::chrono::seconds(30);
    if (done.wait_for(limit) != std::future_status::ready)
        session.value()->hangUp();
    done.wait();
    session.value()->stop();

    FaxOnCall result;
    result.progress = session.value()->progress();
    const bool whole = result.progress.outcome == FaxProgress::Outcome::Completed;
    Result<TiffSummary> summary = inspectTiff(part, options.limits);
    if (summary && summary->pages > 0 && (whole || result.progress.pagesDone > 0)) {
        Result<QString> kept =
            fileReceivedFax(part, folder, whole ? QString() : QStringLiteral("-incomplete"));
        if (!kept)
            return Status(err::Fail, QStringLiteral("The received fax is kept as %1: %2")
                                         .arg(part, kept.status().description()));
        result.path = QDir(folder).filePath(kept.value());
        result.pages = summary->pages;
    } else {
        QFile::remove(part);
    }
    return result;
}

} // namespace orvane::fax
