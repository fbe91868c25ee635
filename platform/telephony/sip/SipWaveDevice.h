#pragma once

// A SIP call's audio device: its RTP session. Every 20 ms the line's timer moves 160 bytes
// each way: what the machine has queued (or silence) goes out as one RTP packet, and what
// the caller sent comes out of the jitter buffer (silence where packets were lost), so that
// a recording always has exactly its length. The wire law is converted at the edge: the
// device itself always carries mu-law.
//
// Thread: the SIP loop's, except what PacedWaveDevice allows from any thread.

#include "platform/audio/PacedWaveDevice.h"
#include "platform/telephony/sip/JitterBuffer.h"
#include "platform/telephony/sip/SipSdp.h"
#include "platform/telephony/sip/TelephoneEvents.h"

#include <functional>

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

namespace orvane::sip {

class SipWaveDevice : public PacedWaveDevice {
public:
    SipWaveDevice(struct rtp_sock* rtp, const struct sa& remote, Codec codec, qint64 startNs);

    // Moves what is due at `nowNs`, in whole 20 ms packets.
    void tick(qint64 nowNs);
    // An RTP packet from the far end; dropped unless it belongs to the caller's one stream
    // (see acceptSource) and carries the negotiated law. Our audio goes where that stream
    // comes from, which is not where the SDP says when the caller is behind NAT.
    void deliver(const struct sa& source, const rtp_header& header, const quint8* payload,
                 qsizetype size);
    // Where the far end's RTP comes from and goes to, and its law, once known or changed.
    void setRemote(const struct sa& remote, Codec codec);
    // Whether the far end takes audio now (not while it holds the call).
    void setSending(bool sending);
    // The telephone-event payload type the far end sends keys as (-1: none).
    void setEventPayload(int payloadType);
    // Keys: `skipKey` (0: none) skips the greeting while it plays; `pressed` hears every key
    // (on the SIP loop, under the device's lock: it must not call back into the device).
    void setKeys(char skipKey, std::function<void(char)> pressed);
    // A key the far end pressed, told by other means than RTP (SIP INFO).
    void keyPressed(char key);
    // Whether the caller's stream is heard from the address its SDP named.
    bool sourceIsTheSdps() const;
    // T.38: whether the line carries faxes so; `ask` runs on the loop when a fax session
    // wants T.38, `send` with each IFP to go out.
    void setT38(bool carries, std::function<void()> ask,
                std::function<void(const QByteArray&)> send);
    using PacedWaveDevice::changeTransport;
    using PacedWaveDevice::deliverIfp;
    void sendIfp(const QByteArray& ifp, int count) override;

    // The call is over: nothing more is sent (the RTP socket is not touched again), and the
    // caller is silent. With `cutShort` the recording ends too, so that the line is free at
    // once.
    void endCall(bool cutShort = false);

    qint64 packetsSent() const;
    qint64 packetsDropped() const; // from elsewhere, or of another payload type
    qint64 samplesMissing() const;
    qint64 packetsLate() const;
    qint64 packetsReceived() const;
    qint64 packetsRecovered() const; // came late, played after all

protected:
    bool carriesT38() const override { return m_carriesT38; }
    void transmit(const quint8* data, qsizetype count) override;
    // A fax modem hears the caller at a steady delay, lost audio as silence.
    void exchangeAttached(bool attached) override { m_jitter.setSteady(attached); }
    void receive(quint8* into, qsizetype count) override;

private:
    // Under m_mutex: whether a packet from `source` belongs to the caller's stream.
    struct Held;
    // `audio`: the packet's mu-law, held while its stream is not yet taken (none for keys).
    bool acceptSource(const struct sa& source, quint16 sequence, qint64 nowNs,
                      const Held* audio = nullptr);
    // Where our audio goes: the caller's stream's source once taken, else the SDP's.
    const struct sa& destination() const;
    void keyPressedLocked(char key);

    struct rtp_sock* m_rtp;
    struct sa m_remote;
    Codec m_codec;
    const qint64 m_startNs;
    qint64 m_clocked = 0;
    qint64 m_lastTickNs = 0; // the clock's time, for when packets came
    quint32 m_timestamp;
    bool m_marker = true;
    bool m_callEnded = false;
    bool m_sending = true;
    // The source the caller's audio is taken from, once heard; m_latchedToRemote when it is
    // the one the SDP named (then no other is ever taken).
    bool m_latched = false;
    bool m_latchedToRemote = false;
    struct sa m_source;
    qint64 m_sourceHeardNs = 0;
    // Streams from elsewhere, each taken once it has sent a few packets in sequence. Their
    // audio so far is held, and goes into the recording when the stream is taken.
    struct Held {
        quint16 sequence;
        quint32 timestamp;
        QByteArray ulaw;
    };
    struct Candidate {
        struct sa source;
        quint16 nextSequence = 0;
        int run = 0;
        QList<Held> held;
    };
    QList<Candidate> m_candidates;
    JitterBuffer m_jitter;
    int m_eventPayload = kPayloadTelephoneEvent;
    TelephoneEvents m_events;
    char m_skipKey = 0;
    std::function<void(char)> m_pressed;
    qint64 m_sent = 0, m_dropped = 0;
    bool m_carriesT38 = false;
    std::function<void()> m_askT38;
    std::function<void(const QByteArray&)> m_sendIfp;
};

} // namespace orvane::sip
