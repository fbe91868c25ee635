#pragma once

// Sample rate conversion: of whole sounds (greetings, messages, played files), and of a sound
// that arrives in blocks (a wave file read a block at a time).

#include <QVector>

#include <memory>

struct SpeexResamplerState_;

namespace orvane {

// `count` samples at `fromRate` to the same sound at `toRate`, delay-compensated, so that
// the result has count * toRate / fromRate samples.
QVector<qint16> resample(const qint16* samples, qsizetype count, int fromRate, int toRate);

// The same conversion in blocks: what process() and finish() return, joined, is what
// resample() gives for the whole input.
class StreamResampler {
public:
    StreamResampler(int fromRate, int toRate);
    ~StreamResampler();
    StreamResampler(const StreamResampler&) = delete;
    StreamResampler& operator=(const StreamResampler&) = delete;

    QVector<qint16> process(const qint16* samples, qsizetype count);
    // The rest: the filter's delay flushed, the whole trimmed or padded to its exact length.
    QVector<qint16> finish();

private:
    void run(const qint16* in, qsizetype count, QVector<qint16>& out);
    qsizetype expected() const { return qsizetype(m_in * m_toRate / m_fromRate); }

    std::unique_ptr<SpeexResamplerState_, void (*)(SpeexResamplerState_*)> m_state;
    qint64 m_fromRate, m_toRate;
    qint64 m_in = 0, m_out = 0;
};

} // namespace orvane
