#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/G711.h"
#include "platform/audio/WaveDevice.h"

namespace orvane {

Result<std::unique_ptr<CallAudioOutput>> CallAudioOutput::open(qint32 waveDeviceId,
                                                               qint32 formatType)
{
    std::shared_ptr<WaveDevice> device = WaveDeviceRegistry::find(waveDeviceId);
    if (!device)
        return Status(err::InvalidArg,
                      QStringLiteral("No audio device with id %1").arg(waveDeviceId));
    if (device->formatType() != formatType)
        return Status(err::InvalidArg, QStringLiteral("Audio device %1 does not carry format %2")
                                           .arg(waveDeviceId)
                                           .arg(formatType));
    return open(std::move(device), formatType);
}

Result<std::unique_ptr<CallAudioOutput>> CallAudioOutput::open(std::shared_ptr<WaveDevice> device,
                                                               qint32 formatType)
{
    if (!device)
        return Status(err::InvalidArg, QStringLiteral("The call has no audio device"));
    if (device->formatType() != formatType)
        return Status(err::InvalidArg,
                      QStringLiteral("The audio device does not carry format %1").arg(formatType));
    return std::unique_ptr<CallAudioOutput>(new CallAudioOutput(std::move(device), formatType));
}

CallAudioOutput::CallAudioOutput(std::shared_ptr<WaveDevice> device, qint32 formatType)
    : m_device(std::move(device))
    , m_format(formatType)
{}

int CallAudioOutput::sampleRate() const
{
    return m_device->sampleRate();
}

Status CallAudioOutput::write(const qint16* samples, qsizetype count)
{
    switch (m_format) {
    case audioformat::SAFTCCITT_uLaw_8kHzMono:
        m_encoded.resize(count);
        g711::encodeUlaw(samples, reinterpret_cast<quint8*>(m_encoded.data()), count);
        break;
    case audioformat::SAFTCCITT_ALaw_8kHzMono:
        m_encoded.resize(count);
        for (qsizetype i = 0; i < count; ++i)
            m_encoded[i] = char(g711::linearToAlaw(samples[i]));
        break;
    case audioformat::SAFT8kHz16BitMono:
    case audioformat::SAFT22kHz16BitMono:
        m_encoded = QByteArray(reinterpret_cast<const char*>(samples), count * 2);
        break;
    default:
        return Status(err::InvalidArg, QStringLiteral("Unknown audio format %1").arg(m_format));
    }
    return m_device->write(reinterpret_cast<const quint8*>(m_encoded.constData()),
                           m_encoded.size());
}

Status CallAudioOutput::writeSound(const Sound& sound)
{
    // open() has checked that the device carries this format.
    if (m_format != audioformat::SAFTCCITT_uLaw_8kHzMono)
        return AudioOutput::writeSound(sound);
    return m_device->writeSound(sound);
}

Status CallAudioOutput::finish()
{
    return m_device->drain();
}

} // namespace orvane
