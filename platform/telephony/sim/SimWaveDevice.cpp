#include "platform/telephony/sim/SimWaveDevice.h"

#include "platform/audio/G711.h"

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

void SimWaveDevice::tick(qint64 nowNs)
{
    qint64 due = 0;
    {
        QMutexLocker lock(&m_mutex);
        due = qint64(double(nowNs - m_startNs) * 8000.0 * m_speed / 1e9) - m_clocked;
        if (due <= 0)
            return;
        m_clocked += due;
    }
    advance(qsizetype(due), nowNs);
}

void SimWaveDevice::transmit(const quint8* data, qsizetype count)
{
    if (m_keepHeard && !m_callEnded)
        m_heard.append(reinterpret_cast<const char*>(data), count);
}

void SimWaveDevice::receive(quint8* into, qsizetype count)
{
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

QByteArray SimWaveDevice::heard() const
{
    QMutexLocker lock(&m_mutex);
    return m_heard;
}

} // namespace orvane::sim
