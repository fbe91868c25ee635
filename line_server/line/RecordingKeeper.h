#pragma once

// Keeping what a line records: the file in Rec-Files/ and its row in the call log. A
// recording that cannot be saved (a full disk, a folder that cannot be written) stays in
// memory, a row that cannot be written (a database that is locked, unwritable or damaged)
// stays pending; both are tried again until they are kept, and the line's status cell and
// one message tell the user meanwhile. Nothing is dropped because keeping it failed: what
// is still held when the keeper ends goes to a folder outside the program folder, and the
// next start brings it home and lists it.
//
// Thread: the thread of `timerOwner` (the line's thread), except recoverUnlogged(), which
// may be called from any thread.

#include "database/RecMessageTable.h"
#include "line_server/line/LineOutlet.h"

#include <QDateTime>
#include <QList>
#include <QString>

class QObject;
class QTimer;

namespace orvane {

class RecordingKeeper {
public:
    // What the line shows while keeping fails, and when it works again.
    class Listener {
    public:
        virtual ~Listener() = default;
        // `statusText` is the line's status cell for the problem.
        virtual void keepingFailed(const char* statusText) = 0;
        // Everything held has been kept, after a problem was reported.
        virtual void keepingRecovered() = 0;
    };

    // `timerOwner` lives on the line's thread; the retry timer becomes its child.
    RecordingKeeper(LineOutlet& outlet, Listener& listener, QObject* timerOwner);
    // finish(); the retry timer goes with the keeper.
    ~RecordingKeeper();

    RecordingKeeper(const RecordingKeeper&) = delete;
    RecordingKeeper& operator=(const RecordingKeeper&) = delete;

    // Where recordings and rows go, and how the line is named in messages and the log.
    void setProgramFolder(const QString& appPath) { m_appPath = appPath; }
    QString programFolder() const { return m_appPath; }
    void setLine(qint16 row, const QString& name);

    // Who called, as the provider told it.
    struct Caller {
        QString number;
        QString name;
        QString keys; // pressed during the call
    };
    // Saves `audio` as `name` (or a free variant of it) and logs the call at `callTime`,
    // with its caller, the line and its length. Recordings held back go first, so that the
    // list keeps the order of the calls.
    void keep(const QDateTime& callTime, const QString& name, const QByteArray& audio,
              const Caller& caller = {});
    // Tries again what is held; the retry timer calls it too.
    void retry();
    // The line is ending: a last try; what still cannot be saved goes to the last-resort
    // folder, and every row still missing is named in the log (the next start lists it).
    void finish();
    qsizetype heldRecordings() const { return m_unsaved.size(); }
    qsizetype heldRows() const { return m_unlogged.size(); }

    // How many recordings are held in memory (a minute of audio is 480 kB) before the
    // oldest goes to the last-resort folder.
    static constexpr qsizetype kMaxHeld = 32;
    // How often what is held is tried again.
    static constexpr int kRetryMs = 15000;

    // Where a line puts the recordings of `appPath` that it could not save there, to be
    // listed from there at the next start: the user's state folder ($XDG_STATE_HOME, or
    // ~/.local/state), Orvane/unsaved-recordings/, a folder per program folder.
    static QString unsavedRecordingsFolder(const QString& appPath);
    // Where they go when the state folder cannot take them either (it is often on the same
    // disk as the program folder, and that disk full): $TMPDIR/orvane-unsaved-recordings/.
    static QString fallbackUnsavedRecordingsFolder(const QString& appPath);

    // Once per program folder and process, on a worker: recoverUnloggedRecordings() of
    // everything older than the process.
    static void recoverUnlogged(const QString& appPath);
    // Recordings that a line of an earlier run could not save in `appPath` are moved into
    // its Rec-Files/ first. Then: recordings older than `before` that have no row in
    // rec_message (a run that ended between file and row, or could not write its rows):
    // each is listed now, at the time it began (the file's time less its length). Whole
    // part files of such a run are named first; part files that are not whole are left as
    // they are. Returns how many were listed.
    static int recoverUnloggedRecordings(const QString& appPath, const QDateTime& before);

private:
    void logRecording(const QDateTime& callTime, const QString& fileName,
                      const recmessage::CallDetails& details);
    recmessage::CallDetails detailsOf(const Caller& caller, qsizetype audioBytes) const;
    // The row is written: the outlet hears of it.
    void listed(const QDateTime& callTime, const QString& fileName,
                const recmessage::CallDetails& details);
    void reportProblem(const char* statusText, const QString& reason, const QString& message);
    void recovered();
    // The oldest recording held goes where a file can still be written.
    void keepLastResort();

    struct Unsaved {
        QDateTime callTime;
        QString name;
        QByteArray audio;
        QString part; // a whole file already on disk that only needs its name, if any
        recmessage::CallDetails details;
    };
    struct Unlogged {
        QDateTime callTime;
        QString fileName;
        recmessage::CallDetails details;
    };

    LineOutlet& m_outlet;
    Listener& m_listener;
    QString m_appPath;
    qint16 m_row = 0;
    QString m_lineName;
    QList<Unsaved> m_unsaved;
    QList<Unlogged> m_unlogged;
    QTimer* m_retryTimer;
    // The problem last told, so that it is told once while it lasts.
    QString m_lastProblem;
};

} // namespace orvane
