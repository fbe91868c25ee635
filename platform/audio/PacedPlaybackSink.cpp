#include "platform/audio/PacedPlaybackSink.h"

#include <QIODevice>

#include <cstring>

namespace orvane {

namespace {

// Often enough that a position shown a few times a second moves smoothly.
constexpr int kStepMs = 20;

} // namespace

PacedPlaybackSink::PacedPlaybackSink(double speed, int rate, QObject* parent)
    : PlaybackSink(parent)
    , m_speed(speed > 0 ? speed : 1.0)
    , m_fixedRate(rate)
{
    m_timer.setInterval(kStepMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &PacedPlaybackSink::take);
}

PacedPlaybackSink::~PacedPlaybackSink() = default;

Status PacedPlaybackSink::start(QIODevice* pcm, int rate)
{
    stop();
    if (!pcm || !pcm->isReadable() || rate <= 0)
        return Status(err::InvalidArg, QStringLiteral("No sound to play"));
    m_source = pcm;
    m_rate = rate;
    m_runBytes = 0;
    m_beforeNs = 0;
    m_suspended = false;
    ++m_starts;
    m_clock.start();
    m_timer.start();
    return {};
}

void PacedPlaybackSink::suspend()
{
    if (!m_source || m_suspended)
        return;
    m_beforeNs += m_clock.nsecsElapsed();
    m_suspended = true;
    m_timer.stop();
}

void PacedPlaybackSink::resume()
{
    if (!m_source || !m_suspended)
        return;
    m_suspended = false;
    m_clock.start();
    m_timer.start();
}

void PacedPlaybackSink::stop()
{
    ++m_run;
    m_timer.stop();
    m_source = nullptr;
    m_runBytes = 0;
    m_suspended = false;
}

qint64 PacedPlaybackSink::playedNs() const
{
    return m_beforeNs + (m_suspended ? 0 : m_clock.nsecsElapsed());
}

QVector<qint16> PacedPlaybackSink::played() const
{
    QVector<qint16> samples(m_played.size() / qsizetype(sizeof(qint16)));
    if (samples.isEmpty())
        return samples;
    std::memcpy(samples.data(), m_played.constData(), size_t(samples.size()) * sizeof(qint16));
    return samples;
}

void PacedPlaybackSink::take()
{
    // As much as the clock says has been played by now, in whole samples: a late timer
    // catches up rather than slowing the sound down.
    const qint64 due = qint64(double(playedNs()) * m_rate * m_speed / 1e9) * qint64(sizeof(qint16));
    const qint64 want = due - m_runBytes;
    bool broke = false;
    if (want > 0) {
        const qsizetype at = m_played.size();
        m_played.resize(at + qsizetype(want));
        const qint64 got = m_source->read(m_played.data() + at, want);
        broke = got < 0;
        m_played.resize(at + qsizetype(qMax<qint64>(got, 0)));
        m_runBytes += qMax<qint64>(got, 0);
    }
    if (!broke && !m_source->atEnd())
        return;
    m_timer.stop();
    const QString why =
        broke ? QStringLiteral("The sound cannot be read: %1").arg(m_source->errorString())
              : QString();
    // From the event loop, and only while this run is still the one going.
    QMetaObject::invokeMethod(
        this,
        [this, run = m_run, why] {
            if (run != m_run)
                return;
            if (why.isEmpty())
                emit drained();
            else
                emit failed(why);
        },
        Qt::QueuedConnection);
}

} // namespace orvane
