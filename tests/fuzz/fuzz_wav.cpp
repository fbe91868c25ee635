// Fuzz target: a greeting WAV file, read and put to the telephone rate as a line does before
// it plays the file to a caller.

#include "FuzzCheck.h"
#include "FuzzInputFile.h"

#include "platform/audio/Resampler.h"
#include "platform/wav/WavFile.h"

namespace {
// The longest greeting a line plays, in seconds.
constexpr qint64 kLongestSeconds = 600;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace orvane;
    const Result<wav::PcmSound> sound = wav::read(fuzz::inputFile(data, size));
    if (!sound) {
        FUZZ_CHECK(!sound.status().description().isEmpty()); // the user is told why
        return 0;
    }
    FUZZ_CHECK(sound->sampleRate >= 1000 && sound->sampleRate <= 384000);
    FUZZ_CHECK(sound->samples.size() <= kLongestSeconds * sound->sampleRate);
    const QVector<qint16> line =
        resample(sound->samples.constData(), sound->samples.size(), sound->sampleRate, 8000);
    FUZZ_CHECK(line.size() == qsizetype(qint64(sound->samples.size()) * 8000 / sound->sampleRate));
    return 0;
}
