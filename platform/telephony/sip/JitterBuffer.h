#pragma once

// What a caller sends over RTP, put back in order and played out at the line's pace: each
// take() gives exactly the samples asked for, from a fixed delay behind the first packet;
// what was lost or came too late is silence. Timestamps place the audio, so packets of any
// length and in any order land where they belong.
//
// Thread: one (the SIP event loop's).

#include <QByteArray>
#include <QtGlobal>

#include <map>

namespace orvane::sip {

class JitterBuffer {
public:
    // `delaySamples` behind the first packet; packets more than `windowSamples` away from
    // the play-out point restart the stream there. When packets come after their time (a
    // stall), play-out moves back to them, so the delay grows, up to `maxDelaySamples`.
    explicit JitterBuffer(int delaySamples = 480, int windowSamples = 16000,
                          int maxDelaySamples = 8000);

    void put(quint16 sequence, quint32 timestamp, const quint8* payload, qsizetype size);
    // Steady: the delay never grows; what comes too late is silence. Fax modems follow a
    // steady stream with gaps better than one whose timing shifts under them.
    void setSteady(bool steady) { m_steady = steady; }
    void take(quint8* into, qsizetype count);

    qint64 received() const { return m_received; }
    qint64 late() const { return m_late; }           // packets that came too late to be played
    qint64 recovered() const { return m_recovered; } // late packets the buffer grew for
    qint64 missing() const { return m_missing; }     // samples played as silence after the start
    qint64 restarts() const { return m_restarts; }

private:
    qint64 extend(quint32 timestamp);
    void restartAt(qint64 at);

    const int m_delay;
    const int m_window;
    const int m_maxDelay;
    bool m_started = false;
    bool m_steady = false;
    qint64 m_lastExtended = 0;
    qint64 m_playout = 0; // extended timestamp of the next sample to take
    qint64 m_firstAt = 0;
    qint64 m_highestEnd = 0;
    std::map<qint64, QByteArray> m_packets;
    qint64 m_received = 0, m_late = 0, m_recovered = 0, m_missing = 0, m_restarts = 0;
};

} // namespace orvane::sip
