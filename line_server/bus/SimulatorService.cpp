#include "line_server/bus/SimulatorService.h"

#include "line_server/client/DBusStatus.h"
#include "platform/telephony/sim/Simulator.h"

namespace orvane {

SimulatorService::SimulatorService(QObject* parent)
    : QObject(parent)
{
    connect(&sim::Simulator::instance(), &sim::Simulator::callEnded, this,
            &SimulatorService::CallEnded);
}

QStringList SimulatorService::Lines()
{
    QStringList names;
    for (const sim::LineConfig& line : sim::Simulator::instance().lines())
        names.append(line.name);
    return names;
}

quint64 SimulatorService::PlaceCall(const QString& line, const QString& callerNumber, int rings,
                                    int ringIntervalMs, const QString& callerAudioWav,
                                    bool callerWaits, const QString& captureWav, int hangUpAfterMs)
{
    sim::CallRequest request;
    request.line = line;
    request.callerNumber = callerNumber;
    request.rings = rings;
    request.ringIntervalMs = ringIntervalMs;
    request.callerAudioPath = callerAudioWav;
    request.callerWaitsForGreeting = callerWaits;
    request.capturePath = captureWav;
    request.hangUpAfterMs = hangUpAfterMs;
    Result<quint64> id = sim::Simulator::instance().placeCall(request);
    if (!id) {
        sendErrorReply(tolvex::errorName(id.status()), tolvex::errorMessage(id.status()));
        return 0;
    }
    return id.value();
}

QList<quint64> SimulatorService::PlaceCalls(const QStringList& lines, const QString& callerNumber,
                                            int rings, int ringIntervalMs,
                                            const QString& callerAudioWav, bool callerWaits,
                                            int hangUpAfterMs)
{
    QList<quint64> ids;
    ids.reserve(lines.size());
    // Read once, so that every call starts at the same moment.
    const Result<QByteArray> audio = sim::Simulator::loadCallerAudio(callerAudioWav);
    if (!audio) {
        sendErrorReply(tolvex::errorName(audio.status()), tolvex::errorMessage(audio.status()));
        return ids;
    }
    for (const QString& line : lines) {
        sim::CallRequest request;
        request.line = line;
        request.callerNumber = callerNumber;
        request.rings = rings;
        request.ringIntervalMs = ringIntervalMs;
        request.callerAudio = audio.value();
        request.callerWaitsForGreeting = callerWaits;
        request.hangUpAfterMs = hangUpAfterMs;
        Result<quint64> id = sim::Simulator::instance().placeCall(request);
        if (!id) {
            sendErrorReply(tolvex::errorName(id.status()), tolvex::errorMessage(id.status()));
            return ids;
        }
        ids.append(id.value());
    }
    return ids;
}

void SimulatorService::HangUp(const QString& line)
{
    if (Status s = sim::Simulator::instance().hangUp(line); !s)
        sendErrorReply(tolvex::errorName(s), tolvex::errorMessage(s));
}

void SimulatorService::InjectFault(const QString& line, const QString& fault)
{
    static const QHash<QString, sim::Fault> faults{
        {QStringLiteral("NoDeviceOnAnswer"), sim::Fault::NoDeviceOnAnswer},
        {QStringLiteral("MonitorOnly"), sim::Fault::MonitorOnly},
        {QStringLiteral("NoMediaComponent"), sim::Fault::NoMediaComponent},
        {QStringLiteral("RegistrationFails"), sim::Fault::RegistrationFails},
        {QStringLiteral("MalformedFaxPages"), sim::Fault::MalformedFaxPages},
        {QStringLiteral("FaxCaller"), sim::Fault::FaxCaller},
    };
    auto it = faults.constFind(fault);
    if (it == faults.constEnd()) {
        const Status s(err::InvalidArg, QStringLiteral("Unknown fault \"%1\"").arg(fault));
        sendErrorReply(tolvex::errorName(s), tolvex::errorMessage(s));
        return;
    }
    if (Status s = sim::Simulator::instance().injectFault(line, *it); !s)
        sendErrorReply(tolvex::errorName(s), tolvex::errorMessage(s));
}

void SimulatorService::ClearFaults(const QString& line)
{
    if (Status s = sim::Simulator::instance().clearFaults(line); !s)
        sendErrorReply(tolvex::errorName(s), tolvex::errorMessage(s));
}

QVariantMap SimulatorService::CallInfo(quint64 id)
{
    const std::optional<sim::CallRecord> call = sim::Simulator::instance().call(id);
    if (!call) {
        const Status s(err::InvalidArg, QStringLiteral("No call %1").arg(id));
        sendErrorReply(tolvex::errorName(s), tolvex::errorMessage(s));
        return {};
    }
    auto ms = [](qint64 fromNs, qint64 toNs) {
        return fromNs && toNs ? double(toNs - fromNs) / 1e6 : -1.0;
    };
    return {
        {QStringLiteral("line"), call->line},
        {QStringLiteral("callerNumber"), call->callerNumber},
        {QStringLiteral("state"), call->state},
        {QStringLiteral("ringsRung"), call->ringsRung},
        {QStringLiteral("answeredAtRing"), call->answeredAtRing},
        {QStringLiteral("endedByCaller"), call->endedByCaller},
        {QStringLiteral("answerLatencyMs"), ms(call->lastRingNs, call->answeredNs)},
        {QStringLiteral("firstSoundMs"), ms(call->answeredNs, call->firstSentNs)},
        {QStringLiteral("heardBytes"), call->heardBytes},
        {QStringLiteral("underrunBytes"), call->underrunBytes},
        {QStringLiteral("capturePath"), call->capturePath},
    };
}

QVariantMap SimulatorService::LineInfo(const QString& line)
{
    sim::Simulator& simulator = sim::Simulator::instance();
    return {
        {QStringLiteral("registrations"), simulator.registrations(line)},
        {QStringLiteral("currentCall"), simulator.currentCall(line)},
    };
}

} // namespace orvane
