#pragma once

// A simulated call's audio device, moved by the simulator's clock thread. What the machine
// sends is what the simulated caller hears; what the caller says (a WAV file, or silence)
// is what the machine records. The device keeps its pace after the caller has hung up (the
// caller is then silent), so a greeting still plays to its end and a recording still gets
// its full length.

#include "platform/audio/PacedWaveDevice.h"

namespace orvane::sim {

class SimWaveDevice : public PacedWaveDevice {
public:
    // `callerAudio`: what the caller says, mu-law. The caller starts at once, or, when
    // `callerWaits`, once the machine has finished its first message (the greeting), as
    // a caller waits for the tone.
    SimWaveDevice(QByteArray callerAudio, bool callerWaits, bool keepHeard, double speed,
                  qint64 startNs);

    // Clock thread: moves every byte that is due at `nowNs`.
    void tick(qint64 nowNs);
    // The caller hung up or was hung up on: from now on the caller hears and says nothing.
    void endCall();
    QByteArray heard() const;

protected:
    void transmit(const quint8* data, qsizetype count) override;
    void receive(quint8* into, qsizetype count) override;
    void drained() override { m_callerSpeaking = true; }

private:
    const double m_speed;
    const qint64 m_startNs;
    qint64 m_clocked = 0; // bytes moved each way since the call connected
    QByteArray m_callerAudio;
    qsizetype m_callerPos = 0;
    bool m_callerSpeaking;
    bool m_callEnded = false;
    bool m_keepHeard;
    QByteArray m_heard;
};

} // namespace orvane::sim
