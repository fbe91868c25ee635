#include "platform/audio/SpeakerAudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QEventLoop>
#include <QMediaDevices>

namespace orvane {

Status SpeakerAudioOutput::write(const qint16* samples, qsizetype count)
{
    m_pending.append(QVector<qint16>(samples, samples + count));
    return {};
}

Status SpeakerAudioOutput::finish()
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return Status(err::Fail, QStringLiteral("There is no audio output on this computer"));
    QAudioFormat format;
    format.setSampleRate(m_rate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return Status(err::Fail,
                      QStringLiteral("The audio output cannot play %1 Hz mono sound").arg(m_rate));

    QByteArray bytes(reinterpret_cast<const char*>(m_pending.constData()),
                     m_pending.size() * qsizetype(sizeof(qint16)));
    m_pending.clear();
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QAudioSink sink(device, format);
    QEventLoop loop;
    QObject::connect(&sink, &QAudioSink::stateChanged, &loop, [&](QAudio::State state) {
        if (state == QAudio::IdleState || state == QAudio::StoppedState)
            loop.quit();
    });
    sink.start(&buffer);
    if (sink.error() != QAudio::NoError)
        return Status(err::Fail, QStringLiteral("The audio output cannot be opened"));
    if (sink.state() == QAudio::ActiveState)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    const QAudio::Error error = sink.error();
    sink.stop();
    if (error != QAudio::NoError && error != QAudio::UnderrunError)
        return Status(err::Fail, QStringLiteral("Playing on the audio output failed"));
    return {};
}

} // namespace orvane
