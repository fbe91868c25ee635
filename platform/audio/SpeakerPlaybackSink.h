#pragma once

// The PC's default audio output as a playback sink (Qt Multimedia), pulling the sound as it
// plays so that the program never waits for it.
//
// Thread: the user-interface thread.

#include "platform/audio/PlaybackSink.h"

#include <QAudio>

#include <memory>

class QAudioSink;

namespace orvane {

class SpeakerPlaybackSink : public PlaybackSink {
    Q_OBJECT

public:
    explicit SpeakerPlaybackSink(QObject* parent = nullptr);
    ~SpeakerPlaybackSink() override;

    int playbackRate(int rate) const override;
    // Fails when the computer has no audio output, or it takes no 16-bit mono sound at `rate`.
    Status start(QIODevice* pcm, int rate) override;
    void suspend() override;
    void resume() override;
    void stop() override;
    qint64 playedBytes() const override;

private:
    void stateChanged(QAudio::State state);

    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_source = nullptr;
    int m_rate = 0;
    // Counts the runs, so that news of a run already stopped is dropped.
    quint64 m_run = 0;
};

} // namespace orvane
