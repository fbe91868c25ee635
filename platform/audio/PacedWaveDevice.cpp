#include "platform/audio/PacedWaveDevice.h"

#include "platform/audio/AudioFormat.h"
#include "platform/audio/G711.h"

#include <cstring>

namespace orvane {

namespace {
// 300 ms: enough to keep the line fed, short enough that what the machine says is timed by
// the line and not by how fast it can render. A full queue takes a writer again once half
// of it has gone out, so that a writer wakes a few times a second, not at every step.
// Whole sounds (a greeting) are queued as they are and encoded as they go out, so that a
// thousand lines greeting at once neither copy the greeting nor wake while it plays.
constexpr qsizetype kSendQueueBytes = 2400;
constexpr qsizetype kRefillBytes = kSendQueueBytes / 2;
} // namespace

qint32 PacedWaveDevice::formatType() const
{
    return audioformat::SAFTCCITT_uLaw_8kHzMono;
}

qsizetype PacedWaveDevice::Segment::size() const
{
    return sound ? sound->size() : bytes.size();
}

Status PacedWaveDevice::waitForRoomLocked()
{
    if (m_queued >= kSendQueueBytes) {
        ++m_waitingForRoom;
        while (!m_closed && m_queued > kRefillBytes)
            m_changed.wait(&m_mutex);
        --m_waitingForRoom;
    }
    if (m_closed)
        return Status(err::InvalidState, QStringLiteral("The audio device is closed"));
    // Silence that went out while this writer still had more to say was a gap.
    m_underrun += m_gap;
    m_gap = 0;
    m_writing = true;
    return {};
}

Status PacedWaveDevice::write(const quint8* data, qsizetype size)
{
    QMutexLocker lock(&m_mutex);
    if (m_cutShort || m_skipping)
        return {}; // nobody is there to hear it, or the caller skipped it
    while (size > 0) {
        if (Status s = waitForRoomLocked(); !s)
            return s;
        const qsizetype n = qMin(kSendQueueBytes - m_queued, size);
        if (m_out.isEmpty() || m_out.last().sound)
            m_out.append(Segment{});
        Segment& last = m_out.last();
        if (last.at > 0 && last.at >= last.bytes.size() / 2) {
            last.bytes.remove(0, last.at);
            last.at = 0;
        }
        last.bytes.append(reinterpret_cast<const char*>(data), n);
        m_queued += n;
        data += n;
        size -= n;
    }
    return {};
}

Status PacedWaveDevice::writeSound(Sound sound)
{
    if (!sound)
        return Status(err::InvalidArg, QStringLiteral("No sound to play"));
    QMutexLocker lock(&m_mutex);
    if (m_cutShort || m_skipping)
        return {};
    if (Status s = waitForRoomLocked(); !s)
        return s;
    if (sound->isEmpty())
        return {};
    m_queued += sound->size();
    m_out.append(Segment{{}, std::move(sound), 0});
    return {};
}

Status PacedWaveDevice::drain()
{
    QMutexLocker lock(&m_mutex);
    while (!m_closed && m_queued > 0)
        m_changed.wait(&m_mutex);
    m_writing = false;
    m_skipping = false;
    m_gap = 0;
    drained();
    return m_closed && m_queued > 0
               ? Status(err::InvalidState, QStringLiteral("The audio device is closed"))
               : Status();
}

Status PacedWaveDevice::startRecording(WaveInBuffer* buffer, std::function<void()> done)
{
    QMutexLocker lock(&m_mutex);
    if (m_in)
        return Status(err::InvalidState, QStringLiteral("The audio device is already recording"));
    if (m_closed)
        return Status(err::InvalidState, QStringLiteral("The audio device is closed"));
    buffer->bytesRecorded = 0;
    m_in = buffer;
    m_inDone = std::move(done);
    return {};
}

void PacedWaveDevice::stopRecording()
{
    QMutexLocker lock(&m_mutex);
    if (!m_in)
        return;
    m_in = nullptr;
    // Under the lock, so that once this returns the completion has run and never will again.
    std::function<void()> done = std::move(m_inDone);
    if (done)
        done();
    m_changed.wakeAll();
}

Status PacedWaveDevice::attachExchange(Exchange exchange)
{
    QMutexLocker lock(&m_mutex);
    if (m_closed)
        return Status(err::InvalidState, QStringLiteral("The audio device is closed"));
    if (m_exchange)
        return Status(err::InvalidState, QStringLiteral("The audio device is already in use"));
    m_exchange = std::move(exchange);
    exchangeAttached(true);
    return {};
}

void PacedWaveDevice::detachExchange()
{
    // Under the lock: once this returns the pacing thread cannot be inside the exchange.
    QMutexLocker lock(&m_mutex);
    if (m_exchange)
        exchangeAttached(false);
    m_exchange = nullptr;
}

void PacedWaveDevice::advance(qsizetype count, qint64 nowNs)
{
    if (advanceLocked(count, nowNs))
        m_changed.wakeAll(); // after letting go: a woken writer must not block on the lock
}

bool PacedWaveDevice::advanceLocked(qsizetype count, qint64 nowNs)
{
    QMutexLocker lock(&m_mutex);
    if (count <= 0)
        return false;

    const bool t38 = m_transport == Transport::T38;
    if (t38 && m_t38.step)
        m_t38.step(count);
    if (m_exchange && !t38) {
        m_receiveBlock.resize(count);
        m_sendBlock.resize(count);
        receive(reinterpret_cast<quint8*>(m_receiveBlock.data()), count);
        m_exchange(reinterpret_cast<const quint8*>(m_receiveBlock.constData()),
                   reinterpret_cast<quint8*>(m_sendBlock.data()), count);
        if (m_firstSentNs == 0)
            m_firstSentNs = nowNs;
        transmit(reinterpret_cast<const quint8*>(m_sendBlock.constData()), count);
        return false;
    }

    // Cut short: writers and drain() go on at once.
    const bool dropped = m_cutShort && !m_out.isEmpty();
    if (dropped) {
        m_out.clear();
        m_queued = 0;
    }
    // To the far end: what is queued, then silence.
    const qsizetype queued = m_queued;
    m_sendBlock.resize(count);
    auto* block = reinterpret_cast<quint8*>(m_sendBlock.data());
    qsizetype sent = 0;
    while (sent < count && !m_out.isEmpty()) {
        Segment& next = m_out.first();
        const qsizetype n = qMin(count - sent, next.size() - next.at);
        if (next.sound)
            g711::encodeUlaw(next.sound->constData() + next.at, block + sent, n);
        else
            std::memcpy(block + sent, next.bytes.constData() + next.at, size_t(n));
        next.at += n;
        sent += n;
        if (next.at == next.size())
            m_out.removeFirst();
    }
    if (sent > 0 && m_firstSentNs == 0)
        m_firstSentNs = nowNs;
    std::memset(block + sent, g711::ULAW_SILENCE, size_t(count - sent));
    if (!t38) // a writer's audio goes at the line's pace all the same, to nobody
        transmit(block, count);
    if (m_writing && sent < count)
        m_gap += count - sent;
    m_queued -= sent;
    // Writers wait for the refill mark, drain() for the empty queue; nobody is woken for
    // nothing, since a thousand lines greeting at once make a thousand wake-ups.
    const qsizetype left = m_queued;
    const bool wake = (m_waitingForRoom > 0 && queued > kRefillBytes && left <= kRefillBytes) ||
                      (queued > 0 && left == 0) || dropped;

    // From the far end, into the recording if one runs.
    m_receiveBlock.resize(count);
    receive(reinterpret_cast<quint8*>(m_receiveBlock.data()), count);
    if (m_listener &&
        m_listener(reinterpret_cast<const quint8*>(m_receiveBlock.constData()), count)) {
        interruptLocked();
        return true;
    }
    if (m_in) {
        const qsizetype want = m_cutShort ? 0 : qMin(count, m_in->length - m_in->bytesRecorded);
        std::memcpy(m_in->data + m_in->bytesRecorded, m_receiveBlock.constData(), size_t(want));
        m_in->bytesRecorded += want;
        if (m_in->bytesRecorded == m_in->length || m_cutShort) {
            m_in = nullptr;
            std::function<void()> done = std::move(m_inDone);
            if (done)
                done(); // under the lock: see stopRecording
        }
    }
    return wake;
}

void PacedWaveDevice::interruptLocked()
{
    // What the machine says and records ends here: the line turns to something else.
    m_listener = nullptr;
    m_interrupted = true;
    skipSayingLocked();
    if (m_in) {
        m_in = nullptr;
        std::function<void()> done = std::move(m_inDone);
        if (done)
            done();
    }
}

FaxPacketLine::Transport PacedWaveDevice::transport() const
{
    QMutexLocker lock(&m_mutex);
    return m_transport;
}

void PacedWaveDevice::setT38Asking(bool mayAsk)
{
    m_mayAskForT38 = mayAsk;
}

bool PacedWaveDevice::askForT38()
{
    // Once per call: a far end that refused is not asked again. No lock: this may run
    // inside an exchange's step.
    if (!m_mayAskForT38 || m_t38Asked.exchange(true))
        return false;
    m_t38Requested = true;
    return true;
}

bool PacedWaveDevice::takeT38Request()
{
    return m_t38Requested.exchange(false);
}

void PacedWaveDevice::setTransportListener(TransportListener listener)
{
    QMutexLocker lock(&m_mutex);
    m_transportListener = std::move(listener);
}

Status PacedWaveDevice::attachT38(T38Session session)
{
    QMutexLocker lock(&m_mutex);
    if (m_closed)
        return Status(err::InvalidState, QStringLiteral("The audio device is closed"));
    if (m_transport != Transport::T38)
        return Status(err::InvalidState, QStringLiteral("The call does not carry T.38"));
    if (m_t38.step)
        return Status(err::InvalidState, QStringLiteral("The call's T.38 is already in use"));
    m_t38 = std::move(session);
    return {};
}

void PacedWaveDevice::detachT38()
{
    QMutexLocker lock(&m_mutex);
    m_t38 = {};
}

void PacedWaveDevice::changeTransport(Transport transport)
{
    TransportListener listener;
    {
        QMutexLocker lock(&m_mutex);
        const bool toT38 = transport == Transport::T38 && m_transport != Transport::T38;
        m_transport = transport;
        if (transport == Transport::T38)
            m_t38Asked = true; // nothing left to ask for
        if (toT38 && !m_exchange && !m_t38.step)
            interruptLocked();
        listener = m_transportListener;
    }
    m_changed.wakeAll();
    if (listener)
        listener(transport);
}

void PacedWaveDevice::deliverIfp(quint16 sequence, const QByteArray& ifp)
{
    QMutexLocker lock(&m_mutex);
    if (m_transport == Transport::T38 && m_t38.take)
        m_t38.take(sequence, ifp);
}

void PacedWaveDevice::close()
{
    QMutexLocker lock(&m_mutex);
    m_closed = true;
    m_exchange = nullptr;
    m_t38 = {};
    if (m_in) {
        m_in = nullptr;
        std::function<void()> done = std::move(m_inDone);
        if (done)
            done();
    }
    m_changed.wakeAll();
}

void PacedWaveDevice::setListener(Listener listener)
{
    QMutexLocker lock(&m_mutex);
    m_listener = std::move(listener);
}

bool PacedWaveDevice::interrupted() const
{
    QMutexLocker lock(&m_mutex);
    return m_interrupted;
}

bool PacedWaveDevice::skipSayingLocked()
{
    if (!m_writing || m_in || m_exchange)
        return false;
    m_out.clear();
    m_queued = 0;
    m_skipping = true;
    m_changed.wakeAll(); // the writer's drain() returns at once
    return true;
}

void PacedWaveDevice::cutShort()
{
    QMutexLocker lock(&m_mutex);
    m_cutShort = true;
}

qint64 PacedWaveDevice::recordingLeftBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_in ? m_in->length - m_in->bytesRecorded : -1;
}

bool PacedWaveDevice::idle() const
{
    QMutexLocker lock(&m_mutex);
    return m_queued == 0 && !m_in;
}

qint64 PacedWaveDevice::firstSentNs() const
{
    QMutexLocker lock(&m_mutex);
    return m_firstSentNs;
}

qint64 PacedWaveDevice::underrunBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_underrun;
}

} // namespace orvane
