#pragma once

// Sound on the PC itself: trying a greeting file or a text message, through the speech
// service, synchronous, to the default audio output; each operation reports its own
// failure. While sound plays the program takes no input but keeps painting its windows.
// (Recorded calls play without blocking: RecordingPlayer.)
//
// Thread: the user-interface thread.

#include "platform/audio/AudioOutput.h"
#include "platform/wav/WavFile.h"

#include <QString>

#include <functional>
#include <memory>

namespace orvane {

wav::WaveCheck IsWaveFile(const QString& path);

// "Unable to play file." on failure.
void PlayFileOnSpeaker(const QString& path);
// "Unable to play message." on failure.
void PlayMessageOnSpeaker(const QString& text, int rate, int volume, int voice);

// Where the sound goes: the PC's default output, unless a test installs another.
using OutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
void setSpeakerOutputFactory(OutputFactory factory);

} // namespace orvane
