// Fuzz target: an SDP offer from the network, as a SIP line reads and answers it.

#include "platform/telephony/sip/ReCompat.h"
#include "platform/telephony/sip/SipSdp.h"

#include <re.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray offer(reinterpret_cast<const char*>(data), qsizetype(size));
    orvane::sip::normalizeOffer(offer);
    orvane::sip::chooseCodec(offer);
    orvane::sip::SdpNegotiation negotiation;
    struct sa local;
    sa_set_str(&local, "127.0.0.1", 20000);
    if (negotiation.prepare(local, offer)) {
        negotiation.encode(false);
        struct sa remote;
        negotiation.remote(&remote);
        negotiation.takeOffer(offer);
    }
    return 0;
}
