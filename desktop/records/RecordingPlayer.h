#pragma once

// Listening to a recorded call without the program waiting for it: one wave file at a time
// (the recordings are 8 kHz mu-law; any file the wave reader takes plays), played through a
// playback sink while the window stays usable, with pause, seek and the position for a
// playback bar. And copying a recording out, as stored or as 16-bit PCM.
//
// Thread: the user-interface thread.

#include "platform/Status.h"
#include "platform/audio/PlaybackSink.h"

#include <QBuffer>
#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

namespace orvane {

class RecordingPlayer : public QObject {
    Q_OBJECT

public:
    enum class State { Stopped, Playing, Paused };
    Q_ENUM(State)

    explicit RecordingPlayer(QObject* parent = nullptr);
    // Stops the sound.
    ~RecordingPlayer() override;

    // Ends what was playing, loads `path` and plays it from the start. A file that cannot be
    // read, or an output that cannot be opened, is refused with the reason.
    Status play(const QString& path);
    void pause();
    // From where it was paused; an output that no longer opens is told by failed().
    void resume();
    // Back to the start, silent.
    void stop();
    // To `ms` from the start (within the sound), playing or paused as before. Stopped, it
    // does nothing.
    void seek(qint64 ms);

    // What has been heard of the sound, from its start; 0 when stopped.
    qint64 positionMs() const;
    // The length of the last sound loaded (it stays known after it stopped).
    qint64 durationMs() const;
    State state() const { return m_state; }
    // The file last loaded.
    QString path() const { return m_path; }

Q_SIGNALS:
    // Several times a second while playing, and at every pause, seek, stop and end.
    void positionChanged(qint64 ms);
    void stateChanged(RecordingPlayer::State state);
    // The sound played to its end: positionChanged(durationMs()) comes first, then
    // stateChanged(Stopped), then this, last, so that a receiver may play the next file or
    // delete the player.
    void finished();
    // The output broke while playing: stateChanged(Stopped) comes first, this last.
    void failed(const QString& why);

private:
    void setState(State state);
    // Starts the sink on the sound from `byte`.
    Status startAt(qint64 byte);
    void sinkDrained();
    void sinkFailed(const QString& why);
    qint64 msOf(qint64 bytes) const;

    QString m_path;
    QByteArray m_pcm; // the sound, 16-bit mono at m_rate, in the machine's byte order
    QBuffer m_source;
    int m_rate = 0;
    // Where the sink's run began; what it played since is added.
    qint64 m_startByte = 0;
    bool m_sinkRunning = false;
    State m_state = State::Stopped;
    QTimer m_tick;
    // Made at the first play; goes before the buffer it reads.
    std::unique_ptr<PlaybackSink> m_sink;
};

// Where players send their sound: the PC's default output, unless another factory is
// installed (tests install a silent PacedPlaybackSink). An empty factory puts the default
// back. Players made later use it.
using PlaybackSinkFactory = std::function<std::unique_ptr<PlaybackSink>()>;
void setPlaybackSinkFactory(PlaybackSinkFactory factory);

enum class ExportFormat {
    AsStored, // the file's bytes, as they are
    Pcm16,    // a 16-bit PCM mono wave file at the recording's rate
};

// Writes the recording `source` to `target`, whole or not at all: a file already there is
// replaced only once the new one is complete. The recording itself is never written over.
Status exportRecording(const QString& source, const QString& target, ExportFormat format);

} // namespace orvane
