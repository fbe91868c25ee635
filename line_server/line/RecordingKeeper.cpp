#include "line_server/line/RecordingKeeper.h"

#include "database/DateTimeText.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/StatusTexts.h"
#include "line_server/line/modData.h"
#include "line_server/line/wave.h"
#include "platform/FreeName.h"

#include <QDir>
#include <QFile>
#include <QTimer>

namespace orvane {

RecordingKeeper::RecordingKeeper(LineOutlet& outlet, Listener& listener, QObject* timerOwner)
    : m_outlet(outlet)
    , m_listener(listener)
    , m_retryTimer(new QTimer(timerOwner))
{
    m_retryTimer->setInterval(kRetryMs);
    QObject::connect(m_retryTimer, &QTimer::timeout, m_retryTimer, [this] { retry(); });
}

RecordingKeeper::~RecordingKeeper()
{
    finish();
    delete m_retryTimer;
}

void RecordingKeeper::finish()
{
    m_retryTimer->stop();
    if (m_unsaved.isEmpty() && m_unlogged.isEmpty())
        return;
    retry();
    while (!m_unsaved.isEmpty())
        keepLastResort();
    for (const Unlogged& row : std::as_const(m_unlogged))
        qCCritical(lineLog).noquote() << "row" << m_row << m_appPath << "Rec-Files/" + row.fileName
                                      << "has no row; it is listed at the next start";
    m_unlogged.clear();
}

void RecordingKeeper::setLine(qint16 row, const QString& name)
{
    m_row = row;
    m_lineName = name;
}

recmessage::CallDetails RecordingKeeper::detailsOf(const Caller& caller, qsizetype audioBytes) const
{
    // A second of recording is 8,000 bytes of mu-law.
    return {caller.number, caller.name, m_lineName, int(audioBytes / 8000), caller.keys};
}

void RecordingKeeper::keep(const QDateTime& callTime, const QString& name, const QByteArray& audio,
                           const Caller& caller)
{
    retry();
    QString part;
    const recmessage::CallDetails details = detailsOf(caller, audio.size());
    const Result<QString> saved =
        saveRecordingFile(modData::recordingsFolder(m_appPath), name, audio, &part);
    if (saved) {
        logRecording(callTime, saved.value(), details);
        return;
    }
    // Held in a copy of its own: `audio` may be the recorder's buffer.
    m_unsaved.append({callTime, name, QByteArray(audio.constData(), audio.size()), part, details});
    if (m_unsaved.size() > kMaxHeld)
        keepLastResort();
    reportProblem(status::RecordingNotSaved, saved.status().description(),
                  QString::fromLatin1(linemessage::RecordingNotSaved)
                      .arg(m_lineName, datetext::general(callTime), saved.status().description()));
}

void RecordingKeeper::logRecording(const QDateTime& callTime, const QString& fileName,
                                   const recmessage::CallDetails& details)
{
    const Status logged = modData::LogRecordedCall(m_appPath, callTime, fileName, details);
    if (logged) {
        listed(callTime, fileName, details);
        return;
    }
    m_unlogged.append({callTime, fileName, details});
    reportProblem(
        status::CallNotLogged, logged.description(),
        QString::fromLatin1(linemessage::CallNotLogged)
            .arg(m_lineName, fileName, datetext::general(callTime), logged.description()));
}

void RecordingKeeper::listed(const QDateTime& callTime, const QString& fileName,
                             const recmessage::CallDetails& details)
{
    LoggedEvent event;
    event.kind = LoggedEvent::Kind::Message;
    event.key = fileName;
    event.path = QDir(modData::recordingsFolder(m_appPath)).filePath(fileName);
    event.time = callTime;
    event.line = details.line;
    event.callerNumber = details.callerNumber;
    event.callerName = details.callerName;
    event.keys = details.keys;
    event.seconds = details.seconds;
    m_outlet.logged(event);
}

void RecordingKeeper::reportProblem(const char* statusText, const QString& reason,
                                    const QString& message)
{
    qCCritical(lineLog).noquote() << "row" << m_row << message;
    m_listener.keepingFailed(statusText);
    // One message while the same problem lasts, not one per call.
    if (reason != m_lastProblem) {
        m_lastProblem = reason;
        m_outlet.messageBox(message, QString::fromLatin1(linemessage::Title));
    }
    m_retryTimer->start();
}

void RecordingKeeper::retry()
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
        m_unlogged.append({first.callTime, saved.value(), first.details});
        m_unsaved.removeFirst();
    }
    while (!m_unlogged.isEmpty()) {
        const Unlogged& first = m_unlogged.first();
        if (!modData::LogRecordedCall(m_appPath, first.callTime, first.fileName, first.details))
            break;
        qCInfo(lineLog).noquote() << "row" << m_row << "listed" << first.fileName;
        const Unlogged done = m_unlogged.takeFirst();
        listed(done.callTime, done.fileName, done.details);
    }
    if (m_unsaved.isEmpty() && m_unlogged.isEmpty())
        recovered();
}

void RecordingKeeper::recovered()
{
    m_retryTimer->stop();
    if (m_lastProblem.isEmpty())
        return;
    m_lastProblem.clear();
    m_listener.keepingRecovered();
}

void RecordingKeeper::keepLastResort()
{
    // Neither a disk that stays full nor the line's end may lose a recording.
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
    QString folder = unsavedRecordingsFolder(m_appPath);
    Result<QString> saved = saveRecordingFile(folder, oldest.name, oldest.audio);
    if (!saved) {
        folder = fallbackUnsavedRecordingsFolder(m_appPath);
        saved = saveRecordingFile(folder, oldest.name, oldest.audio);
    }
    if (!saved) {
        qCCritical(lineLog).noquote()
            << "row" << m_row << "the recording of" << datetext::toStored(oldest.callTime)
            << "is lost:" << saved.status().description();
        return;
    }
    // Listed at the time the call began: the file's time less its length.
    QFile file(QDir(folder).filePath(saved.value()));
    if (file.open(QIODevice::ReadWrite))
        file.setFileTime(qMin(oldest.callTime.addMSecs(qint64(oldest.audio.size()) / 8),
                              QDateTime::currentDateTime()),
                         QFileDevice::FileModificationTime);
    QFile note(QDir(folder).filePath(QStringLiteral("program-folder.txt")));
    if (!note.exists() && note.open(QIODevice::WriteOnly))
        note.write(QFile::encodeName(m_appPath) + '\n');
    qCCritical(lineLog).noquote() << "row" << m_row << "the recording of"
                                  << datetext::toStored(oldest.callTime) << "could not be saved in"
                                  << m_appPath << "and is in"
                                  << QDir(folder).filePath(saved.value())
                                  << "until the line server next starts";
}

} // namespace orvane
