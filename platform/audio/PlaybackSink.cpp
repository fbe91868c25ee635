#include "platform/audio/PlaybackSink.h"

namespace orvane {

PlaybackSink::~PlaybackSink() = default;

} // namespace orvane
