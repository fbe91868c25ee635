#pragma once

// The PC's default audio output (Qt Multimedia). Desktop only: the line server never
// plays on the PC.

#include "platform/audio/AudioOutput.h"

#include <QVector>

namespace orvane {

class SpeakerAudioOutput : public AudioOutput {
public:
    explicit SpeakerAudioOutput(int sampleRate = 22050)
        : m_rate(sampleRate)
    {}

    int sampleRate() const override { return m_rate; }
    Status write(const qint16* samples, qsizetype count) override;
    // Plays what was written and returns when it has been heard. Runs a local event loop,
    // so the program's windows keep painting while it plays.
    Status finish() override;

private:
    int m_rate;
    QVector<qint16> m_pending;
};

} // namespace orvane
