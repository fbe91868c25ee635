// Keeping what a line records: the file in Rec-Files/ and its row in the call log. A
// recording that cannot be saved (a full disk, a folder that cannot be written) stays in
// memory, a row that cannot be written (a database that is locked, unwritable or damaged)
// stays pending; both are tried again until they are kept, and the status cell and one
// message tell the user meanwhile. Nothing is dropped because keeping it failed.

#include "database/DateTimeText.h"
#include "line_server/ClsTapi.h"
#include "line_server/LineLog.h"
#include "line_server/StatusTexts.h"
#include "line_server/modData.h"
#include "platform/FreeName.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

namespace orvane {

namespace {
// How many recordings a line holds in memory (a minute of audio is 480 kB) before the
// oldest goes to the last-resort folder.
constexpr qsizetype kMaxUnsaved = 32;
} // namespace

QString ClsTapi::lineName() const
{
    return m_boundAddress ? m_boundAddress->name : QStringLiteral("Line %1").arg(m_row);
}

void ClsTapi::keepRecording(const QDateTime& callTime, const QString& name, const QByteArray& audio)
{
    QString part;
    const Result<QString> saved =
        saveRecordingFile(modData::recordingsFolder(m_appPath), name, audio, &part);
    if (saved) {
        logRecording(callTime, saved.value());
        return;
    }
    // Held in a copy of its own: `audio` may be the recorder's buffer.
    m_unsaved.append({callTime, name, QByteArray(audio.constData(), audio.size()), part});
    if (m_unsaved.size() > kMaxUnsaved)
        keepLastResort();
    reportKeepingProblem(
        status::RecordingNotSaved, saved.status().description(),
        QString::fromLatin1(linemessage::RecordingNotSaved)
            .arg(lineName(), datetext::general(callTime), saved.status().description()));
}

void ClsTapi::logRecording(const QDateTime& callTime, const QString& fileName)
{
    const Status logged = modData::LogRecordedCall(m_appPath, callTime, fileName);
    if (logged)
        return;
    m_unlogged.append({callTime, fileName});
    reportKeepingProblem(
        status::CallNotLogged, logged.description(),
        QString::fromLatin1(linemessage::CallNotLogged)
            .arg(lineName(), fileName, datetext::general(callTime), logged.description()));
}

void ClsTapi::reportKeepingProblem(const char* statusText, const QString& reason,
                                   const QString& message)
{
    qCCritical(lineLog).noquote() << "row" << m_row << message;
    writeStatus(statusText);
    m_keepStatus = true;
    // One message while the same problem lasts, not one per call.
    if (reason != m_lastKeepingProblem) {
        m_lastKeepingProblem = reason;
        m_outlet.messageBox(message, QString::fromLatin1(linemessage::Title));
    }
    m_retryTimer->start();
}

void ClsTapi::retryKeeping()
{
    const QString folder = modData::recordingsFolder(m_appPath);
    while (!m_unsaved.isEmpty()) {
        Unsaved& first = m_unsaved.first();
        QString part;
        const Result<QString> saved =
            !first.part.isEmpty() && QFile::exists(first.part)
                ? keepUnderFreeName(first.part, folder, first.name)
                : saveRecordingFile(folder, first.name, first.audio, &part);
        if (!saved) {
            if (!part.isEmpty())
                first.part = part;
            break; // what stops this one stops the rest
        }
        qCInfo(lineLog).noquote() << "row" << m_row << "saved the recording held back as"
                                  << saved.value();
        m_unlogged.append({first.callTime, saved.value()});
        m_unsaved.removeFirst();
    }
    while (!m_unlogged.isEmpty()) {
        const Unlogged& first = m_unlogged.first();
        if (!modData::LogRecordedCall(m_appPath, first.callTime, first.fileName))
            break;
        qCInfo(lineLog).noquote() << "row" << m_row << "listed" << first.fileName;
        m_unlogged.removeFirst();
    }
    if (m_unsaved.isEmpty() && m_unlogged.isEmpty())
        keepingRecovered();
}

void ClsTapi::keepingRecovered()
{
    m_retryTimer->stop();
    if (m_lastKeepingProblem.isEmpty())
        return;
    m_lastKeepingProblem.clear();
    if (m_keepStatus && !m_callInfo) {
        m_keepStatus = false;
        writeStatus(m_outOfService ? status::RegisterFailed : status::WaitingAgain);
    }
}

void ClsTapi::keepLastResort()
{
    // The oldest recording held back goes where a file can still be written, so that
    // neither a disk that stays full nor the line's end loses it.
    if (m_unsaved.isEmpty())
        return;
    const Unsaved oldest = m_unsaved.takeFirst();
    if (!oldest.part.isEmpty() && QFile::exists(oldest.part)) {
        qCCritical(lineLog).noquote()
            << "row" << m_row << "the recording of" << datetext::toStored(oldest.callTime)
            << "is in" << oldest.part;
        return;
    }
    // The user's state folder survives a reboot; the next start lists what is there. When
    // it cannot be written either (the same full disk), the temporary folder.
    QString folder = modData::unsavedRecordingsFolder(m_appPath);
    Result<QString> saved = saveRecordingFile(folder, oldest.name, oldest.audio);
    if (!saved) {
        folder = modData::fallbackUnsavedRecordingsFolder(m_appPath);
        saved = saveRecordingFile(folder, oldest.name, oldest.audio);
    }
    if (saved) {
        // Listed at the time the call began: the file's time less its length.
        QFile file(QDir(folder).filePath(saved.value()));
        if (file.open(QIODevice::ReadWrite))
            file.setFileTime(qMin(oldest.callTime.addMSecs(qint64(oldest.audio.size()) / 8),
                                  QDateTime::currentDateTime()),
                             QFileDevice::FileModificationTime);
        QFile note(QDir(folder).filePath(QStringLiteral("program-folder.txt")));
        if (!note.exists() && note.open(QIODevice::WriteOnly))
            note.write(QFile::encodeName(m_appPath) + '\n');
        qCCritical(lineLog).noquote()
            << "row" << m_row << "the recording of" << datetext::toStored(oldest.callTime)
            << "could not be saved in" << m_appPath << "and is in"
            << QDir(folder).filePath(saved.value()) << "until the line server next starts";
    } else
        qCCritical(lineLog).noquote()
            << "row" << m_row << "the recording of" << datetext::toStored(oldest.callTime)
            << "is lost:" << saved.status().description();
}

void ClsTapi::recoverUnlogged()
{
    static QMutex mutex;
    static QSet<QString> folders;
    // Files this process makes are listed by the lines that make them; what is older and
    // has no row was left by an earlier run (a crash between file and row, a database that
    // could not be written).
    static const QDateTime started = QDateTime::currentDateTime();
    const QString folder = QDir(m_appPath).absolutePath();
    {
        QMutexLocker lock(&mutex);
        if (m_appPath.isEmpty() || folders.contains(folder))
            return;
        folders.insert(folder);
    }
    QThreadPool::globalInstance()->start([folder] {
        const int listed = modData::recoverUnloggedRecordings(folder, started);
        if (listed > 0)
            qCInfo(lineLog).noquote()
                << "listed" << listed << "recording(s) in" << folder << "that had no row";
    });
}

} // namespace orvane
