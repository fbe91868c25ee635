#include "platform/audio/Resampler.h"

#include <speex/speex_resampler.h>

#include <memory>

namespace orvane {

QVector<qint16> resample(const qint16* samples, qsizetype count, int fromRate, int toRate)
{
    if (fromRate == toRate || count == 0)
        return QVector<qint16>(samples, samples + count);

    int error = 0;
    std::unique_ptr<SpeexResamplerState, void (*)(SpeexResamplerState*)> state(
        speex_resampler_init(1, spx_uint32_t(fromRate), spx_uint32_t(toRate),
                             SPEEX_RESAMPLER_QUALITY_VOIP, &error),
        speex_resampler_destroy);
    const qsizetype expected = qsizetype((qint64(count) * toRate) / fromRate);
    if (!state)
        return QVector<qint16>(expected, 0);
    // Skip the filter's delay at the start; flush it at the end with zeros.
    speex_resampler_skip_zeros(state.get());
    const int latency = speex_resampler_get_input_latency(state.get());

    QVector<qint16> out(expected + 64);
    qsizetype produced = 0;
    auto run = [&](const qint16* in, qsizetype inCount) {
        while (inCount > 0 && produced < out.size()) {
            spx_uint32_t inLen = spx_uint32_t(qMin<qsizetype>(inCount, 1 << 20));
            spx_uint32_t outLen = spx_uint32_t(out.size() - produced);
            speex_resampler_process_int(state.get(), 0, in, &inLen, out.data() + produced, &outLen);
            produced += outLen;
            in += inLen;
            inCount -= inLen;
            if (inLen == 0 && outLen == 0)
                break;
        }
    };
    run(samples, count);
    const QVector<qint16> tail(latency, 0);
    run(tail.constData(), tail.size());
    out.resize(qMin(produced, expected));
    if (out.size() < expected)
        out.resize(expected); // pads with silence
    return out;
}

} // namespace orvane
