#include "platform/audio/AudioOutput.h"

namespace orvane {

Status CaptureAudioOutput::write(const qint16* samples, qsizetype count)
{
    m_samples.append(QVector<qint16>(samples, samples + count));
    return {};
}

Status CaptureAudioOutput::finish()
{
    ++m_finished;
    return {};
}

} // namespace orvane
