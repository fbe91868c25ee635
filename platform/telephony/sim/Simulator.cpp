#include "platform/telephony/sim/Simulator.h"

#include "platform/SteadyClock.h"
#include "platform/audio/G711.h"
#include "platform/audio/Resampler.h"
#include "platform/telephony/sim/SimCall.h"
#include "platform/telephony/sim/SimWaveDevice.h"
#include "platform/wav/WavFile.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

namespace orvane::sim {

namespace {
// The clock wakes this often; each wake moves exactly the bytes that are due, so a late
// wake never loses audio.
constexpr int kClockMs = 10;
} // namespace

struct Simulator::Line {
    LineConfig config;
    std::shared_ptr<SimCall> current;
    bool nextNoDevice = false;
    bool nextMonitorOnly = false;
    bool nextNoMedia = false;
    bool registrationFails = false;
};

struct Simulator::ActiveDevice {
    std::shared_ptr<SimWaveDevice> device;
    qint32 id = 0;
    bool callOver = false;
    // The two sides of a call between simulated lines move together: the first side's
    // entry names its partner, the partner's entry is skipped by the clock.
    std::shared_ptr<SimWaveDevice> partner;
    bool tickedByPartner = false;
};

namespace {

Status noSuchLine(const QString& name)
{
    return Status(err::InvalidArg, QStringLiteral("There is no line named \"%1\"").arg(name));
}

} // namespace

Result<QByteArray> Simulator::loadCallerAudio(const QString& path)
{
    if (path.isEmpty())
        return QByteArray();
    Result<wav::PcmSound> sound = wav::read(path);
    if (!sound)
        return sound.status();
    const QVector<qint16> pcm =
        resample(sound->samples.constData(), sound->samples.size(), sound->sampleRate, 8000);
    QByteArray bytes(pcm.size(), Qt::Uninitialized);
    g711::encodeUlaw(pcm.constData(), reinterpret_cast<quint8*>(bytes.data()), pcm.size());
    return bytes;
}

Simulator& Simulator::instance()
{
    // Never destroyed: telephony objects on other threads may outlive any static order.
    static Simulator* simulator = new Simulator;
    return *simulator;
}

Simulator::Simulator()
    : m_lines(configuredLines())
    , m_speed(clockSpeedFromEnvironment())
{
    for (const LineConfig& config : std::as_const(m_lines)) {
        Line* line = new Line;
        line->config = config;
        m_lineState.insert(config.name, line);
    }
    // Rings, the audio clock and call endings all run on the simulator's own thread.
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("simulator"));
    m_clock = new QTimer(this);
    m_clock->setTimerType(Qt::PreciseTimer);
    m_clock->setInterval(kClockMs);
    connect(m_clock, &QTimer::timeout, this, &Simulator::clockTick);
    moveToThread(m_thread);
    m_thread->start();
    if (QCoreApplication::instance())
        qAddPostRoutine([] { Simulator::instance().shutdown(); });
}

void Simulator::shutdown()
{
    QThread* thread = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        for (ActiveDevice* d : std::as_const(m_devices))
            d->device->close();
        if (m_stopped)
            return;
        m_stopped = true;
        thread = m_thread;
    }
    if (!thread || thread == QThread::currentThread())
        return;
    // The clock's timer belongs to the simulator thread: stop it there, then end the thread.
    QMetaObject::invokeMethod(
        this, [this] { m_clock->stop(); }, Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
}

// The table of lines never changes after construction: no lock is needed to look one up.
Simulator::Line* Simulator::lineLocked(const QString& name)
{
    return m_lineState.value(name);
}

void Simulator::deliverLocked(Line& line, TapiEvent event, const void* onlyOwner)
{
    m_events.raise(line.config.name, std::move(event), onlyOwner);
}

void Simulator::deliverStateLocked(Line& line, const std::shared_ptr<SimCall>& call, int state,
                                   int cause)
{
    TapiEvent event;
    event.kind = tapi::TE_CALLSTATE;
    event.callState = state;
    event.cause = cause;
    event.call = call;
    deliverLocked(line, event, call->m_outgoing ? call->m_owner : nullptr);
}

namespace {

// Digits, with an optional leading "+"; what people type between them is dropped.
QString normalizedNumber(const QString& number)
{
    QString digits;
    for (QChar c : number.trimmed()) {
        if (c.isDigit() || (c == u'+' && digits.isEmpty()))
            digits.append(c);
        else if (!QStringLiteral(" -().").contains(c))
            return QString();
    }
    return digits;
}

} // namespace

