#pragma once

// A simulated call's audio device: 8 kHz mu-law both ways, moved by the simulator's clock
// thread. What the machine sends is what the simulated caller hears; what the caller says
// (a WAV file, or silence) is what the machine records. The device keeps its pace after
// the caller has hung up (the caller is then silent), so a greeting still plays to its
// end and a recording still gets its full length.

#include "platform/audio/WaveDevice.h"

#include <QByteArray>
#include <QMutex>
#include <QWaitCondition>

#include <functional>

namespace orvane::sim {

class SimWaveDevice : public WaveDevice {
public:
    // `callerAudio`: what the caller says, mu-law. The caller starts at once, or, when
    // `callerWaits`, once the machine has finished its first message (the greeting), as
    // a caller waits for the tone.
    SimWaveDevice(QByteArray callerAudio, bool callerWaits, bool keepHeard, double speed,
                  qint64 startNs);

    qint32 formatType() const override;
    int sampleRate() const override { return 8000; }
    Status write(const quint8* data, qsizetype size) override;
    Status drain() override;
    Status startRecording(WaveInBuffer* buffer, std::function<void()> done) override;
    void stopRecording() override;

    // Clock thread: moves every byte that is due at `nowNs`.
    void tick(qint64 nowNs);
    // The caller hung up or was hung up on: from now on the caller hears nothing and says
    // nothing.
    void endCall();
    // Shutting down: blocked writers give up.
    void close();

    bool idle() const; // nothing queued and nothing being recorded
    QByteArray heard() const;
    qint64 firstSentNs() const;   // when the machine's first byte reached the caller, or 0
    qint64 underrunBytes() const; // silence sent while a writer still had more to say

private:
    mutable QMutex m_mutex;
    QWaitCondition m_changed;
    const double m_speed;
    const qint64 m_startNs;
    qint64 m_clocked = 0; // bytes moved each way since the call connected

    QByteArray m_out; // queued for the caller, from m_outHead
    qsizetype m_outHead = 0;
    bool m_writing = false; // a writer has queued and not yet drained
    qint64 m_firstSentNs = 0;
    qint64 m_underrun = 0;
    qint64 m_gap = 0; // silence sent since the writer's last bytes

    QByteArray m_callerAudio;
    qsizetype m_callerPos = 0;
    bool m_callerSpeaking;
    bool m_callEnded = false;
    bool m_closed = false;
    bool m_keepHeard;
    QByteArray m_heard;

    WaveInBuffer* m_in = nullptr;
    std::function<void()> m_inDone;
};

} // namespace orvane::sim
