#include "platform/audio/WaveDevice.h"
#include "platform/telephony/sim/SimCall.h"
#include "platform/telephony/sim/SimTelephony.h"

namespace orvane::sim {

Result<qint32> SimLineMedia::waveDeviceId(const std::shared_ptr<TelephonyCall>& call, int kind)
{
    auto* simCall = dynamic_cast<SimCall*>(call.get());
    if (!simCall)
        return Status(err::InvalidArg, QStringLiteral("Not a call of this line"));
    // A line whose media component is missing fails here, where the component would first
    // be needed.
    if (Simulator::instance().hasFault(*simCall, Fault::NoMediaComponent))
        return Status(err::CannotCreate,
                      QStringLiteral("The line media component is not installed"));
    if (kind != tapi::LINE_MEDIA_WAVE_DEVICE)
        return Status(err::InvalidArg, QStringLiteral("Unknown media request %1").arg(kind));
    if (simCall->state() != tapi::CS_CONNECTED || simCall->m_deviceId == 0)
        return Status(err::InvalidState, QStringLiteral("The call has no audio device"));
    return simCall->m_deviceId.load();
}

Result<qint32> SimLineMedia::formatType(qint32 waveDeviceId)
{
    std::shared_ptr<WaveDevice> device = WaveDeviceRegistry::find(waveDeviceId);
    if (!device)
        return Status(err::InvalidArg,
                      QStringLiteral("No audio device with id %1").arg(waveDeviceId));
    return device->formatType();
}

} // namespace orvane::sim