std::shared_ptr<SimCall> Simulator::offerLocked(Line& line, const QString& callerNumber,
                                                const QString& capturePath,
                                                const std::function<void(SimCall&)>& prepare)
{
    auto call = std::make_shared<SimCall>(m_nextCall++, line.config.name, callerNumber);
    // The line's faults set for its next call are spent by this one.
    call->m_privilege = line.nextMonitorOnly ? tapi::CP_MONITOR : tapi::CP_OWNER;
    call->m_faultNoDevice = line.nextNoDevice;
    call->m_faultNoMedia = line.nextNoMedia;
    line.nextMonitorOnly = line.nextNoDevice = line.nextNoMedia = false;
    prepare(*call);

    CallRecord record;
    record.id = call->id();
    record.line = line.config.name;
    record.callerNumber = callerNumber;
    record.state = tapi::CS_OFFERING;
    record.placedNs = steadyNowNs();
    record.capturePath = capturePath;
    m_records.insert(record.id, record);
    m_calls.insert(record.id, call);
    line.current = call;

    TapiEvent notification;
    notification.kind = tapi::TE_CALLNOTIFICATION;
    notification.call = call;
    deliverLocked(line, notification);
    deliverStateLocked(line, call, tapi::CS_OFFERING);
    return call;
}

Result<Simulator::Line*> Simulator::voiceLine(const QString& name)
{
    Line* line = lineLocked(name);
    if (!line)
        return noSuchLine(name);
    if (!line->config.audio)
        return Status(err::InvalidArg, QStringLiteral("Line \"%1\" cannot carry voice").arg(name));
    return line;
}

Result<std::shared_ptr<TelephonyCall>> Simulator::dial(const QString& lineName,
                                                       const QString& number, const void* owner)
{
    Result<Line*> voice = voiceLine(lineName);
    if (!voice)
        return voice.status();
    Line* line = voice.value();
    const QString dialled = normalizedNumber(number);
    std::shared_ptr<SimCall> call, incoming;
    int endCause = tapi::CEC_NONE;
    Line* target = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        if (line->registrationFails)
            return Status(err::Fail, QStringLiteral("Line \"%1\" is not registered").arg(lineName));
        if (line->current)
            return Status(err::InvalidState,
                          QStringLiteral("Line \"%1\" is already in a call").arg(lineName));
        call = std::make_shared<SimCall>(m_nextCall++, lineName, line->config.number);
        call->m_outgoing = true;
        call->m_owner = owner;
        call->m_state = tapi::CS_INPROGRESS;
        CallRecord record;
        record.id = call->id();
        record.line = lineName;
        record.callerNumber = line->config.number;
        record.state = tapi::CS_INPROGRESS;
        record.placedNs = steadyNowNs();
        m_records.insert(record.id, record);
        m_calls.insert(record.id, call);
        line->current = call;
        deliverStateLocked(*line, call, tapi::CS_INPROGRESS);

        for (Line* l : std::as_const(m_lineState))
            if (!dialled.isEmpty() && l->config.audio && l->config.number == dialled)
                target = l;
        if (!target) {
            endCause = tapi::CEC_DISCONNECT_BADADDRESS;
        } else if (target->current) {
            endCause = tapi::CEC_DISCONNECT_BUSY;
        } else {
            incoming = offerLocked(*target, line->config.number, QString(),
                                   [&](SimCall& c) { c.m_peer = call; });
            call->m_peer = incoming;
        }
    }
    post(*line);
    if (endCause != tapi::CEC_NONE) {
        end(*call, endCause, true);
    } else {
        post(*target);
        QMetaObject::invokeMethod(this, [this, incoming] {
            startRinging(incoming, kDialRings, kDialRingIntervalMs, -1);
        });
    }
    return std::shared_ptr<TelephonyCall>(call);
}

void Simulator::post(Line& line)
{
    m_events.flush(line.config.name);
}

Result<quint64> Simulator::placeCall(const CallRequest& request)
{
    Result<QByteArray> audio = request.callerAudio.isEmpty()
                                   ? loadCallerAudio(request.callerAudioPath)
                                   : Result<QByteArray>(request.callerAudio);
    if (!audio)
        return audio.status();
    if (request.rings < 1 || request.ringIntervalMs < 1)
        return Status(err::InvalidArg, QStringLiteral("A call needs at least one ring"));

    std::shared_ptr<SimCall> call;
    Line* line = lineLocked(request.line);
    if (!line)
        return noSuchLine(request.line);
    {
        QMutexLocker lock(&m_mutex);
        if (line->current)
            return Status(err::InvalidState,
                          QStringLiteral("Line \"%1\" is busy").arg(request.line));
        call = offerLocked(*line, request.callerNumber, request.capturePath, [&](SimCall& c) {
            c.m_callerAudio = audio.value();
            c.m_callerWaits = request.callerWaitsForGreeting;
            c.m_capturePath = request.capturePath;
        });
    }
    post(*line);
    QMetaObject::invokeMethod(
        this, [this, call, rings = request.rings, interval = request.ringIntervalMs,
               hangUp = request.hangUpAfterMs] { startRinging(call, rings, interval, hangUp); });
    return call->id();
}

