#include "platform/telephony/Telephony.h"
#include "platform/telephony/sim/SimTelephony.h"
#include "platform/telephony/sip/SipTelephony.h"

namespace orvane {

std::unique_ptr<Telephony> createTelephony()
{
    // Read once: every telephony object of the process sees the same lines. A lines.conf
    // that cannot be used makes the sip provider fail to initialise with the reason, rather
    // than quietly giving simulated lines in its place.
    static const Result<sip::LinesFile> configured = sip::readLinesFile();
    if (configured.isOk() && configured->lines.isEmpty())
        return std::make_unique<sim::SimTelephony>();
    return std::make_unique<sip::SipTelephony>(configured);
}

} // namespace orvane
