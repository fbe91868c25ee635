#include "platform/audio/AudioOutput.h"

namespace orvane {

Status AudioOutput::writeSound(const Sound& sound)
{
    // 100 ms blocks: the first sound goes out at once, and an output that paces its writer
    // never holds more than its own queue.
    const qsizetype block = qMax(1, sampleRate() / 10);
    for (qsizetype at = 0; at < sound->size(); at += block) {
        if (Status s = write(sound->constData() + at, qMin(block, sound->size() - at)); !s)
            return s;
    }
    return {};
}

} // namespace orvane
