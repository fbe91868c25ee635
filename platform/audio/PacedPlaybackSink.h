#pragma once

// The silent output: a playback sink that plays into nothing, taking the sound at the pace a
// real output would (or `speed` times it) and keeping every sample it took. For a machine
// without sound, and for tests, which read what was "heard" and run faster than real time.
//
// Thread: the thread that made the sink.

#include "platform/audio/PlaybackSink.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <QVector>

namespace orvane {

class PacedPlaybackSink : public PlaybackSink {
    Q_OBJECT

public:
    // `rate`: the one rate it plays at (the player resamples to it); 0 takes any.
    explicit PacedPlaybackSink(double speed = 1.0, int rate = 0, QObject* parent = nullptr);
    ~PacedPlaybackSink() override;

    int playbackRate(int rate) const override { return m_fixedRate > 0 ? m_fixedRate : rate; }
    Status start(QIODevice* pcm, int rate) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    qint64 playedBytes() const override { return m_runBytes; }

    // Every sample played since the sink was made, over all its runs.
    QVector<qint16> played() const;
    // Runs started; whether one is taking sound now (not suspended, not at its end).
    int starts() const { return m_starts; }
    bool active() const { return m_timer.isActive(); }

private:
    void take();
    // Time played in this run, in nanoseconds.
    qint64 playedNs() const;

    double m_speed;
    int m_fixedRate;
    QTimer m_timer;
    QElapsedTimer m_clock; // since the run began or last resumed
    qint64 m_beforeNs = 0; // played before the last resume
    bool m_suspended = false;
    QIODevice* m_source = nullptr;
    int m_rate = 0;
    qint64 m_runBytes = 0;
    QByteArray m_played;
    int m_starts = 0;
    quint64 m_run = 0; // so that news of a run already stopped is dropped
};

} // namespace orvane