void Simulator::startRinging(std::shared_ptr<SimCall> call, int rings, int intervalMs,
                             int hangUpAfterMs)
{
    call->m_rings = rings;
    call->m_hangUpAfterMs = hangUpAfterMs;
    if (call->state() != tapi::CS_OFFERING)
        return; // ended before the first ring was due: nothing to ring
    call->m_timer = new QTimer(this);
    call->m_timer->setTimerType(Qt::PreciseTimer);
    call->m_timer->setInterval(qMax(1, int(intervalMs / m_speed)));
    connect(call->m_timer, &QTimer::timeout, this, [this, call] { callTimer(call); });
    ring(call);
    call->m_timer->start();
}

void Simulator::callTimer(const std::shared_ptr<SimCall>& call)
{
    if (!call->m_timer)
        return;
    if (call->state() == tapi::CS_OFFERING) {
        int rung = 0;
        {
            QMutexLocker lock(&m_mutex);
            rung = m_records[call->id()].ringsRung;
        }
        if (rung < call->m_rings) {
            ring(call);
            return;
        }
        call->m_timer->stop();
        disconnect(*call, tapi::DC_NOANSWER, true); // the caller gives up
    } else if (call->state() == tapi::CS_CONNECTED && call->m_hangUpAfterMs >= 0) {
        // Answered: the timer now counts down to the caller hanging up.
        if (call->m_hangUpArmed) {
            call->m_timer->stop();
            disconnect(*call, tapi::DC_NORMAL, true);
        } else {
            call->m_hangUpArmed = true;
            call->m_timer->start(qMax(1, int(call->m_hangUpAfterMs / m_speed)));
        }
    } else {
        call->m_timer->stop();
    }
}

void Simulator::ring(const std::shared_ptr<SimCall>& call)
{
    Line* line = lineLocked(call->addressName());
    {
        QMutexLocker lock(&m_mutex);
        if (call->state() != tapi::CS_OFFERING)
            return;
        CallRecord& record = m_records[call->id()];
        ++record.ringsRung;
        record.lastRingNs = steadyNowNs();
        TapiEvent event;
        event.kind = tapi::TE_ADDRESS;
        event.addressEvent = tapi::AE_RINGING;
        event.call = call;
        deliverLocked(*line, event);
    }
    post(*line);
}

Status Simulator::answer(SimCall& call)
{
    std::shared_ptr<SimCall> shared, peer;
    {
        QMutexLocker lock(&m_mutex);
        if (call.state() != tapi::CS_OFFERING)
            return Status(err::InvalidState, QStringLiteral("The call is not being offered"));
        if (call.m_faultNoDevice)
            return Status(err::NoDevice, QStringLiteral("The line has no usable device"));
        if (call.m_privilege == tapi::CP_MONITOR)
            return Status(err::Fail, QStringLiteral("This program only monitors the call"));
        if (call.m_outgoing)
            return Status(err::InvalidState, QStringLiteral("This program placed the call"));
        const qint64 now = steadyNowNs();
        call.m_state = tapi::CS_CONNECTED;
        CallRecord& record = m_records[call.id()];
        record.state = tapi::CS_CONNECTED;
        record.answeredAtRing = record.ringsRung;
        record.answeredNs = now;
        shared = call.shared_from_this();
        peer = call.m_peer.lock();
        if (peer && peer->state() == tapi::CS_INPROGRESS) {
            // Two simulated lines: one wire, both sides connected at the same instant.
            auto wire = std::make_shared<SimWire>();
            peer->m_state = tapi::CS_CONNECTED;
            CallRecord& placed = m_records[peer->id()];
            placed.state = tapi::CS_CONNECTED;
            placed.answeredNs = now;
            peer->m_device = std::make_shared<SimWaveDevice>(wire, 0, m_speed, now);
            call.m_device = std::make_shared<SimWaveDevice>(wire, 1, m_speed, now);
            peer->m_deviceId = WaveDeviceRegistry::add(peer->m_device);
            call.m_deviceId = WaveDeviceRegistry::add(call.m_device);
            m_devices.append(
                new ActiveDevice{peer->m_device, peer->m_deviceId, false, call.m_device, false});
            m_devices.append(
                new ActiveDevice{call.m_device, call.m_deviceId, false, nullptr, true});
            deliverStateLocked(*lineLocked(peer->addressName()), peer, tapi::CS_CONNECTED);
        } else {
            peer.reset();
            call.m_device =
                std::make_shared<SimWaveDevice>(call.m_callerAudio, call.m_callerWaits,
                                                !call.m_capturePath.isEmpty(), m_speed, now);
            call.m_deviceId = WaveDeviceRegistry::add(call.m_device);
            m_devices.append(new ActiveDevice{call.m_device, call.m_deviceId, false, {}, false});
        }
        deliverStateLocked(*lineLocked(call.addressName()), shared, tapi::CS_CONNECTED);
    }
    if (peer)
        post(*lineLocked(peer->addressName()));
    post(*lineLocked(call.addressName()));
    QMetaObject::invokeMethod(this, [this, shared] {
        if (!m_clock->isActive())
            m_clock->start();
        // The ring timer either stops or, when the caller will hang up, turns into the
        // hang-up countdown.
        callTimer(shared);
    });
    return {};
}

