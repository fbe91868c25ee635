#include "platform/audio/AudioFormat.h"

namespace orvane::audioformat {

int sampleRate(qint32 format)
{
    switch (format) {
    case SAFT8kHz16BitMono:
    case SAFTCCITT_ALaw_8kHzMono:
    case SAFTCCITT_uLaw_8kHzMono:
        return 8000;
    case SAFT22kHz16BitMono:
        return 22050;
    default:
        return 0;
    }
}

} // namespace orvane::audioformat
