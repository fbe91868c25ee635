#include "platform/telephony/sip/JitterBuffer.h"

#include "platform/audio/G711.h"

#include <cstring>

namespace orvane::sip {

namespace {
// Nothing waits longer than this in the buffer, whatever a sender claims.
constexpr qsizetype kMaxPacketBytes = 8000;
constexpr size_t kMaxPackets = 500;
} // namespace

JitterBuffer::JitterBuffer(int delaySamples, int windowSamples, int maxDelaySamples)
    : m_delay(delaySamples)
    , m_window(windowSamples)
    , m_maxDelay(maxDelaySamples)
{}

qint64 JitterBuffer::extend(quint32 timestamp)
{
    // The 32-bit timestamp wraps; follow it from the last one seen.
    const qint32 step = qint32(timestamp - quint32(m_lastExtended));
    m_lastExtended += step;
    return m_lastExtended;
}

void JitterBuffer::restartAt(qint64 at)
{
    m_packets.clear();
    m_playout = at - m_delay;
    m_firstAt = at;
    m_highestEnd = at;
    ++m_restarts;
}

void JitterBuffer::put(quint16 sequence, quint32 timestamp, const quint8* payload, qsizetype size)
{
    Q_UNUSED(sequence);
    if (size <= 0 || size > kMaxPacketBytes)
        return;
    ++m_received;
    qint64 at;
    if (!m_started) {
        m_started = true;
        m_lastExtended = timestamp;
        at = timestamp;
        m_playout = at - m_delay;
        m_firstAt = at;
    } else {
        at = extend(timestamp);
    }
    if (at + size <= m_playout) {
        if (m_playout - at > m_window) { // the sender started over far behind us
            restartAt(at);
        } else if (!m_steady && m_highestEnd - at <= m_maxDelay) {
            // The stream stalled (here or at the sender) and now comes in late: play on from
            // this packet, so the buffer grows by the stall instead of losing the audio.
            m_playout = at;
            ++m_recovered;
        } else {
            ++m_late;
            return;
        }
    } else if (at - m_playout > m_window) {
        restartAt(at); // a jump ahead: follow the sender
    }
    if (m_packets.size() >= kMaxPackets)
        m_packets.erase(m_packets.begin());
    m_packets[at] = QByteArray(reinterpret_cast<const char*>(payload), size);
    m_highestEnd = qMax(m_highestEnd, at + size);
}

void JitterBuffer::take(quint8* into, qsizetype count)
{
    std::memset(into, g711::ULAW_SILENCE, size_t(count));
    if (!m_started)
        return;
    const qint64 from = m_playout, to = m_playout + count;
    qint64 covered = 0;
    for (auto it = m_packets.begin(); it != m_packets.end() && it->first < to;) {
        const qint64 start = it->first, end = start + it->second.size();
        if (end <= from) {
            it = m_packets.erase(it);
            continue;
        }
        const qint64 a = qMax(start, from), b = qMin(end, to);
        std::memcpy(into + (a - from), it->second.constData() + (a - start), size_t(b - a));
        covered += b - a;
        if (end <= to)
            it = m_packets.erase(it);
        else
            ++it;
    }
    // Silence counts as missing only between the first sample ever sent and the last one
    // received: the buffer's delay before, and a caller gone quiet after, are not losses.
    const qint64 spanFrom = qMax(from, m_firstAt), spanTo = qMin(to, m_highestEnd);
    if (spanTo > spanFrom)
        m_missing += qMax<qint64>(0, (spanTo - spanFrom) - covered);
    m_playout = to;
}

} // namespace orvane::sip