Status Simulator::disconnect(SimCall& call, int code, bool byCaller)
{
    const int cause = code == tapi::DC_NOANSWER   ? tapi::CEC_DISCONNECT_NOANSWER
                      : code == tapi::DC_REJECTED ? tapi::CEC_DISCONNECT_REJECTED
                                                  : tapi::CEC_DISCONNECT_NORMAL;
    return end(call, cause, byCaller);
}

Status Simulator::end(SimCall& call, int cause, bool byCaller)
{
    std::shared_ptr<SimCall> shared, peer;
    int peerCause = cause;
    QByteArray heard;
    {
        QMutexLocker lock(&m_mutex);
        if (call.state() == tapi::CS_DISCONNECTED)
            return Status(err::InvalidState, QStringLiteral("The call has already ended"));
        call.m_state = tapi::CS_DISCONNECTED;
        CallRecord& record = m_records[call.id()];
        record.state = tapi::CS_DISCONNECTED;
        record.endedNs = steadyNowNs();
        record.endedByCaller = byCaller;
        if (call.m_device) {
            call.m_device->endCall();
            record.firstSentNs = call.m_device->firstSentNs();
            record.underrunBytes = call.m_device->underrunBytes();
            heard = call.m_device->heard();
            record.heardBytes = heard.size();
            for (ActiveDevice* d : std::as_const(m_devices))
                if (d->device == call.m_device)
                    d->callOver = true;
            call.m_device.reset();
        }
        Line* line = lineLocked(call.addressName());
        if (line->current.get() == &call)
            line->current.reset();
        shared = call.shared_from_this();
        m_calls.remove(call.id());
        // The other side of a call between two lines ends with it: a talk ends normally, a
        // call that never connected ends the way this side did.
        peer = call.m_peer.lock();
        call.m_peer.reset();
        if (record.answeredNs != 0)
            peerCause = tapi::CEC_DISCONNECT_NORMAL;
        deliverStateLocked(*line, shared, tapi::CS_DISCONNECTED, cause);
    }
    post(*lineLocked(call.addressName()));
    if (peer && peer->state() != tapi::CS_DISCONNECTED)
        end(*peer, peerCause, !byCaller);
    QMetaObject::invokeMethod(this, [this, shared, heard] {
        if (shared->m_timer) {
            shared->m_timer->stop();
            shared->m_timer->deleteLater();
            shared->m_timer = nullptr;
        }
        if (!shared->m_capturePath.isEmpty()) {
            QSaveFile file(shared->m_capturePath);
            if (!file.open(QIODevice::WriteOnly) || file.write(wav::muLawFile(heard)) < 0 ||
                !file.commit())
                qWarning("simulator: cannot write %s", qPrintable(shared->m_capturePath));
        }
        Q_EMIT callEnded(shared->id());
    });
    return {};
}

