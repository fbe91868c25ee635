#pragma once

// The speech service: the installed voices, speaking a text and playing a wave file,
// synchronously, into an audio output (a call's device, the PC's speakers, a capture).

#include "platform/Status.h"

#include <QList>
#include <QString>

#include <memory>

namespace orvane {

class AudioOutput;

// The longest text spoken: longer ones are refused, not cut short.
inline constexpr qsizetype kMaxSpeechText = 10000;

struct VoiceInfo {
    QString identifier;  // the engine's own name of the voice
    QString description; // what the user is shown
};

struct VoiceSettings {
    int voice = 0;    // position in voices(), from 0
    int rate = 0;     // -10 (slowest) .. 10 (fastest)
    int volume = 100; // 0 .. 100
};

// One speech service instance. Instances are cheap; the engine behind them is shared by
// the process and serialises only the synthesis itself, never the playing.
class Speech {
public:
    virtual ~Speech() = default;

    // Every installed voice, always in the same order.
    virtual QList<VoiceInfo> voices() const = 0;
    // Returns when the whole text has been rendered into `out` (and `out` has finished);
    // the first sentences reach `out` while the rest are still being made. A voice
    // position, rate or volume out of range, or a text longer than kMaxSpeechText, fails
    // with err::InvalidArg.
    virtual Status speak(const QString& text, const VoiceSettings& settings, AudioOutput& out) = 0;
    // Returns when the whole file has been rendered into `out`.
    virtual Status playFile(const QString& path, AudioOutput& out) = 0;

    // Render, in the background and into the process's shared sounds, what a later speak()
    // or playFile() at `sampleRate` will need, so that it can start at once. They return
    // at once; a failure is left for the real call to meet and report.
    virtual void prepare(const QString& text, const VoiceSettings& settings, int sampleRate) = 0;
    virtual void prepareFile(const QString& path, int sampleRate) = 0;
};

// Fails with err::CannotCreate when the speech engine cannot start on this machine.
Result<std::unique_ptr<Speech>> createSpeech();

} // namespace orvane
