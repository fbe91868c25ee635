#include "platform/audio/PacedWaveDevice.h"

#include "platform/audio/AudioFormat.h"
#include "platform/audio/G711.h"

#include <cstring>

namespace orvane {

namespace {
// 300 ms: enough to keep the line fed, short enough that what the machine says is timed by
// the line and not by how fast it can render. A full queue takes a writer again once half
// of it has gone out, so that a writer wakes a few times a second, not at every step.
constexpr qsizetype kSendQueueBytes = 2400;
constexpr qsizetype kRefillBytes = kSendQueueBytes / 2;
} // namespace

qint32 PacedWaveDevice::formatType() const
{
    return audioformat::SAFTCCITT_uLaw_8kHzMono;
}

Status PacedWaveDevice::write(const quint8* data, qsizetype size)
{
    QMutexLocker lock(&m_mutex);
    while (size > 0) {
        if (m_out.size() - m_outHead >= kSendQueueBytes) {
            while (!m_closed && m_out.size() - m_outHead > kRefillBytes)
                m_changed.wait(&m_mutex);
        }
        if (m_closed)
            return Status(err::InvalidState, QStringLiteral("The audio device is closed"));
        const qsizetype room = kSendQueueBytes - (m_out.size() - m_outHead);
        const qsizetype n = qMin(room, size);
        if (m_outHead > 0 && m_outHead >= m_out.size() / 2) {
            m_out.remove(0, m_outHead);
            m_outHead = 0;
        }
        m_out.append(reinterpret_cast<const char*>(data), n);
        // Silence that went out while this writer still had more to say was a gap.
        m_underrun += m_gap;
        m_gap = 0;
        m_writing = true;
        data += n;
        size -= n;
    }
    return {};
}

Status PacedWaveDevice::drain()
{
    QMutexLocker lock(&m_mutex);
    while (!m_closed && m_outHead < m_out.size())
        m_changed.wait(&m_mutex);
    m_writing = false;
    m_gap = 0;
    drained();
    return m_closed && m_outHead < m_out.size()
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
    return {};
}

void PacedWaveDevice::detachExchange()
{
    // Under the lock: once this returns the pacing thread cannot be inside the exchange.
    QMutexLocker lock(&m_mutex);
    m_exchange = nullptr;
}

void PacedWaveDevice::advance(qsizetype count, qint64 nowNs)
{
    QMutexLocker lock(&m_mutex);
    if (count <= 0)
        return;

    if (m_exchange) {
        m_receiveBlock.resize(count);
        m_sendBlock.resize(count);
        receive(reinterpret_cast<quint8*>(m_receiveBlock.data()), count);
        m_exchange(reinterpret_cast<const quint8*>(m_receiveBlock.constData()),
                   reinterpret_cast<quint8*>(m_sendBlock.data()), count);
        if (m_firstSentNs == 0)
            m_firstSentNs = nowNs;
        transmit(reinterpret_cast<const quint8*>(m_sendBlock.constData()), count);
        return;
    }

    // To the far end: what is queued, then silence.
    const qsizetype queued = m_out.size() - m_outHead;
    const qsizetype sent = qMin(queued, count);
    if (sent > 0 && m_firstSentNs == 0)
        m_firstSentNs = nowNs;
    m_sendBlock.resize(count);
    std::memcpy(m_sendBlock.data(), m_out.constData() + m_outHead, size_t(sent));
    std::memset(m_sendBlock.data() + sent, g711::ULAW_SILENCE, size_t(count - sent));
    transmit(reinterpret_cast<const quint8*>(m_sendBlock.constData()), count);
    if (m_writing && sent < count)
        m_gap += count - sent;
    m_outHead += sent;
    // Writers wait for the refill mark, drain() for the empty queue.
    const qsizetype left = queued - sent;
    const bool wake = (queued > kRefillBytes && left <= kRefillBytes) || (queued > 0 && left == 0);
    if (m_outHead == m_out.size()) {
        m_out.clear();
        m_outHead = 0;
    }

    // From the far end, into the recording if one runs.
    m_receiveBlock.resize(count);
    receive(reinterpret_cast<quint8*>(m_receiveBlock.data()), count);
    if (m_in) {
        const qsizetype want = qMin(count, m_in->length - m_in->bytesRecorded);
        std::memcpy(m_in->data + m_in->bytesRecorded, m_receiveBlock.constData(), size_t(want));
        m_in->bytesRecorded += want;
        if (m_in->bytesRecorded == m_in->length) {
            m_in = nullptr;
            std::function<void()> done = std::move(m_inDone);
            if (done)
                done(); // under the lock: see stopRecording
        }
    }
    if (wake)
        m_changed.wakeAll();
}

void PacedWaveDevice::close()
{
    QMutexLocker lock(&m_mutex);
    m_closed = true;
    m_exchange = nullptr;
    if (m_in) {
        m_in = nullptr;
        std::function<void()> done = std::move(m_inDone);
        if (done)
            done();
    }
    m_changed.wakeAll();
}

bool PacedWaveDevice::idle() const
{
    QMutexLocker lock(&m_mutex);
    return m_outHead == m_out.size() && !m_in;
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
