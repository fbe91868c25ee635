#pragma once

// One line of the answering machine: the line server's `clsTapi` object. It binds to one
// line of the telephony service, registers for its calls, answers after the set number
// of rings, plays the greeting, records the caller, has the recording kept and the call
// logged (RecordingKeeper), and writes each change of its state into its row of the
// client's status grid. The same object runs fax jobs (FaxJob) on a line of its choosing.
//
// Thread: an object lives on a thread of its own and is used only there. Its long steps
// (the greeting, the recording) block that thread and no other line.

#include "line_server/line/FaxJob.h"
#include "line_server/line/LineOutlet.h"
#include "line_server/line/RecordingKeeper.h"
#include "line_server/line/StatusGrid.h"
#include "line_server/line/wave.h"
#include "platform/Status.h"
#include "platform/speech/Speech.h"
#include "platform/telephony/Telephony.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace orvane {

class CallAudioOutput;
class WaveDevice;

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

class ClsTapi : private TapiEventReceiver, private RecordingKeeper::Listener {
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

    // The call the line is handling, from its notification to its release.
    struct Call {
        std::shared_ptr<TelephonyCall> info;    // the call notified
        std::shared_ptr<TelephonyCall> control; // the call answered (none when monitor-only)
        QDateTime time;                         // when it came
        std::unique_ptr<LineMedia> media;
        // The call's audio device, held from the answer to the hang-up: the greeting and the
        // recording use the same one even when the caller hangs up in between.
        std::shared_ptr<WaveDevice> device;
        qint32 format = 0;     // the device's format code, from the line media component
        bool answered = false; // the line took it (on SIP: its 200 OK is out)
    };
    // A status text that stays through the disconnection, until the next call (or until
    // the problem is over).
    enum class StickyStatus { None, CannotAnswer, KeepingProblem };

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
    using OutputOpener = std::function<Result<std::unique_ptr<CallAudioOutput>>()>;
    Status playFile(const OutputOpener& open, const QString& path);
    Status speak(const OutputOpener& open, const QString& text, const VoiceSettings& voice);
    Result<std::unique_ptr<CallAudioOutput>> callOutput() const;
    void timer1Tick();
    void finishRecording();
    // A line that listens for fax machines hears the call from the answer on; once one is
    // heard, the greeting and the recording end and the call is taken as a fax instead,
    // filed in the program folder's Fax-Files, listed and announced as faxes are.
    void listenForFax();
    bool faxHeard() const;
    Status receiveFax();
    void releaseCall();
    void unbind();

    // RecordingKeeper::Listener
    void keepingFailed(const char* statusText) override;
    void keepingRecovered() override;

    QString lineName() const;
    void writeStatus(const char* text) { writeStatus(QString::fromLatin1(text)); }
    void writeStatus(const QString& text);
    void writeRowHead(const QString& addressName);
    // The status a line shows between calls.
    const char* waitingStatus() const;

    LineOutlet& m_outlet;

    // Binding and registration.
    std::unique_ptr<Telephony> m_telephony;
    std::optional<TelephonyAddress> m_boundAddress;
    qint32 m_cookie = 0;
    QString m_statusText;

    // Where the line reports.
    StatusGrid m_grid;
    qint16 m_row = 0;

    LineSettings m_settings;

    Call m_call;
    qint16 m_ringCounter = 0;
    bool m_ready = true;
    StickyStatus m_sticky = StickyStatus::None;
    // The line's account cannot be used now (a registration refused or unanswered).
    bool m_outOfService = false;
    // The problems last told, so that each is told once while it lasts.
    QString m_lastGreetingProblem, m_lastServiceProblem;

    // Recording, finished by the line's timer. The call and the time a recording belongs
    // to are its own: the line may have moved on to the next call when it is finished.
    struct RecordingCall {
        std::shared_ptr<TelephonyCall> call;
        QDateTime callTime;
    };
    WaveRecorder m_recorder;
    std::optional<RecordingCall> m_recordingCall;
    QTimer* m_timer1 = nullptr;

    RecordingKeeper m_keeper;
    FaxJob m_faxJob;
};

} // namespace orvane
