#include "platform/telephony/Telephony.h"
#include "platform/telephony/sim/SimTelephony.h"

namespace orvane {

std::unique_ptr<Telephony> createTelephony()
{
    return std::make_unique<sim::SimTelephony>();
}

} // namespace orvane
