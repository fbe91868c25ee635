#include "platform/telephony/Telephony.h"
#include "platform/telephony/sim/SimTelephony.h"
#include "platform/telephony/sip/SipTelephony.h"

namespace orvane {

namespace {
// Read once: every telephony object of the process sees the same lines.
const Result<sip::LinesFile>& configuredLines()
{
    static const Result<sip::LinesFile> configured = sip::readLinesFile();
    return configured;
}
} // namespace

std::unique_ptr<Telephony> createTelephony()
{
    // A lines.conf that cannot be used makes the sip provider fail to initialise with the
    // reason, rather than quietly giving simulated lines in its place.
    const Result<sip::LinesFile>& configured = configuredLines();
    if (configured.isOk() && configured->lines.isEmpty())
        return std::make_unique<sim::SimTelephony>();
    return std::make_unique<sip::SipTelephony>(configured);
}

QStringList telephonyWarnings()
{
    const Result<sip::LinesFile>& configured = configuredLines();
    return configured.isOk() ? configured->warnings : QStringList();
}

} // namespace orvane
