#include "platform/telephony/sip/SipWaveDevice.h"

#include "platform/audio/G711.h"

#include <QRandomGenerator>

#include <cstring>

namespace orvane::sip {

namespace {
constexpr qsizetype kPacketBytes = 160; // 20 ms at 8 kHz
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
    }
    advance(qsizetype(due), nowNs);
}

void SipWaveDevice::transmit(const quint8* data, qsizetype count)
{
    for (qsizetype at = 0; at + kPacketBytes <= count; at += kPacketBytes) {
        if (!m_callEnded && sa_isset(&m_remote, SA_ALL)) {
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
                if (rtp_send(m_rtp, &m_remote, false, m_marker, uint8_t(pt), m_timestamp, mb) == 0)
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

bool SipWaveDevice::acceptSource(const struct sa& source)
{
    // The caller's stream is the one from the address and port its SDP named; until that
    // one is heard, the first stream from the caller's address stands in for it (a phone
    // that sends from another port than it announced). Anything else is dropped, so that
    // a second stream can never break into the recording.
    if (sa_cmp(&source, &m_remote, SA_ALL)) {
        m_latched = true;
        m_latchedToRemote = true;
        m_source = source;
        return true;
    }
    if (m_latched)
        return !m_latchedToRemote && sa_cmp(&source, &m_source, SA_ALL);
    if (!sa_isset(&m_remote, SA_ADDR) || sa_cmp(&source, &m_remote, SA_ADDR)) {
        m_latched = true;
        m_source = source;
        return true;
    }
    return false;
}

void SipWaveDevice::deliver(const struct sa& source, const rtp_header& header,
                            const quint8* payload, qsizetype size)
{
    QMutexLocker lock(&m_mutex);
    const int expected = m_codec == Codec::Pcma ? kPayloadPcma : kPayloadPcmu;
    if (m_callEnded)
        return; // the call is over; what still comes is of no use
    if (header.pt == kPayloadTelephoneEvent)
        return;
    if (header.pt != expected || !acceptSource(source)) {
        ++m_dropped;
        return;
    }
    if (m_codec == Codec::Pcma) {
        QByteArray ulaw(size, Qt::Uninitialized);
        for (qsizetype i = 0; i < size; ++i)
            ulaw[i] = char(g711::alawToUlaw(payload[i]));
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
    if (!sa_cmp(&remote, &m_remote, SA_ALL))
        m_latched = m_latchedToRemote = false;
    m_remote = remote;
    m_codec = codec;
}

void SipWaveDevice::endCall()
{
    QMutexLocker lock(&m_mutex);
    m_callEnded = true;
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
