// The telephony providers, chosen by name. Another kind of line (another provider) is one
// more row in the table below, and a telephony object deriving from ProviderTelephony.

#include "platform/telephony/Telephony.h"
#include "platform/telephony/sim/SimTelephony.h"
#include "platform/telephony/sim/Simulator.h"
#include "platform/telephony/sip/SipTelephony.h"

namespace orvane {

namespace {

// Read once: every telephony object of the process sees the same lines.
const Result<sip::LinesFile>& configuredLines()
{
    static const Result<sip::LinesFile> configured = sip::readLinesFile();
    return configured;
}

struct Provider {
    const char* name;
    std::unique_ptr<Telephony> (*create)();
    // The process is ending: whatever waits on the provider's audio is woken, before the
    // lines end. Null when nothing can wait.
    void (*shutdown)();
};

const Provider kProviders[] = {
    {"sim", [] { return std::unique_ptr<Telephony>(new sim::SimTelephony); },
     // Wakes lines blocked on simulated audio.
     [] { sim::Simulator::instance().shutdown(); }},
    {"sip", [] { return std::unique_ptr<Telephony>(new sip::SipTelephony(configuredLines())); },
     // Lines waiting on SIP audio are cut short by their objects; the SIP loop ends with
     // the application, after the lines have hung up.
     nullptr},
};

} // namespace

QString configuredProvider()
{
    // A lines.conf that cannot be used makes the sip provider fail to initialise with the
    // reason, rather than quietly giving simulated lines in its place.
    const Result<sip::LinesFile>& configured = configuredLines();
    return QLatin1String(configured.isOk() && configured->lines.isEmpty() ? "sim" : "sip");
}

std::unique_ptr<Telephony> createTelephony(const QString& provider)
{
    const QString name = provider.isEmpty() ? configuredProvider() : provider;
    for (const Provider& p : kProviders)
        if (name == QLatin1String(p.name))
            return p.create();
    return nullptr;
}

void shutdownTelephony()
{
    for (const Provider& p : kProviders)
        if (p.shutdown)
            p.shutdown();
}

QStringList telephonyWarnings()
{
    const Result<sip::LinesFile>& configured = configuredLines();
    return configured.isOk() ? configured->warnings : QStringList();
}

} // namespace orvane
