#include "platform/telephony/sim/SimWaveDevice.h"

#include "platform/audio/AudioFormat.h"
#include "platform/audio/G711.h"

#include <cstring>

namespace orvane::sim {

namespace {
// 300 ms: enough to keep the line fed, short enough that what the machine says is timed by
// the line and not by how fast it can render. A full queue takes a writer again once half
// of it has gone out, so that a writer wakes a few times a second, not at every tick.
constexpr qsizetype kSendQueueBytes = 2400;
constexpr qsizetype kRefillBytes = kSendQueueBytes / 2;
} // namespace

SimWaveDevice::SimWaveDevice(QByteArray callerAudio, bool callerWaits, bool keepHeard, double speed,
                             qint64 startNs)
    : m_speed(speed)
    , m_startNs(startNs)
    , m_callerAudio(std::move(callerAudio))
    , m_callerSpeaking(!callerWaits)
    , m_keepHeard(keepHeard)
{}

qint32 SimWaveDevice::formatType() const
{
    return audioformat::SAFTCCITT_uLaw_8kHzMono;
}

Status SimWaveDevice::write(const quint8* data, qsizetype size)
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

Status SimWaveDevice::drain()
{
    QMutexLocker lock(&m_mutex);
    while (!m_closed && m_outHead < m_out.size())
        m_changed.wait(&m_mutex);
    m_writing = false;
    m_gap = 0;
    m_callerSpeaking = true;
    return m_closed && m_outHead < m_out.size()
               ? Status(err::InvalidState, QStringLiteral("The audio device is closed"))
               : Status();
}

Status SimWaveDevice::startRecording(WaveInBuffer* buffer, std::function<void()> done)
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

void SimWaveDevice::stopRecording()
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

void SimWaveDevice::tick(qint64 nowNs)
{
    {
        QMutexLocker lock(&m_mutex);
        const qint64 due = qint64(double(nowNs - m_startNs) * 8000.0 * m_speed / 1e9) - m_clocked;
        if (due <= 0)
            return;
        m_clocked += due;

        // To the caller.
        const qsizetype queued = m_out.size() - m_outHead;
        bool wake = false;
        const qsizetype sent = qMin<qsizetype>(queued, due);
        if (sent > 0 && m_firstSentNs == 0)
            m_firstSentNs = nowNs;
        if (m_keepHeard && !m_callEnded) {
            m_heard.append(m_out.constData() + m_outHead, sent);
            m_heard.append(due - sent, char(g711::ULAW_SILENCE));
        }
        if (m_writing && sent < due)
            m_gap += due - sent;
        m_outHead += sent;
        // Writers wait for the refill mark, drain() for the empty queue.
        const qsizetype left = queued - sent;
        wake = (queued > kRefillBytes && left <= kRefillBytes) || (queued > 0 && left == 0);
        if (m_outHead == m_out.size()) {
            m_out.clear();
            m_outHead = 0;
        }

        // From the caller.
        if (m_in) {
            qsizetype want = qMin<qsizetype>(due, m_in->length - m_in->bytesRecorded);
            quint8* to = m_in->data + m_in->bytesRecorded;
            m_in->bytesRecorded += want;
            if (!m_callEnded && m_callerSpeaking) {
                const qsizetype said = qMin(want, m_callerAudio.size() - m_callerPos);
                std::memcpy(to, m_callerAudio.constData() + m_callerPos, size_t(said));
                to += said;
                want -= said;
            }
            std::memset(to, g711::ULAW_SILENCE, size_t(want));
            if (m_in->bytesRecorded == m_in->length) {
                m_in = nullptr;
                std::function<void()> done = std::move(m_inDone);
                if (done)
                    done(); // under the lock: see stopRecording
            }
        }
        if (!m_callEnded && m_callerSpeaking)
            m_callerPos = qMin(m_callerPos + qsizetype(due), m_callerAudio.size());
        if (wake)
            m_changed.wakeAll();
    }
}

void SimWaveDevice::endCall()
{
    QMutexLocker lock(&m_mutex);
    m_callEnded = true;
}

void SimWaveDevice::close()
{
    QMutexLocker lock(&m_mutex);
    m_closed = true;
    if (m_in) {
        m_in = nullptr;
        std::function<void()> done = std::move(m_inDone);
        if (done)
            done();
    }
    m_changed.wakeAll();
}

bool SimWaveDevice::idle() const
{
    QMutexLocker lock(&m_mutex);
    return m_outHead == m_out.size() && !m_in;
}

QByteArray SimWaveDevice::heard() const
{
    QMutexLocker lock(&m_mutex);
    return m_heard;
}

qint64 SimWaveDevice::firstSentNs() const
{
    QMutexLocker lock(&m_mutex);
    return m_firstSentNs;
}

qint64 SimWaveDevice::underrunBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_underrun;
}

} // namespace orvane::sim
