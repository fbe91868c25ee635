#pragma once

// The telephony service as the line server and the desktop use it: lines as named
// addresses, call notifications and call events, answering and hanging up, and the line
// media component that names an answered call's audio device. Providers (`sim`, `sip`)
// implement these interfaces; nothing outside platform/telephony knows which one runs.

#include "platform/Status.h"
#include "platform/telephony/TapiConstants.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace orvane {

// One line of the telephony service.
struct TelephonyAddress {
    QString name;       // identifies the line across the telephony objects of two processes
    bool audio = false; // the line can carry voice
    QString number;     // the line's own number, where the provider knows one
    // Answering on it listens for a fax machine calling, and takes its fax.
    bool detectFax = false;

    bool queryMediaType(int mediaTypes) const
    {
        return (mediaTypes & tapi::TAPIMEDIATYPE_AUDIO) ? audio : false;
    }
    // A line a user can answer on: it carries voice and is no conference pseudo-line.
    bool isVoiceLine() const
    {
        return queryMediaType(tapi::TAPIMEDIATYPE_AUDIO) &&
               name != QLatin1String(tapi::H323_LINE) && name != QLatin1String(tapi::IPCONF_LINE);
    }
};

// One call. Thread-safe: any thread may ask and act on it.
class TelephonyCall {
public:
    virtual ~TelephonyCall() = default;
    virtual quint64 id() const = 0;
    virtual QString addressName() const = 0;
    virtual QString callerNumber() const = 0;
    // The caller's name, where the provider knows one.
    virtual QString callerName() const { return {}; }
    // The keys the caller pressed during the call so far, in order, where the provider
    // hears them.
    virtual QString keysPressed() const { return {}; }
    // CP_OWNER, or CP_MONITOR when this program may only watch the call.
    virtual int privilege() const = 0;
    virtual int state() const = 0;
    virtual Status answer() = 0;
    virtual Status disconnect(int code) = 0;
};

// An event of a telephony object, as its receiver gets it.
struct TapiEvent {
    int kind = 0;               // TE_ADDRESS, TE_CALLNOTIFICATION, TE_CALLSTATE
    QString addressName;        // the line the event belongs to
    int addressEvent = -1;      // TE_ADDRESS: AE_RINGING, AE_STATE, ...
    int addressState = -1;      // AE_STATE: AS_INSERVICE or AS_OUTOFSERVICE
    QString reason;             // AE_STATE: why the line is out of service
    int callState = -1;         // TE_CALLSTATE: CS_OFFERING, CS_CONNECTED, CS_DISCONNECTED, ...
    int cause = tapi::CEC_NONE; // CS_DISCONNECTED: why (CEC_DISCONNECT_BUSY, ...)
    std::shared_ptr<TelephonyCall> call; // TE_CALLNOTIFICATION and TE_CALLSTATE
    qint64 raisedAtNs = 0; // steady clock, when the provider raised it (for latency figures)
    qint64 raisedAtMs = 0; // wall clock (ms since the epoch), when the provider raised it
};

// Receives the events of a registration. Called on the thread that registered, one event
// at a time, in the order the provider raised them.
class TapiEventReceiver {
public:
    virtual ~TapiEventReceiver() = default;
    virtual void tapiEvent(const TapiEvent& event) = 0;
};

// The line media component: names an answered call's audio device and its audio format.
// Used on one thread at a time.
class LineMedia {
public:
    virtual ~LineMedia() = default;
    // The call's wave device id. `kind` is LINE_MEDIA_WAVE_DEVICE.
    virtual Result<qint32> waveDeviceId(const std::shared_ptr<TelephonyCall>& call, int kind) = 0;
    // The speech audio format code (platform/audio/AudioFormat.h) of that device.
    virtual Result<qint32> formatType(qint32 waveDeviceId) = 0;
};

// A telephony object. Used from the thread that created it; events of its registrations
// arrive on the thread that registered them.
class Telephony {
public:
    virtual ~Telephony() = default;
    virtual QString providerName() const = 0;
    virtual Status initialize() = 0;
    // Every line, in one stable order (the same in every process with the same configuration).
    virtual Result<QList<TelephonyAddress>> addresses() const = 0;
    virtual Status setEventFilter(int filter) = 0;
    // Returns a non-zero cookie. Events for the line go to `receiver` on the calling thread
    // until the cookie is unregistered or the object shuts down.
    virtual Result<qint32> registerCallNotifications(const QString& addressName, bool monitor,
                                                     bool owner, int mediaTypes,
                                                     qint32 callbackInstance,
                                                     TapiEventReceiver* receiver) = 0;
    virtual Status unregisterNotifications(qint32 cookie) = 0;
    virtual Status shutdown() = 0;
    // Places a call from the line to `number`. The call starts in CS_INPROGRESS; its state
    // events (CS_CONNECTED, CS_DISCONNECTED with the cause) go only to this object's
    // registrations for the line, so register for the line first. Fails at once when the
    // line cannot place calls (not registered, already in a call, not a voice line).
    virtual Result<std::shared_ptr<TelephonyCall>> createCall(const QString& addressName,
                                                              const QString& number) = 0;
    // Fails with err::CannotCreate when the component is missing.
    virtual Result<std::unique_ptr<LineMedia>> createLineMedia() = 0;
};

// The name of the provider the configuration chooses: `sip` when lines.conf names lines
// (or cannot be used), otherwise `sim`.
QString configuredProvider();
// A telephony object of the provider named (the configured one when empty); null for a
// name no provider has.
std::unique_ptr<Telephony> createTelephony(const QString& provider = QString());
// The process is ending: each provider wakes whatever waits on its audio, so that the
// lines can end in order.
void shutdownTelephony();
// What the user should know about the configuration that does not stop its lines (a
// password file that other users can read), each with what fixes it.
QStringList telephonyWarnings();

} // namespace orvane
