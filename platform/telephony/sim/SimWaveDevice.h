#pragma once

// A simulated call's audio device, moved by the simulator's clock thread. What the machine
// sends is what the simulated caller hears; what the caller says (a WAV file, or silence)
// is what the machine records. The device keeps its pace after the caller has hung up (the
// caller is then silent), so a greeting still plays to its end and a recording still gets
// its full length.

#include "platform/audio/PacedWaveDevice.h"
#include "platform/fax/Udptl.h"
#include "platform/telephony/sim/SimConfig.h"

namespace orvane::sim {

class SimFaxCaller;

// The line between two simulated lines in a call with each other (a fax sent from one line
// to another): what one side sends reaches the other one wire step later. It carries audio,
// or T.38 datagrams (UDPTL with redundancy, as on a SIP line) once the receiving side has
// asked for them. It loses packets at random at `loss`, the same ones for the same seed.
// Only the simulator's clock thread touches it.
struct SimWire {
    SimWire(FaxTransport transport = FaxTransport::Auto, double loss = 0, quint64 seed = 1);
    // Whether packet `index` of those sent to `side` (of audio, or of datagrams) is lost
    // on the way: the same packets for the same seed, however the clock steps.
    bool loses(int side, bool datagram, qint64 index);

    const FaxTransport transport;
    const double loss;
    const quint64 seed;
    QByteArray toSide[2];
    qint64 audioBytesToSide[2] = {0, 0};
    qint64 datagramsSentToSide[2] = {0, 0};
    bool t38 = false;
    QList<QByteArray> datagramsToSide[2];
    fax::UdptlEncoder encoders[2] = {fax::UdptlEncoder(3), fax::UdptlEncoder(3)};
    fax::UdptlDecoder decoders[2];
};

class SimWaveDevice : public PacedWaveDevice {
public:
    // `callerAudio`: what the caller says, mu-law. The caller starts at once, or, when
    // `callerWaits`, once the machine has finished its first message (the greeting), as
    // a caller waits for the tone.
    SimWaveDevice(QByteArray callerAudio, bool callerWaits, bool keepHeard, double speed,
                  qint64 startNs);

    // A call whose caller is a fax machine: it hears what the machine sends and answers.
    SimWaveDevice(std::shared_ptr<SimFaxCaller> faxCaller, bool keepHeard, double speed,
                  qint64 startNs);

    // One side (0 or 1) of a call between two simulated lines.
    SimWaveDevice(std::shared_ptr<SimWire> wire, int side, double speed, qint64 startNs);

    // Clock thread: moves every byte that is due at `nowNs`.
    void tick(qint64 nowNs);
    // Clock thread: moves both sides of a wire in lock step, one wire step at a time, so
    // that neither ever waits for the other's audio: every sample arrives exactly one step
    // later, however late the clock wakes. Both must have started together.
    static void tickLinked(SimWaveDevice& a, SimWaveDevice& b, qint64 nowNs);
    // The caller hung up or was hung up on: from now on the caller hears and says nothing.
    void endCall();
    bool callEnded() const;
    QByteArray heard() const;

    void sendIfp(const QByteArray& ifp, int count) override;

protected:
    bool carriesT38() const override;
    void transmit(const quint8* data, qsizetype count) override;
    void receive(quint8* into, qsizetype count) override;
    void drained() override { m_callerSpeaking = true; }

private:
    qint64 dueLocked(qint64 nowNs) const;
    // Clock thread, outside the locks: a side's wish for T.38 is granted for both sides.
    static void switchIfAsked(SimWaveDevice& a, SimWaveDevice& b);
    // Clock thread, outside the lock: the datagrams that reached this side.
    void takeDatagrams();

    const double m_speed;
    const qint64 m_startNs;
    qint64 m_clocked = 0; // bytes moved each way since the call connected
    QByteArray m_callerAudio;
    qsizetype m_callerPos = 0;
    bool m_callerSpeaking;
    bool m_callEnded = false;
    bool m_keepHeard;
    QByteArray m_heard;
    std::shared_ptr<SimWire> m_wire;
    int m_side = 0;
    std::shared_ptr<SimFaxCaller> m_faxCaller;
};

} // namespace orvane::sim
