#include "platform/telephony/sip/SipWaveDevice.h"

#include "platform/audio/G711.h"

#include <QRandomGenerator>

#include <algorithm>

#include <cstring>

namespace orvane::sip {

namespace {
constexpr qsizetype kPacketBytes = 160; // 20 ms at 8 kHz
// A stream from an address the SDP did not name is taken after this many packets in
// sequence: a stray packet or two never is.
constexpr int kTakeAfterPackets = 3;
// A stream taken that way gives way to another only after this long without a packet (the
// caller's NAT gave it a new port); two streams at once never take turns.
constexpr qint64 kSourceSilentNs = 500'000'000;
// Streams watched at once before one is taken.
constexpr qsizetype kMaxCandidates = 8;
} // namespace

SipWaveDevice::SipWaveDevice(struct rtp_sock* rtp, const struct sa& remote, Codec codec,
                             qint64 startNs)
    : m_rtp(rtp)
    , m_remote(remote)
    , m_codec(codec)
    , m_startNs(startNs)
    , m_timestamp(QRandomGenerator::global()->generate())
{
    sa_init(&m_source, AF_UNSPEC);
}

void SipWaveDevice::tick(qint64 nowNs)
{
    qint64 due = 0;
    {
        QMutexLocker lock(&m_mutex);
        const qint64 samples = (nowNs - m_startNs) * 8000 / 1'000'000'000;
        due = (samples - m_clocked) / kPacketBytes * kPacketBytes;
        if (due <= 0)
            return;
        m_clocked += due;
        m_lastTickNs = nowNs;
    }
    advance(qsizetype(due), nowNs);
    // A fax session asked for T.38 during the step: the far end is asked now, outside the
    // device's lock.
    if (takeT38Request() && m_askT38)
        m_askT38();
}

void SipWaveDevice::setT38(bool carries, std::function<void()> ask,
                           std::function<void(const QByteArray&)> send)
{
    m_carriesT38 = carries;
    setT38Asking(carries);
    m_askT38 = std::move(ask);
    m_sendIfp = std::move(send);
}

void SipWaveDevice::sendIfp(const QByteArray& ifp, int count)
{
    // Under the lock, inside the T.38 session's step, on the loop.
    if (m_callEnded || !m_sendIfp)
        return;
    for (int i = 0; i < qMax(1, count); ++i)
        m_sendIfp(ifp);
}

void SipWaveDevice::transmit(const quint8* data, qsizetype count)
{
    for (qsizetype at = 0; at + kPacketBytes <= count; at += kPacketBytes) {
        const struct sa& to = destination();
        if (!m_callEnded && m_sending && sa_isset(&to, SA_ALL)) {
            mbuf* mb = mbuf_alloc(RTP_HEADER_SIZE + kPacketBytes);
            if (mb) {
                mb->pos = mb->end = RTP_HEADER_SIZE;
                if (m_codec == Codec::Pcma) {
                    for (qsizetype i = 0; i < kPacketBytes; ++i)
                        mbuf_write_u8(mb, g711::ulawToAlaw(data[at + i]));
                } else {
                    mbuf_write_mem(mb, data + at, size_t(kPacketBytes));
                }
                mb->pos = RTP_HEADER_SIZE;
                const int pt = m_codec == Codec::Pcma ? kPayloadPcma : kPayloadPcmu;
                if (rtp_send(m_rtp, &to, false, m_marker, uint8_t(pt), m_timestamp, mb) == 0)
                    ++m_sent;
                mem_deref(mb);
                m_marker = false;
            }
        }
        m_timestamp += quint32(kPacketBytes);
    }
}

void SipWaveDevice::receive(quint8* into, qsizetype count)
{
    if (m_callEnded) {
        std::memset(into, g711::ULAW_SILENCE, size_t(count));
        return;
    }
    m_jitter.take(into, count);
}

const struct sa& SipWaveDevice::destination() const
{
    return m_latched ? m_source : m_remote;
}

bool SipWaveDevice::acceptSource(const struct sa& source, quint16 sequence, qint64 nowNs,
                                 const Held* audio)
{
    // The caller's stream is the one from the address and port its SDP named; once that is
    // heard, nothing else ever is. Until then (a caller behind NAT, whose SDP names an
    // address we cannot reach, or a phone that sends from another port than it announced)
    // a stream from anywhere is taken once it has sent a few packets in sequence, and keeps
    // its place while it goes on: a second stream never breaks into the recording.
    if (sa_cmp(&source, &m_remote, SA_ALL)) {
        m_latched = m_latchedToRemote = true;
        m_source = source;
        m_candidates.clear();
        return true;
    }
    if (m_latchedToRemote)
        return false;
    if (m_latched && sa_cmp(&source, &m_source, SA_ALL)) {
        m_sourceHeardNs = nowNs;
        return true;
    }
    if (m_latched && nowNs - m_sourceHeardNs < kSourceSilentNs)
        return false;
    auto it = std::find_if(m_candidates.begin(), m_candidates.end(),
                           [&](const Candidate& c) { return sa_cmp(&c.source, &source, SA_ALL); });
    if (it == m_candidates.end()) {
        if (m_candidates.size() >= kMaxCandidates)
            m_candidates.removeFirst();
        m_candidates.append(Candidate{source, quint16(sequence + 1), 1, {}});
        if (audio)
            m_candidates.last().held.append(*audio);
        return false;
    }
    const bool inSequence = it->nextSequence == sequence;
    it->run = inSequence ? it->run + 1 : 1;
    it->nextSequence = quint16(sequence + 1);
    if (!inSequence)
        it->held.clear();
    if (it->run < kTakeAfterPackets) {
        if (audio)
            it->held.append(*audio);
        return false;
    }
    // Taken: what it sent before goes in first (it was counted as dropped).
    for (const Held& h : std::as_const(it->held)) {
        m_jitter.put(h.sequence, h.timestamp, reinterpret_cast<const quint8*>(h.ulaw.constData()),
                     h.ulaw.size());
        --m_dropped;
    }
    m_latched = true;
    m_source = source;
    m_sourceHeardNs = nowNs;
    m_candidates.clear();
    return true;
}

void SipWaveDevice::deliver(const struct sa& source, const rtp_header& header,
                            const quint8* payload, qsizetype size)
{
    QMutexLocker lock(&m_mutex);
    const int expected = m_codec == Codec::Pcma ? kPayloadPcma : kPayloadPcmu;
    if (m_callEnded)
        return; // the call is over; what still comes is of no use
    if (header.pt == m_eventPayload) {
        // A key, from the caller's own stream only.
        if (acceptSource(source, header.seq, m_lastTickNs))
            if (const char key = m_events.take(header.ts, payload, size))
                keyPressedLocked(key);
        return;
    }
    if (header.pt != expected) {
        ++m_dropped;
        return;
    }
    const auto ulawOf = [&] {
        QByteArray ulaw(reinterpret_cast<const char*>(payload), size);
        if (m_codec == Codec::Pcma)
            for (qsizetype i = 0; i < size; ++i)
                ulaw[i] = char(g711::alawToUlaw(payload[i]));
        return ulaw;
    };
    // The stream taken, or the SDP's: straight in. Another: held while it may be taken.
    const bool known =
        sa_cmp(&source, &m_remote, SA_ALL) || (m_latched && sa_cmp(&source, &m_source, SA_ALL));
    if (known || m_latchedToRemote) {
        if (!acceptSource(source, header.seq, m_lastTickNs)) {
            ++m_dropped;
            return;
        }
    } else {
        const Held held{header.seq, header.ts, ulawOf()};
        if (!acceptSource(source, header.seq, m_lastTickNs, &held)) {
            ++m_dropped;
            return;
        }
    }
    if (m_codec == Codec::Pcma) {
        const QByteArray ulaw = ulawOf();
        m_jitter.put(header.seq, header.ts, reinterpret_cast<const quint8*>(ulaw.constData()),
                     size);
    } else {
        m_jitter.put(header.seq, header.ts, payload, size);
    }
}

void SipWaveDevice::setRemote(const struct sa& remote, Codec codec)
{
    QMutexLocker lock(&m_mutex);
    // A new address (a re-INVITE) is listened for afresh.
    if (!sa_cmp(&remote, &m_remote, SA_ALL)) {
        m_latched = m_latchedToRemote = false;
        m_candidates.clear();
    }
    m_remote = remote;
    m_codec = codec;
}

void SipWaveDevice::setEventPayload(int payloadType)
{
    QMutexLocker lock(&m_mutex);
    m_eventPayload = payloadType;
}

void SipWaveDevice::setKeys(char skipKey, std::function<void(char)> pressed)
{
    QMutexLocker lock(&m_mutex);
    m_skipKey = skipKey;
    m_pressed = std::move(pressed);
}

bool SipWaveDevice::sourceIsTheSdps() const
{
    QMutexLocker lock(&m_mutex);
    return m_latchedToRemote;
}

void SipWaveDevice::keyPressed(char key)
{
    QMutexLocker lock(&m_mutex);
    keyPressedLocked(key);
}

void SipWaveDevice::keyPressedLocked(char key)
{
    if (m_callEnded)
        return;
    if (key == m_skipKey)
        skipSayingLocked();
    if (m_pressed)
        m_pressed(key);
}

void SipWaveDevice::setSending(bool sending)
{
    QMutexLocker lock(&m_mutex);
    m_sending = sending;
}

void SipWaveDevice::endCall(bool cutShort)
{
    {
        QMutexLocker lock(&m_mutex);
        m_callEnded = true;
        m_rtp = nullptr; // the call's socket goes with it
    }
    if (cutShort)
        PacedWaveDevice::cutShort();
}

qint64 SipWaveDevice::packetsSent() const
{
    QMutexLocker lock(&m_mutex);
    return m_sent;
}

qint64 SipWaveDevice::packetsDropped() const
{
    QMutexLocker lock(&m_mutex);
    return m_dropped;
}

qint64 SipWaveDevice::samplesMissing() const
{
    QMutexLocker lock(&m_mutex);
    return m_jitter.missing();
}

qint64 SipWaveDevice::packetsRecovered() const
{
    QMutexLocker lock(&m_mutex);
    return m_jitter.recovered();
}

qint64 SipWaveDevice::packetsReceived() const
{
    QMutexLocker lock(&m_mutex);
    return m_jitter.received();
}

qint64 SipWaveDevice::packetsLate() const
{
    QMutexLocker lock(&m_mutex);
    return m_jitter.late();
}

} // namespace orvane::sip
