#pragma once

// A call that can carry a fax as T.38 packets (IFPs) instead of audio: a SIP line with a
// UDPTL stream, or two simulated lines in a call with each other. A fax modem's tones do
// not survive lost audio packets; T.38 sends what the modems mean, with redundancy.
//
// The call starts as audio, or as T.38 when it was offered so. The receiving side asks to
// switch as its fax session starts; the far end may switch on its own. Either way the
// transport listener hears the change, and the fax session moves to the new transport.
//
// Thread: the listener runs on the device's clock thread outside the device's lock; step and
// take run on that thread under the lock, and may call nothing of the device but sendIfp.
// askForT38 may be called from anywhere, an exchange's step included.

#include "platform/Status.h"

#include <QByteArray>
#include <QtGlobal>

#include <functional>

namespace orvane {

class FaxPacketLine {
public:
    enum class Transport { Audio, T38 };

    virtual ~FaxPacketLine() = default;

    virtual Transport transport() const = 0;
    // Asks the far end to carry the call's fax as T.38. False when the line does not ask
    // (it carries faxes as audio only, or has asked already); otherwise the answer comes to
    // the listener: T38 when the far end agreed, Audio when it refused or did not answer.
    virtual bool askForT38() = 0;
    // Hears each change of transport and each answer to askForT38. Empty: none.
    using TransportListener = std::function<void(Transport)>;
    virtual void setTransportListener(TransportListener listener) = 0;

    // A fax session carried as T.38: while attached, `step` runs at every step of the
    // device's clock with the line time passed (8,000 samples a second), and `take` with
    // each IFP the far end sent, in order, with its sequence number.
    struct T38Session {
        std::function<void(qsizetype samples)> step;
        std::function<void(quint16 sequence, const QByteArray& ifp)> take;
    };
    virtual Status attachT38(T38Session session) = 0;
    // When this returns, the session's functions have run for the last time.
    virtual void detachT38() = 0;
    // An IFP to the far end, in `count` datagrams of its own (the T.38 terminal repeats
    // the ones that matter most; the datagrams' redundancy repeats every one besides).
    virtual void sendIfp(const QByteArray& ifp, int count) = 0;
};

} // namespace orvane
