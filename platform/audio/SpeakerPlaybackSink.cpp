#include "platform/audio/SpeakerPlaybackSink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

namespace orvane {

namespace {

QAudioFormat monoFormat(int rate)
{
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

} // namespace

SpeakerPlaybackSink::SpeakerPlaybackSink(QObject* parent)
    : PlaybackSink(parent)
{}

SpeakerPlaybackSink::~SpeakerPlaybackSink()
{
    stop();
}

int SpeakerPlaybackSink::playbackRate(int rate) const
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || device.isFormatSupported(monoFormat(rate)))
        return rate;
    const int preferred = device.preferredFormat().sampleRate();
    return preferred > 0 ? preferred : rate;
}

Status SpeakerPlaybackSink::start(QIODevice* pcm, int rate)
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return Status(err::Fail, QStringLiteral("There is no audio output on this computer"));
    const QAudioFormat format = monoFormat(rate);
    if (!device.isFormatSupported(format))
        return Status(err::Fail,
                      QStringLiteral("The audio output cannot play %1 Hz mono sound").arg(rate));
    m_sink = std::make_unique<QAudioSink>(device, format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, &SpeakerPlaybackSink::stateChanged);
    m_source = pcm;
    m_rate = rate;
    m_sink->start(pcm);
    if (m_sink->error() != QAudio::NoError) {
        stop();
        return Status(err::Fail, QStringLiteral("The audio output cannot be opened"));
    }
    return {};
}

void SpeakerPlaybackSink::suspend()
{
    if (m_sink)
        m_sink->suspend();
}

void SpeakerPlaybackSink::resume()
{
    if (m_sink)
        m_sink->resume();
}

void SpeakerPlaybackSink::stop()
{
    ++m_run;
    if (!m_sink)
        return;
    m_sink->disconnect(this);
    m_sink->stop();
    m_sink.reset();
    m_source = nullptr;
}

qint64 SpeakerPlaybackSink::playedBytes() const
{
    if (!m_sink)
        return 0;
    // What the output has processed, in whole samples.
    return m_sink->processedUSecs() * m_rate / 1000000 * qint64(sizeof(qint16));
}

void SpeakerPlaybackSink::stateChanged(QAudio::State state)
{
    // Told from the event loop: the receiver may take the QAudioSink away, which must not
    // happen inside its own signal.
    const auto later = [this, run = m_run](auto tell) {
        QMetaObject::invokeMethod(
            this,
            [this, run, tell] {
                if (run == m_run)
                    tell();
            },
            Qt::QueuedConnection);
    };
    const QAudio::Error error = m_sink->error();
    if (state == QAudio::StoppedState && error != QAudio::NoError) {
        const QString why = error == QAudio::OpenError
                                ? QStringLiteral("The audio output cannot be opened")
                                : QStringLiteral("Playing on the audio output failed");
        later([this, why] { emit failed(why); });
    } else if (state == QAudio::IdleState && m_source && m_source->atEnd()) {
        // Idle with more to come is an underrun, which the output rides out by itself.
        later([this] { emit drained(); });
    }
}

} // namespace orvane
