#pragma once

// Where the speech service sends what it renders: a call's audio device, the PC's
// speakers, or a capture in memory. Rendering is synchronous: finish() returns when the
// last sample has been played or sent.

#include "platform/Status.h"
#include "platform/audio/Sound.h"

#include <QByteArray>
#include <QVector>

#include <memory>

namespace orvane {

class WaveDevice;

class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // The rate the output takes; the speech service resamples to it.
    virtual int sampleRate() const = 0;
    virtual Status write(const qint16* samples, qsizetype count) = 0;
    // A whole sound that does not change. An output that can plays it without a copy;
    // the others get it through write(), in blocks of 100 ms.
    virtual Status writeSound(const Sound& sound);
    virtual Status finish() = 0;
};

// A call's wave device, in the format code the line media component gave for it.
class CallAudioOutput : public AudioOutput {
public:
    // Fails when the id names no device or the device does not carry that format.
    static Result<std::unique_ptr<CallAudioOutput>> open(qint32 waveDeviceId, qint32 formatType);
    // The same for a device already held.
    static Result<std::unique_ptr<CallAudioOutput>> open(std::shared_ptr<WaveDevice> device,
                                                         qint32 formatType);

    int sampleRate() const override;
    Status write(const qint16* samples, qsizetype count) override;
    // In the device's own wire format, mu-law: the device encodes the sound as it goes out.
    Status writeSound(const Sound& sound) override;
    Status finish() override;

private:
    CallAudioOutput(std::shared_ptr<WaveDevice> device, qint32 formatType);
    std::shared_ptr<WaveDevice> m_device;
    qint32 m_format;
    QByteArray m_encoded;
};

// Keeps what it is given, for tests and for files.
class CaptureAudioOutput : public AudioOutput {
public:
    explicit CaptureAudioOutput(int sampleRate = 8000)
        : m_rate(sampleRate)
    {}

    int sampleRate() const override { return m_rate; }
    Status write(const qint16* samples, qsizetype count) override;
    Status finish() override;

    const QVector<qint16>& samples() const { return m_samples; }
    int finishCount() const { return m_finished; }

private:
    int m_rate;
    QVector<qint16> m_samples;
    int m_finished = 0;
};

} // namespace orvane
