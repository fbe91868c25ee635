#include "platform/audio/Resampler.h"

#include <speex/speex_resampler.h>

namespace orvane {

QVector<qint16> resample(const qint16* samples, qsizetype count, int fromRate, int toRate)
{
    if (fromRate == toRate || count == 0)
        return QVector<qint16>(samples, samples + count);
    StreamResampler resampler(fromRate, toRate);
    QVector<qint16> out = resampler.process(samples, count);
    out.append(resampler.finish());
    return out;
}

StreamResampler::StreamResampler(int fromRate, int toRate)
    : m_state(nullptr, speex_resampler_destroy)
    , m_fromRate(fromRate)
    , m_toRate(toRate)
{
    if (fromRate == toRate)
        return;
    int error = 0;
    m_state.reset(speex_resampler_init(1, spx_uint32_t(fromRate), spx_uint32_t(toRate),
                                       SPEEX_RESAMPLER_QUALITY_VOIP, &error));
    // Skip the filter's delay at the start; finish() flushes it with zeros.
    if (m_state)
        speex_resampler_skip_zeros(m_state.get());
}

StreamResampler::~StreamResampler() = default;

void StreamResampler::run(const qint16* in, qsizetype count, QVector<qint16>& out)
{
    const qsizetype start = out.size();
    out.resize(start + qsizetype(count * m_toRate / m_fromRate) + 64);
    qsizetype produced = start;
    while (count > 0 && produced < out.size()) {
        spx_uint32_t inLen = spx_uint32_t(qMin<qsizetype>(count, 1 << 20));
        spx_uint32_t outLen = spx_uint32_t(out.size() - produced);
        speex_resampler_process_int(m_state.get(), 0, in, &inLen, out.data() + produced, &outLen);
        produced += outLen;
        in += inLen;
        count -= inLen;
        if (inLen == 0 && outLen == 0)
            break;
    }
    out.resize(produced);
}

QVector<qint16> StreamResampler::process(const qint16* samples, qsizetype count)
{
    m_in += count;
    if (m_fromRate == m_toRate) {
        m_out += count;
        return QVector<qint16>(samples, samples + count);
    }
    QVector<qint16> out;
    if (m_state)
        run(samples, count, out);
    // Never past the sound's length, which finish() makes exact.
    out.resize(qMax<qsizetype>(0, qMin<qsizetype>(out.size(), expected() - m_out)));
    m_out += out.size();
    return out;
}

QVector<qint16> StreamResampler::finish()
{
    QVector<qint16> out;
    if (m_state && m_fromRate != m_toRate) {
        const QVector<qint16> tail(speex_resampler_get_input_latency(m_state.get()), 0);
        run(tail.constData(), tail.size(), out);
    }
    // Trimmed to the length, or padded with silence up to it.
    out.resize(qMax<qsizetype>(0, expected() - m_out));
    m_out += out.size();
    return out;
}

} // namespace orvane
