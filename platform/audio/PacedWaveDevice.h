#pragma once

// A call's audio device moved at the line's pace by a clock of its own (the simulator's
// clock thread, or a line's RTP timer): each step sends what the machine has queued (or
// silence) and hands what came in to the running recording. Subclasses say where the sent
// audio goes and where the incoming audio comes from.
//
// Thread: write, writeSound, drain, startRecording and stopRecording from any thread;
// advance from the pacing thread. The hooks run on the pacing thread under the device's
// lock.
//
// A subclass whose line can carry T.38 says so (carriesT38), sends the IFPs, hands over
// those that come (deliverIfp) and tells when the call changes transport; the rest of the
// T.38 side is here: while the call carries T.38 no audio goes out, writers' audio is let
// go at the line's pace, and the attached T.38 session steps with the clock.

#include "platform/audio/FaxPacketLine.h"
#include "platform/audio/WaveDevice.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include <atomic>

namespace orvane {

class PacedWaveDevice : public WaveDevice, public FaxPacketLine {
public:
    qint32 formatType() const override;
    int sampleRate() const override { return 8000; }
    Status write(const quint8* data, qsizetype size) override;
    Status writeSound(Sound sound) override;
    Status drain() override;
    Status startRecording(WaveInBuffer* buffer, std::function<void()> done) override;
    void stopRecording() override;
    Status attachExchange(Exchange exchange) override;
    void detachExchange() override;
    void setListener(Listener listener) override;
    bool interrupted() const override;
    FaxPacketLine* packetLine() override { return carriesT38() ? this : nullptr; }

    // FaxPacketLine, but sending.
    Transport transport() const override;
    bool askForT38() override;
    void setTransportListener(TransportListener listener) override;
    Status attachT38(T38Session session) override;
    void detachT38() override;

    // Shutting down: blocked writers give up, a running recording returns its buffer.
    void close();
    bool idle() const;            // nothing queued and nothing being recorded
    qint64 firstSentNs() const;   // when the machine's first byte went out, or 0
    qint64 underrunBytes() const; // silence sent while a writer still had more to say
    // Bytes the running recording still takes; -1 when none runs.
    qint64 recordingLeftBytes() const;
    // The far end is gone and the line is to be free at once: what is queued for it is
    // dropped, later writes are too, and the running recording (or one started later) ends
    // at the next step with what it has.
    void cutShort();

protected:
    // Moves `count` bytes each way.
    void advance(qsizetype count, qint64 nowNs);
    // `count` bytes go to the far end: the machine's queued audio, silence after it.
    virtual void transmit(const quint8* data, qsizetype count) = 0;
    // Fill `count` bytes with what the far end sent.
    virtual void receive(quint8* into, qsizetype count) = 0;
    // A writer has drained its message (the greeting is over).
    virtual void drained() {}
    // Under m_mutex: an exchange (a fax modem) was attached, or let go.
    virtual void exchangeAttached(bool attached) { Q_UNUSED(attached); }
    // Under m_mutex: the caller skips what the machine says (a greeting, while nothing is
    // recorded): what is queued is dropped, and what its writer still writes until it
    // drains. False when the machine says nothing now.
    bool skipSayingLocked();

    // T.38: whether the line can carry it at all, and whether it asks for it (set before
    // the device is used).
    virtual bool carriesT38() const { return false; }
    void setT38Asking(bool mayAsk);
    // Whether askForT38 was called since the last time: the subclass asks on its clock.
    bool takeT38Request();
    // Clock thread, outside the lock: the call carries its fax as `transport` from now on,
    // or (Audio) the far end refused to switch. A call turning to T.38 with no fax session
    // on it is a fax machine calling: what the machine says and records ends, as when a
    // listener interrupts.
    void changeTransport(Transport transport);
    // Clock thread, outside the lock: an IFP from the far end.
    void deliverIfp(quint16 sequence, const QByteArray& ifp);

    mutable QMutex m_mutex;

private:
    // What is queued for the far end: wire bytes, or a sound encoded as it goes out.
    struct Segment {
        QByteArray bytes;
        Sound sound;
        qsizetype at = 0; // the next byte or sample to send
        qsizetype size() const;
    };

    // advance() under the lock; true when writers are to be woken.
    bool advanceLocked(qsizetype count, qint64 nowNs);
    // A writer's turn: waits while the queue is full; fails once the device is closed.
    Status waitForRoomLocked();
    // What the machine says and records ends now (see setListener).
    void interruptLocked();

    QWaitCondition m_changed;
    QList<Segment> m_out;
    qsizetype m_queued = 0; // bytes still to send
    int m_waitingForRoom = 0;
    bool m_writing = false; // a writer has queued and not yet drained
    qint64 m_firstSentNs = 0;
    qint64 m_underrun = 0;
    qint64 m_gap = 0; // silence sent since the writer's last bytes
    bool m_closed = false;
    bool m_cutShort = false;
    bool m_skipping = false; // until the writer drains
    Listener m_listener;
    bool m_interrupted = false;
    QByteArray m_sendBlock, m_receiveBlock;

    Exchange m_exchange;
    Transport m_transport = Transport::Audio;
    TransportListener m_transportListener;
    T38Session m_t38;
    bool m_mayAskForT38 = false;
    std::atomic<bool> m_t38Asked{false}, m_t38Requested{false};
    WaveInBuffer* m_in = nullptr;
    std::function<void()> m_inDone;
};

} // namespace orvane
