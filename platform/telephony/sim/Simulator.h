#pragma once

// The simulated telephone exchange of the process: its lines, the calls on them and the
// telephony objects registered for them. Tests, benchmarks and the line server's
// simulator service place calls here as a caller would (ringing, talking from a WAV
// file, hanging up), read back what the caller heard, and inject the faults a real line
// can show. The `sim` telephony provider is the machine's side of the same exchange.
//
// Thread-safe. Rings, the audio clock and call endings run on the simulator's own thread.
// Each line has a lock of its own for its state and its calls', so that lines never wait
// for one another.
// Only the line server (and tests) make one: listing the lines needs no simulator.

#include "platform/HandOverList.h"
#include "platform/Status.h"
#include "platform/telephony/EventHub.h"
#include "platform/telephony/Telephony.h"
#include "platform/telephony/sim/SimConfig.h"

#include <QHash>
#include <QMutex>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThread;
class QTimer;

namespace orvane::sim {

class SimCall;
class SimWaveDevice;

enum class Fault {
    NoDeviceOnAnswer,  // the next call's answer fails with the no-device error
    MonitorOnly,       // the next call is offered to this program for watching only
    NoMediaComponent,  // the line media component is missing for the next call
    RegistrationFails, // registering for the line's calls fails, until cleared
    MalformedFaxPages, // the next call placed on the line is a fax machine whose pages are
                       // malformed (SimFaxCaller)
    FaxCaller,         // the next call placed on the line is a fax machine, its pages sound
};

// How long a dialled line rings before the call ends unanswered.
constexpr int kDialRings = 8;
constexpr int kDialRingIntervalMs = 6000;

struct CallRequest {
    QString line;
    QString callerNumber = QStringLiteral("5550100");
    int rings = 4;             // the caller gives up one ring interval after the last ring
    int ringIntervalMs = 6000; // simulated milliseconds between rings
    QString callerAudioPath;   // what the caller says (any WAV); empty: silence
    QByteArray callerAudio;    // or the same already as 8 kHz mu-law (loadCallerAudio)
    bool callerWaitsForGreeting = true;
    QString capturePath;    // where to write what the caller heard (mu-law WAV); optional
    int hangUpAfterMs = -1; // the caller hangs up this long after the answer; -1: never
};

struct CallRecord {
    quint64 id = 0;
    QString line;
    QString callerNumber;
    int state = tapi::CS_IDLE;
    int ringsRung = 0;
    int answeredAtRing = 0; // the ring after which the machine answered; 0: not answered
    bool endedByCaller = false;
    qint64 placedNs = 0, lastRingNs = 0, answeredNs = 0, firstSentNs = 0, endedNs = 0;
    qint64 heardBytes = 0;    // audio the caller heard (captured)
    qint64 underrunBytes = 0; // silence sent while the machine still had more to say
    QString capturePath;
};

class Simulator : public QObject {
    Q_OBJECT

public:
    static Simulator& instance();

    QList<LineConfig> lines() const { return m_lines; }
    double speed() const { return m_speed; }

    // --- the caller's side -----------------------------------------------------------
    // A WAV file as what a caller says: 8 kHz mu-law.
    static Result<QByteArray> loadCallerAudio(const QString& path);
    Result<quint64> placeCall(const CallRequest& request);
    Status hangUp(const QString& line); // the caller of the line's current call hangs up
    Status injectFault(const QString& line, Fault fault);
    Status clearFaults(const QString& line);
    std::optional<CallRecord> call(quint64 id) const;
    int registrations(const QString& line) const;
    quint64 currentCall(const QString& line) const; // 0: none

    // --- the provider's side (SimTelephony, SimCall, SimLineMedia) --------------------
    Result<qint32> registerReceiver(const QString& line, TapiEventReceiver* receiver,
                                    std::shared_ptr<std::atomic<int>> filter, const void* owner);
    // The hub the simulated lines raise their events through.
    EventHub& events() { return m_events; }
    // A call from one simulated line to the line with the number dialled. Unknown numbers
    // end "bad address", a line in a call "busy", a line that does not answer within
    // kDialRings rings "no answer"; answered, the two lines talk over a wire.
    Result<std::shared_ptr<TelephonyCall>> dial(const QString& line, const QString& number,
                                                const void* owner);
    Status answer(SimCall& call);
    Status disconnect(SimCall& call, int code, bool byCaller);
    bool hasFault(const SimCall& call, Fault fault) const;

    // Stops the simulator's thread; called when the application ends.
    void shutdown();

Q_SIGNALS:
    void callEnded(quint64 id);

private:
    struct Line;
    struct ActiveDevice;
    // A call just answered, on its way to the clock.
    struct Answered {
        std::shared_ptr<SimCall> call;
        QList<ActiveDevice*> devices;
    };

    Simulator();
    // The table of lines never changes after construction: looking one up takes no lock.
    Line* lineOf(const QString& name) const;
    // The line, when it is there and carries voice.
    Result<Line*> voiceLine(const QString& name) const;
    void deliverLocked(Line& line, TapiEvent event, const void* onlyOwner = nullptr);
    void deliverStateLocked(Line& line, const std::shared_ptr<SimCall>& call, int state,
                            int cause = tapi::CEC_NONE);
    // `onlyFrom`: ends the call only while it is in that state.
    Status end(SimCall& call, int cause, bool byCaller, int onlyFrom = -1);
    // A new incoming call on the line (under the line's lock): offered, with its record;
    // `prepare` fills in the caller's side before anyone hears of it.
    std::shared_ptr<SimCall> offerLocked(Line& line, const QString& callerNumber,
                                         const QString& capturePath,
                                         const std::function<void(SimCall&)>& prepare);
    void post(Line& line);
    void startRinging(std::shared_ptr<SimCall> call, int rings, int intervalMs, int hangUpAfterMs);
    void ring(const std::shared_ptr<SimCall>& call);
    void callTimer(const std::shared_ptr<SimCall>& call);
    void clockTick();
    // Any thread, without a lock: the devices of a call just answered go to the clock.
    void handToClock(Answered answered);
    // Clock thread: what was handed over joins the devices the clock moves.
    void takeAnswered();
    // Closes what was handed over and never taken (the clock has stopped).
    void closePending();
    void stopClock();

    mutable QMutex m_mutex; // m_calls and m_ended
    EventHub m_events;
    QList<LineConfig> m_lines;
    QHash<QString, Line*> m_lineState;                // fixed at construction
    QHash<quint64, std::shared_ptr<SimCall>> m_calls; // calls not yet ended, with their records
    QHash<quint64, CallRecord> m_ended;               // the records of ended calls
    std::atomic<quint64> m_nextCall{1};
    double m_speed;
    QThread* m_thread = nullptr;
    std::atomic<bool> m_stopped{false};
    // The clock and the devices it moves belong to the simulator's thread. Answered calls
    // reach it through a list that takes no lock, so that lines answering at the same
    // moment never wait for one another or for the clock.
    QTimer* m_clock = nullptr;
    QList<ActiveDevice*> m_devices;
    HandOverList<Answered> m_answered;
    std::atomic<bool> m_clockWanted{false};
};

} // namespace orvane::sim
