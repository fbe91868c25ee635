#include "platform/telephony/sim/SimWaveDevice.h"

#include "platform/audio/G711.h"
#include "platform/telephony/sim/SimFaxCaller.h"

#include <cstring>

namespace orvane::sim {

SimWaveDevice::SimWaveDevice(QByteArray callerAudio, bool callerWaits, bool keepHeard, double speed,
                             qint64 startNs)
    : m_speed(speed)
    , m_startNs(startNs)
    , m_callerAudio(std::move(callerAudio))
    , m_callerSpeaking(!callerWaits)
    , m_keepHeard(keepHeard)
{}

namespace {
// 20 ms: the delay of the wire between two simulated lines, each way.
constexpr qsizetype kWireStepBytes = 160;
} // namespace

SimWire::SimWire(FaxTransport transport, double loss, quint64 seed)
    : transport(transport)
    , loss(loss)
    , seed(seed)
{
    for (QByteArray& queue : toSide)
        queue.fill(char(g711::ULAW_SILENCE), kWireStepBytes);
}

bool SimWire::loses(int side, bool datagram, qint64 index)
{
    if (loss <= 0)
        return false;
    // splitmix64 of the packet's place: a fixed draw for each packet.
    quint64 z =
        seed * 0x9E3779B97F4A7C15ULL + quint64(index) * 4 + quint64(side) * 2 + (datagram ? 1 : 0);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    return double(z >> 11) / double(1ULL << 53) < loss;
}

SimWaveDevice::SimWaveDevice(std::shared_ptr<SimWire> wire, int side, double speed, qint64 startNs)
    : m_speed(speed)
    , m_startNs(startNs)
    , m_callerSpeaking(false)
    , m_keepHeard(false)
    , m_wire(std::move(wire))
    , m_side(side)
{
    setT38Asking(m_wire->transport != FaxTransport::Audio);
}

bool SimWaveDevice::carriesT38() const
{
    return m_wire && m_wire->transport != FaxTransport::Audio;
}

void SimWaveDevice::sendIfp(const QByteArray& ifp, int count)
{
    // Under the lock, inside the T.38 session's step: the wire is the clock thread's.
    if (!m_wire || m_callEnded)
        return;
    const int to = 1 - m_side;
    for (int i = 0; i < qMax(1, count); ++i) {
        const QByteArray datagram = m_wire->encoders[m_side].encode(ifp);
        if (!m_wire->loses(to, true, m_wire->datagramsSentToSide[to]++))
            m_wire->datagramsToSide[to].append(datagram);
    }
}

void SimWaveDevice::takeDatagrams()
{
    const QList<QByteArray> came = std::exchange(m_wire->datagramsToSide[m_side], {});
    if (callEnded())
        return;
    for (const QByteArray& datagram : came)
        for (const fax::UdptlDecoder::Ifp& ifp : m_wire->decoders[m_side].decode(datagram))
            deliverIfp(ifp.sequence, ifp.data);
}

void SimWaveDevice::switchIfAsked(SimWaveDevice& a, SimWaveDevice& b)
{
    // Both sides of a simulated call agree to carry the fax as T.38 (neither asks when the
    // wire carries audio only).
    const bool asked = a.takeT38Request() | b.takeT38Request();
    if (!asked || a.m_wire->t38)
        return;
    a.m_wire->t38 = true;
    a.changeTransport(Transport::T38);
    b.changeTransport(Transport::T38);
}

SimWaveDevice::SimWaveDevice(std::shared_ptr<SimFaxCaller> faxCaller, bool keepHeard, double speed,
                             qint64 startNs)
    : m_speed(speed)
    , m_startNs(startNs)
    , m_callerSpeaking(false)
    , m_keepHeard(keepHeard)
    , m_faxCaller(std::move(faxCaller))
{}

qint64 SimWaveDevice::dueLocked(qint64 nowNs) const
{
    return qint64(double(nowNs - m_startNs) * 8000.0 * m_speed / 1e9) - m_clocked;
}

void SimWaveDevice::tick(qint64 nowNs)
{
    qint64 due = 0;
    {
        QMutexLocker lock(&m_mutex);
        due = dueLocked(nowNs);
        if (due <= 0)
            return;
        m_clocked += due;
    }
    advance(qsizetype(due), nowNs);
}

void SimWaveDevice::tickLinked(SimWaveDevice& a, SimWaveDevice& b, qint64 nowNs)
{
    qint64 due = 0;
    {
        QMutexLocker lock(&a.m_mutex);
        due = a.dueLocked(nowNs);
        if (due <= 0)
            return;
        a.m_clocked += due;
    }
    {
        QMutexLocker lock(&b.m_mutex);
        b.m_clocked += due;
    }
    switchIfAsked(a, b);
    // Each side takes one step's worth from the wire and puts one back: the wire always
    // holds exactly one step each way between the two calls.
    while (due > 0) {
        const qsizetype n = qsizetype(qMin<qint64>(due, kWireStepBytes));
        a.takeDatagrams();
        b.takeDatagrams();
        a.advance(n, nowNs);
        b.advance(n, nowNs);
        due -= n;
    }
}

void SimWaveDevice::transmit(const quint8* data, qsizetype count)
{
    if (m_wire) {
        if (m_callEnded)
            return;
        // The audio goes in packets of one wire step; one lost on the way is heard as
        // silence, as a jitter buffer plays it.
        const int to = 1 - m_side;
        QByteArray& queue = m_wire->toSide[to];
        qint64& sent = m_wire->audioBytesToSide[to];
        for (qsizetype at = 0; at < count;) {
            const qsizetype n = qMin(count - at, kWireStepBytes - sent % kWireStepBytes);
            if (m_wire->loses(to, false, sent / kWireStepBytes))
                queue.append(QByteArray(n, char(g711::ULAW_SILENCE)));
            else
                queue.append(reinterpret_cast<const char*>(data + at), n);
            at += n;
            sent += n;
        }
        return;
    }
    if (m_keepHeard && !m_callEnded)
        m_heard.append(reinterpret_cast<const char*>(data), count);
    if (m_faxCaller && !m_callEnded)
        m_faxCaller->hear(data, count);
}

void SimWaveDevice::receive(quint8* into, qsizetype count)
{
    if (m_wire) {
        QByteArray& queue = m_wire->toSide[m_side];
        const qsizetype got = m_callEnded ? 0 : qMin(count, queue.size());
        std::memcpy(into, queue.constData(), size_t(got));
        queue.remove(0, got);
        std::memset(into + got, g711::ULAW_SILENCE, size_t(count - got));
        return;
    }
    if (m_faxCaller) {
        if (m_callEnded)
            std::memset(into, g711::ULAW_SILENCE, size_t(count));
        else
            m_faxCaller->say(into, count);
        return;
    }
    qsizetype said = 0;
    if (!m_callEnded && m_callerSpeaking) {
        said = qMin(count, m_callerAudio.size() - m_callerPos);
        std::memcpy(into, m_callerAudio.constData() + m_callerPos, size_t(said));
        m_callerPos += said;
    }
    std::memset(into + said, g711::ULAW_SILENCE, size_t(count - said));
}

void SimWaveDevice::endCall()
{
    QMutexLocker lock(&m_mutex);
    m_callEnded = true;
}

bool SimWaveDevice::callEnded() const
{
    QMutexLocker lock(&m_mutex);
    return m_callEnded;
}

QByteArray SimWaveDevice::heard() const
{
    QMutexLocker lock(&m_mutex);
    return m_heard;
}

} // namespace orvane::sim
