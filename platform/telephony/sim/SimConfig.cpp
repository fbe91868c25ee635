#include "platform/telephony/sim/SimConfig.h"

#include "platform/telephony/TapiConstants.h"

#include <QtGlobal>

namespace orvane::sim {

QString voiceLineName(int n)
{
    return QStringLiteral("Simulated Line %1").arg(n);
}

QList<LineConfig> makeLines(int voiceLines)
{
    voiceLines = qBound(0, voiceLines, kMaxVoiceLines);
    QList<LineConfig> lines;
    for (int n = 1; n <= voiceLines; ++n) {
        lines.append({voiceLineName(n), true, QString::number(2000 + n)});
        if (n == 1)
            lines.append({QString::fromLatin1(tapi::H323_LINE), true, QString()});
        if (n == 2)
            lines.append({QStringLiteral("Simulated Data Line"), false, QStringLiteral("2999")});
    }
    if (voiceLines < 2)
        lines.append({QStringLiteral("Simulated Data Line"), false, QStringLiteral("2999")});
    if (voiceLines < 1)
        lines.append({QString::fromLatin1(tapi::H323_LINE), true, QString()});
    lines.append({QString::fromLatin1(tapi::IPCONF_LINE), true, QString()});
    return lines;
}

QList<LineConfig> linesFromEnvironment()
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue("ORVANE_SIM_LINES", &ok);
    return makeLines(ok ? n : kDefaultVoiceLines);
}

const QList<LineConfig>& configuredLines()
{
    static const QList<LineConfig> lines = linesFromEnvironment();
    return lines;
}

double clockSpeedFromEnvironment()
{
    bool ok = false;
    const double speed = qEnvironmentVariable("ORVANE_SIM_SPEED").toDouble(&ok);
    return ok && speed >= 0.01 && speed <= 1000 ? speed : 1.0;
}

FaxTransport faxTransportFromEnvironment()
{
    const QString name = qEnvironmentVariable("ORVANE_SIM_FAX_TRANSPORT").trimmed().toLower();
    if (name == QLatin1String("audio"))
        return FaxTransport::Audio;
    if (name == QLatin1String("t38"))
        return FaxTransport::T38;
    return FaxTransport::Auto;
}

double lossFromEnvironment()
{
    bool ok = false;
    const double percent = qEnvironmentVariable("ORVANE_SIM_LOSS").toDouble(&ok);
    return ok && percent > 0 ? qMin(percent, 50.0) / 100.0 : 0.0;
}

} // namespace orvane::sim
