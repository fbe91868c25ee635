// Fuzz target: a greeting WAV file, read a block at a time and put to the telephone rate as
// a line does before it plays the file to a caller, and read whole as the simulator's
// callers are.

#include "FuzzCheck.h"
#include "FuzzInputFile.h"

#include "platform/audio/Resampler.h"
#include "platform/wav/WavFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace orvane;
    const QString path = fuzz::inputFile(data, size);
    Result<std::unique_ptr<wav::Reader>> reader = wav::Reader::open(path);
    const Result<wav::PcmSound> whole = wav::read(path);
    FUZZ_CHECK(reader.isOk() || !whole.isOk()); // what reads whole opens
    if (!reader) {
        FUZZ_CHECK(!reader.status().description().isEmpty()); // the user is told why
        return 0;
    }
    const int rate = reader.value()->sampleRate();
    FUZZ_CHECK(rate >= 1000 && rate <= 384000);
    QVector<qint16> blocks, line;
    StreamResampler resampler(rate, 8000);
    bool failed = false;
    for (;;) {
        const qsizetype before = blocks.size();
        const Result<qsizetype> got = reader.value()->read(blocks, 1000);
        if (!got) {
            failed = true;
            break;
        }
        FUZZ_CHECK(got.value() >= 0 && got.value() <= 1000);
        FUZZ_CHECK(blocks.size() == before + got.value());
        FUZZ_CHECK(blocks.size() <= qsizetype(wav::kMaxSeconds) * rate);
        if (got.value() == 0)
            break;
        line += resampler.process(blocks.constData() + before, got.value());
    }
    if (failed)
        return 0;
    line += resampler.finish();
    // The blocks are the file read whole, and the sound at 8 kHz has its exact length.
    FUZZ_CHECK(whole.isOk() && whole->sampleRate == rate && whole->samples == blocks);
    FUZZ_CHECK(line.size() == qsizetype(qint64(blocks.size()) * 8000 / rate));
    return 0;
}
