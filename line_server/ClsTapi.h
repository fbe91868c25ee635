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

    // The event receiver of the line's telephony object.
    void gobjTapiWithEvents_Event(const TapiEvent& event);

private:
    // How often the line's timer looks for a finished recording.
    static constexpr int kTimer1IntervalMs = 100;

    void tapiEvent(const TapiEvent& event) override { gobjTapiWithEvents_Event(event); }
    Status handleEvent(const TapiEvent& event);
    Status CallStateChanged(int state);
    Status answerAtRing();
    Status RecordCall();
    void prepareGreeting();
    void timer1Tick();
    void faxTick();
    void endFaxJob();
    Status refuseSecondJob() const;
    void finishRecording();
    void releaseCall();

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

    // The voices the last spoken greeting chose from.
    QList<VoiceInfo> m_voices;

    // Recording, finished by the line's timer.
    WaveRecorder m_recorder;
    QTimer* m_timer1 = nullptr;

    // A fax job, polled once a second by the line's timer (or the send job's own).
    std::unique_ptr<fax::FaxMachine> m_fax;
    bool m_faxActive = false;
    quint64 m_faxJob = 0; // counts the jobs started on the object
    QString m_faxMode;    // "SEND" or "REC"
    QString m_faxFolder;
    QString m_printFlag;
    qint16 m_faxRow = 1;
    QTimer* m_sendTimer = nullptr;
    QObject* m_timerOwner = nullptr;
};

} // namespace orvane
