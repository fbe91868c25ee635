#pragma once

// Where a player's sound goes: an output that pulls 16-bit signed mono PCM, in the machine's
// byte order, from a device the player owns, at the pace it plays. The speakers
// (SpeakerPlaybackSink) or a silent output that keeps what it played (PacedPlaybackSink).
//
// drained() and failed() always come from the event loop, never from inside a call on the
// sink, so a receiver may stop, restart or delete the sink in them.
//
// Thread: the thread that made the sink.

#include "platform/Status.h"

#include <QObject>

class QIODevice;

namespace orvane {

class PlaybackSink : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~PlaybackSink() override;

    // The rate this sink plays a sound of `rate` at: `rate` itself when it can, else the rate
    // the caller resamples to.
    virtual int playbackRate(int rate) const = 0;
    // Pulls from `pcm`, from where it stands, at `rate` (as playbackRate() gave). `pcm` stays
    // open and is not touched by anyone else until stop() or the end of the run. A sink that
    // runs is stopped first.
    virtual Status start(QIODevice* pcm, int rate) = 0;
    virtual void suspend() = 0;
    virtual void resume() = 0;
    // Ends the run: nothing more is pulled, and no drained() or failed() of it comes.
    virtual void stop() = 0;
    // The bytes of this run that have been played: what the listener heard, not what was read
    // ahead of it. Stays put while suspended.
    virtual qint64 playedBytes() const = 0;

Q_SIGNALS:
    // The source is at its end and all of it has been played.
    void drained();
    // The output broke while playing; the run is over.
    void failed(const QString& why);
};

} // namespace orvane
