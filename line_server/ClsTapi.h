#pragma once

// One line of the answering machine: the line server's `clsTapi` object. It binds to one
// line of the telephony service, registers for its calls, answers after the set number
// of rings, plays the greeting, records the caller, logs the call, and writes each change
// of its state into its row of the client's status grid.
//
// Thread: an object lives on a thread of its own and is used only there. Its long steps
// (the greeting, the recording) block that thread and no other line.

#include "line_server/LineOutlet.h"
#include "line_server/StatusGrid.h"
#include "line_server/wave.h"
#include "platform/Status.h"
#include "platform/speech/Speech.h"
#include "platform/telephony/Telephony.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QTimer;

namespace orvane::fax {
class FaxMachine;
}

namespace orvane {

// The answering settings a client pushes into a line.
struct LineSettings {
    qint16 rings = 0;
    QString playFile;
    qint16 recordTime = 0;
    QString playType;
    QString playMessage;
    qint16 volume = 0;
    qint16 rate = 0;
    qint16 voice = 0;
};

class ClsTapi : private TapiEventReceiver {
public:
    // `timerOwner` lives on the line's thread; the line's timer becomes its child.
    ClsTapi(LineOutlet& outlet, QObject* timerOwner);
    ~ClsTapi() override; // termination: unregisters and shuts the line down

    ClsTapi(const ClsTapi&) = delete;
    ClsTapi& operator=(const ClsTapi&) = delete;

    // --- the members of the line's interface -----------------------------------------
    void RegisterNotification1();
    void InitTAPI(const QString& sAddress, const StatusGrid& objMshFlex, qint16 iRowNo,
                  const QString& sClAppPt);
    Status playByTTS(qint32 media, qint32 mediaformat, const QString& sPath);
    QString getMessage() const { return m_statusText; }
    void UnRegisterCallNotifications1();
    QString getAddress() const { return m_boundAddress ? m_boundAddress->name : QString(); }
    Status playTextByTTS(qint32 media, qint32 mediaformat, const QString& sText);
    Status FnSendFax(const QString& sNumber, const QString& sFileName, const QString& sDirToSave,
                     const QString& sAddressName, const StatusGrid& objMshFlex);
    Status FnReceiveFax(const QString& sAddressName, const QString& sDirSave, qint16 iRows,
                        qint16 iPrint, const StatusGrid& objMshFlex, const QString& sClAppPt);

    // The eight settings: puts store, gets return; the next call reads them.
    const LineSettings& settings() const { return m_settings; }
    LineSettings& settings() { return m_settings; }

    // From any thread, when nobody is left to answer for (the line's owner left the bus,
    // the server is ending): a recording stops waiting for its full time, so that the
    // line ends at once, keeping and logging what was recorded and hanging up.
    void cutShort() { m_recorder.cutShort(); }

    // The event receiver of the line's telephony object.
    void gobjTapiWithEvents_Event(const TapiEvent& event);

private:
    // How often the line's timer looks for a finished recording.
    static constexpr int kTimer1IntervalMs = 100;
    // How often a line tries again to keep what it could not.
    static constexpr int kRetryKeepingMs = 15000;

    void tapiEvent(const TapiEvent& event) override { gobjTapiWithEvents_Event(event); }
    Status handleEvent(const TapiEvent& event);
    // An event of a call other than the one the line is handling (a call whose end was
    // already dealt with, while the next one rings): not this call's business.
    bool ofAnotherCall(const TapiEvent& event) const;
    void addressStateChanged(const TapiEvent& event);
    Status CallStateChanged(int state);
    Status answerAtRing();
    Status RecordCall();
    void prepareGreeting();
    // The greeting; when it cannot be played, the user is told and the caller gets the
    // text in the standard voice, the default greeting or a standard sentence instead.
    // Fails only for the failures the call handling answers itself.
    Status playGreeting();
    QString playStandInGreeting();
    void timer1Tick();
    void faxTick();
    // The line's fax component, made on first use.
    fax::FaxMachine& faxMachine();
    void endFaxJob();
    Status refuseSecondJob() const;
    void finishRecording();
    void releaseCall();

    // Keeping recordings and their log rows (ClsTapiKeep.cpp). What cannot be kept now is
    // held and tried again until it can; the status cell and a message say so.
    void keepRecording(const QDateTime& callTime, const QString& name, const QByteArray& audio);
    void logRecording(const QDateTime& callTime, const QString& fileName);
    void retryKeeping();
    void reportKeepingProblem(const char* statusText, const QString& reason,
                              const QString& message);
    void keepingRecovered();
    void keepLastResort();
    // Once per program folder and process: recordings of an earlier run that have no row.
    void recoverUnlogged();
    QString lineName() const;

    void writeStatus(const char* text) { writeStatus(QString::fromLatin1(text)); }
    void writeStatus(const QString& text);
    void writeRowHead(const QString& addressName);

    LineOutlet& m_outlet;

    // Binding and registration.
    std::unique_ptr<Telephony> m_telephony;
    std::optional<TelephonyAddress> m_boundAddress;
    qint32 m_cookie = 0;
    QString m_statusText;

    // Where the line reports, and the client's program folder.
    StatusGrid m_grid;
    qint16 m_row = 0;
    QString m_appPath;

    LineSettings m_settings;

    // The current call.
    std::shared_ptr<TelephonyCall> m_callInfo;
    std::shared_ptr<TelephonyCall> m_callControl;
    QDateTime m_callTime;
    std::unique_ptr<LineMedia> m_lineMedia;
    qint32 m_waveDeviceId = 0;
    qint32 m_speechFormat = 0;
    qint16 m_ringCounter = 0;
    bool m_ready = true;
    bool m_cannotAnswer = false;
    // A problem's status text stays through the disconnection, until the next call or
    // until the problem is over.
    bool m_keepStatus = false;
    // The line's account cannot be used now (a registration refused or unanswered).
    bool m_outOfService = false;
    QString m_lastGreetingProblem, m_lastKeepingProblem, m_lastServiceProblem;

    // The voices the last spoken greeting chose from.
    QList<VoiceInfo> m_voices;

    // Recording, finished by the line's timer. The call and the time a recording belongs
    // to are its own: the line may have moved on to the next call when it is finished.
    struct RecordingCall {
        std::shared_ptr<TelephonyCall> call;
        QDateTime callTime;
    };
    WaveRecorder m_recorder;
    std::optional<RecordingCall> m_recordingCall;
    QTimer* m_timer1 = nullptr;

    // What could not be kept yet.
    struct Unsaved {
        QDateTime callTime;
        QString name;
        QByteArray audio;
        QString part; // a whole file already on disk that only needs its name, if any
    };
    struct Unlogged {
        QDateTime callTime;
        QString fileName;
    };
    QList<Unsaved> m_unsaved;
    QList<Unlogged> m_unlogged;
    QTimer* m_retryTimer = nullptr;

    // A fax job, polled once a second by the line's timer (or the send job's own).
    std::unique_ptr<fax::FaxMachine> m_fax;
    bool m_faxActive = false;
    quint64 m_faxJob = 0; // counts the jobs started on the object
    QString m_faxMode;    // "SEND" or "REC"
    QString m_faxFolder;
    QString m_printFlag;
    QStringList m_unloggedFaxes; // received, kept, not yet in recieve_fax
    QString m_faxLine, m_faxNumber;
    qint16 m_faxRow = 1;
    QTimer* m_sendTimer = nullptr;
    QObject* m_timerOwner = nullptr;
};

} // namespace orvane