void Simulator::clockTick()
{
    QList<std::pair<std::shared_ptr<SimWaveDevice>, std::shared_ptr<SimWaveDevice>>> devices;
    {
        QMutexLocker lock(&m_mutex);
        devices.reserve(m_devices.size());
        for (ActiveDevice* d : std::as_const(m_devices))
            if (!d->tickedByPartner)
                devices.append({d->device, d->partner});
    }
    const qint64 now = steadyNowNs();
    for (const auto& [device, partner] : std::as_const(devices)) {
        if (partner)
            SimWaveDevice::tickLinked(*device, *partner, now);
        else
            device->tick(now);
    }
    devices.clear();

    QMutexLocker lock(&m_mutex);
    // A device is retired once its call is over and nobody holds it any more; the two sides
    // of a wire together, so that neither is ever ticked alone.
    QList<ActiveDevice*> retired;
    for (ActiveDevice* d : std::as_const(m_devices)) {
        if (d->tickedByPartner || !d->callOver || d->device.use_count() != 1)
            continue;
        if (!d->partner) {
            retired.append(d);
            continue;
        }
        for (ActiveDevice* p : std::as_const(m_devices)) {
            // Held by its own entry and by its partner's.
            if (p->device == d->partner && p->callOver && p->device.use_count() == 2) {
                retired.append(d);
                retired.append(p);
                break;
            }
        }
    }
    for (ActiveDevice* d : std::as_const(retired)) {
        m_devices.removeOne(d);
        WaveDeviceRegistry::remove(d->id);
        d->device->close();
        d->partner.reset();
    }
    qDeleteAll(retired);
    if (m_devices.isEmpty())
        m_clock->stop();
}

Status Simulator::hangUp(const QString& lineName)
{
    std::shared_ptr<SimCall> call;
    {
        QMutexLocker lock(&m_mutex);
        Line* line = lineLocked(lineName);
        if (!line)
            return noSuchLine(lineName);
        call = line->current;
    }
    if (!call)
        return Status(err::InvalidState,
                      QStringLiteral("There is no call on \"%1\"").arg(lineName));
    return disconnect(*call, tapi::DC_NORMAL, true);
}

Status Simulator::injectFault(const QString& lineName, Fault fault)
{
    QMutexLocker lock(&m_mutex);
    Line* line = lineLocked(lineName);
    if (!line)
        return noSuchLine(lineName);
    switch (fault) {
    case Fault::NoDeviceOnAnswer:
        line->nextNoDevice = true;
        break;
    case Fault::MonitorOnly:
        line->nextMonitorOnly = true;
        break;
    case Fault::NoMediaComponent:
        line->nextNoMedia = true;
        break;
    case Fault::RegistrationFails:
        line->registrationFails = true;
        break;
    }
    return {};
}

Status Simulator::clearFaults(const QString& lineName)
{
    QMutexLocker lock(&m_mutex);
    Line* line = lineLocked(lineName);
    if (!line)
        return noSuchLine(lineName);
    line->nextNoDevice = line->nextMonitorOnly = line->nextNoMedia = false;
    line->registrationFails = false;
    return {};
}

std::optional<CallRecord> Simulator::call(quint64 id) const
{
    QMutexLocker lock(&m_mutex);
    auto it = m_records.constFind(id);
    if (it == m_records.constEnd())
        return std::nullopt;
    return *it;
}

int Simulator::registrations(const QString& lineName) const
{
    return m_events.count(lineName);
}

quint64 Simulator::currentCall(const QString& lineName) const
{
    QMutexLocker lock(&m_mutex);
    const Line* line = m_lineState.value(lineName);
    return line && line->current ? line->current->id() : 0;
}

Result<qint32> Simulator::registerReceiver(const QString& lineName, TapiEventReceiver* receiver,
                                           std::shared_ptr<std::atomic<int>> filter,
                                           const void* owner)
{
    QMutexLocker lock(&m_mutex);
    Result<Line*> voice = voiceLine(lineName);
    if (!voice)
        return voice.status();
    Line* line = voice.value();
    if (line->registrationFails)
        return Status(err::Fail,
                      QStringLiteral("Line \"%1\" refused the registration").arg(lineName));
    return m_events.add(lineName, receiver, std::move(filter), owner);
}

Status Simulator::unregisterReceiver(qint32 cookie, const void* owner)
{
    return m_events.remove(cookie, owner);
}

bool Simulator::hasFault(const SimCall& call, Fault fault) const
{
    QMutexLocker lock(&m_mutex);
    switch (fault) {
    case Fault::NoDeviceOnAnswer:
        return call.m_faultNoDevice;
    case Fault::MonitorOnly:
        return call.m_privilege == tapi::CP_MONITOR;
    case Fault::NoMediaComponent:
        return call.m_faultNoMedia;
    case Fault::RegistrationFails:
        return false;
    }
    return false;
}

} // namespace orvane::sim
