// Fuzz target: a lines.conf as a user may write it.

#include "platform/telephony/sip/SipLinesConfig.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    orvane::sip::parseLinesConfig(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
