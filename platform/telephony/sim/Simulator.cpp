#include "platform/telephony/sim/Simulator.h"

#include "platform/SteadyClock.h"
#include "platform/audio/G711.h"
#include "platform/audio/Resampler.h"
#include "platform/telephony/sim/SimCall.h"
#include "platform/telephony/sim/SimFaxCaller.h"
#include "platform/telephony/sim/SimWaveDevice.h"
#include "platform/wav/WavFile.h"

#include <QCoreApplication>
#include <QSaveFile>
#include <QThread>
#include <QTimer>

#include <mutex>
#include <utility>

namespace orvane::sim {

namespace {
// The clock wakes this often; each wake moves exactly the bytes that are due, so a late
// wake never loses audio.
constexpr int kClockMs = 10;
} // namespace

struct Simulator::Line {
    LineConfig config;
    EventHub::Channel* events = nullptr;
    QMutex mutex; // the line's state, and the state and records of its calls
    std::shared_ptr<SimCall> current;
    bool nextNoDevice = false;
    bool nextMonitorOnly = false;
    bool nextNoMedia = false;
    bool registrationFails = false;
    bool nextMalformedFax = false; // spent only by a call placed on the line
    bool nextFaxCaller = false;    // likewise
};

struct Simulator::ActiveDevice {
    std::shared_ptr<SimWaveDevice> device;
    qint32 id = 0;
    // The two sides of a call between simulated lines move together: the first side's
    // entry names its partner, the partner's entry is skipped by the clock.
    std::shared_ptr<SimWaveDevice> partner;
    bool tickedByPartner = false;
};

namespace {

// The locks of one or two lines, always taken in the same order, so that two threads
// taking the same two lines (two lines calling each other) never hold one each.
class BothLocks {
public:
    BothLocks(QMutex& one, QMutex* other)
    {
        QMutex* first = &one;
        QMutex* second = other != &one ? other : nullptr;
        if (second && std::less<QMutex*>()(second, first))
            std::swap(first, second);
        m_first = std::unique_lock<QMutex>(*first);
        if (second)
            m_second = std::unique_lock<QMutex>(*second);
    }

private:
    std::unique_lock<QMutex> m_first, m_second;
};

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
        line->events = &m_events.channel(config.name);
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
    if (!m_stopped.exchange(true)) {
        if (m_thread != QThread::currentThread() && m_thread->isRunning()) {
            // The clock and its devices belong to the simulator thread: stop them there,
            // then end the thread.
            QMetaObject::invokeMethod(
                this, [this] { stopClock(); }, Qt::BlockingQueuedConnection);
            m_thread->quit();
            m_thread->wait();
        } else {
            stopClock();
        }
    }
    closePending();
}

void Simulator::stopClock()
{
    m_clock->stop();
    // Wakes lines blocked on simulated audio.
    for (ActiveDevice* d : std::as_const(m_devices))
        d->device->close();
    closePending();
}

void Simulator::closePending()
{
    for (const Answered& a : m_answered.take()) {
        for (ActiveDevice* d : a.devices) {
            d->device->close();
            WaveDeviceRegistry::remove(d->id);
            delete d;
        }
    }
}

Simulator::Line* Simulator::lineOf(const QString& name) const
{
    return m_lineState.value(name);
}

void Simulator::deliverLocked(Line& line, TapiEvent event, const void* onlyOwner)
{
    EventHub::raise(*line.events, std::move(event), onlyOwner);
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
    auto call = std::make_shared<SimCall>(m_nextCall.fetch_add(1), line.config.name, callerNumber);
    // The line's faults set for its next call are spent by this one.
    call->m_privilege = line.nextMonitorOnly ? tapi::CP_MONITOR : tapi::CP_OWNER;
    call->m_faultNoDevice = line.nextNoDevice;
    call->m_faultNoMedia = line.nextNoMedia;
    line.nextMonitorOnly = line.nextNoDevice = line.nextNoMedia = false;
    prepare(*call);

    CallRecord& record = call->m_record;
    record.id = call->id();
    record.line = line.config.name;
    record.callerNumber = callerNumber;
    record.state = tapi::CS_OFFERING;
    record.placedNs = steadyNowNs();
    record.capturePath = capturePath;
    {
        QMutexLocker calls(&m_mutex);
        m_calls.insert(record.id, call);
    }
    line.current = call;

    TapiEvent notification;
    notification.kind = tapi::TE_CALLNOTIFICATION;
    notification.call = call;
    deliverLocked(line, notification);
    deliverStateLocked(line, call, tapi::CS_OFFERING);
    return call;
}

Result<Simulator::Line*> Simulator::voiceLine(const QString& name) const
{
    Line* line = lineOf(name);
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
    Line* target = nullptr;
    for (Line* l : std::as_const(m_lineState))
        if (!dialled.isEmpty() && l->config.audio && l->config.number == dialled)
            target = l;
    std::shared_ptr<SimCall> call, incoming;
    int endCause = tapi::CEC_NONE;
    {
        BothLocks lock(line->mutex, target ? &target->mutex : nullptr);

        if (line->registrationFails)
            return Status(err::Fail, QStringLiteral("Line \"%1\" is not registered").arg(lineName));
        if (line->current)
            return Status(err::InvalidState,
                          QStringLiteral("Line \"%1\" is already in a call").arg(lineName));
        call = std::make_shared<SimCall>(m_nextCall.fetch_add(1), lineName, line->config.number);
        call->m_outgoing = true;
        call->m_owner = owner;
        call->m_state = tapi::CS_INPROGRESS;
        CallRecord& record = call->m_record;
        record.id = call->id();
        record.line = lineName;
        record.callerNumber = line->config.number;
        record.state = tapi::CS_INPROGRESS;
        record.placedNs = steadyNowNs();
        {
            QMutexLocker calls(&m_mutex);
            m_calls.insert(record.id, call);
        }
        line->current = call;
        if (!target) {
            endCause = tapi::CEC_DISCONNECT_BADADDRESS;
        } else if (target->current) {
            endCause = tapi::CEC_DISCONNECT_BUSY;
        } else {
            // Each side knows the other before anyone hears of either.
            incoming = offerLocked(*target, line->config.number, QString(), [&](SimCall& c) {
                c.m_peer = call;
                call->m_peer = c.weak_from_this();
            });
        }
        deliverStateLocked(*line, call, tapi::CS_INPROGRESS);
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
    EventHub::flush(*line.events);
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
    Line* line = lineOf(request.line);
    if (!line)
        return noSuchLine(request.line);
    // A faulty fax machine as the caller: its pages are made before the line is locked.
    bool faxFault = false, faxSound = false;
    {
        QMutexLocker lock(&line->mutex);
        faxFault = line->nextMalformedFax;
        faxSound = line->nextFaxCaller;
    }
    std::shared_ptr<SimFaxCaller> faxCaller;
    if (faxFault || faxSound) {
        Result<std::unique_ptr<SimFaxCaller>> made = SimFaxCaller::create(faxFault);
        if (!made)
            return made.status();
        faxCaller = std::move(made.value());
    }
    {
        QMutexLocker lock(&line->mutex);
        if (line->current)
            return Status(err::InvalidState,
                          QStringLiteral("Line \"%1\" is busy").arg(request.line));
        // Spent by this call, unless the faults were cleared in between.
        const bool wanted = faxFault ? std::exchange(line->nextMalformedFax, false)
                                     : std::exchange(line->nextFaxCaller, false);
        if (faxCaller && !wanted)
            faxCaller.reset();
        call = offerLocked(*line, request.callerNumber, request.capturePath, [&](SimCall& c) {
            c.m_faxCaller = faxCaller;
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
    Line* line = lineOf(call->addressName());
    if (call->state() == tapi::CS_OFFERING) {
        int rung = 0;
        {
            QMutexLocker lock(&line->mutex);
            rung = call->m_record.ringsRung;
        }
        if (rung < call->m_rings) {
            ring(call);
            return;
        }
        call->m_timer->stop();
        // The caller gives up, unless the line answered at the last moment.
        end(*call, tapi::CEC_DISCONNECT_NOANSWER, true, tapi::CS_OFFERING);
    } else if (call->state() == tapi::CS_CONNECTED && call->m_hangUpAfterMs >= 0) {
        // Answered: the timer now counts down to the caller hanging up.
        if (call->m_hangUpArmed) {
            call->m_timer->stop();
            disconnect(*call, tapi::DC_NORMAL, true);
        } else {
            // Counted from the answer: the clock may take the answered call a step later.
            qint64 answeredNs = 0;
            {
                QMutexLocker lock(&line->mutex);
                answeredNs = call->m_record.answeredNs;
            }
            const qint64 sinceMs = (steadyNowNs() - answeredNs) / 1000000;
            call->m_hangUpArmed = true;
            call->m_timer->start(
                qMax<qint64>(1, qint64(call->m_hangUpAfterMs / m_speed) - sinceMs));
        }
    } else {
        call->m_timer->stop();
    }
}

void Simulator::ring(const std::shared_ptr<SimCall>& call)
{
    Line* line = lineOf(call->addressName());
    {
        QMutexLocker lock(&line->mutex);
        if (call->state() != tapi::CS_OFFERING)
            return;
        CallRecord& record = call->m_record;
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
    if (m_stopped.load())
        return Status(err::InvalidState, QStringLiteral("The simulator has stopped"));
    Line* line = lineOf(call.addressName());
    std::shared_ptr<SimCall> peer = call.m_peer.lock();
    Line* peerLine = peer ? lineOf(peer->addressName()) : nullptr;
    std::shared_ptr<SimCall> shared;
    Answered answered;
    {
        BothLocks lock(line->mutex, peerLine ? &peerLine->mutex : nullptr);

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
        CallRecord& record = call.m_record;
        record.state = tapi::CS_CONNECTED;
        record.answeredAtRing = record.ringsRung;
        record.answeredNs = now;
        shared = call.shared_from_this();
        answered.call = shared;
        if (peer && peer->state() == tapi::CS_INPROGRESS) {
            // Two simulated lines: one wire, both sides connected at the same instant.
            auto wire = std::make_shared<SimWire>(faxTransportFromEnvironment(),
                                                  lossFromEnvironment(), call.id());
            peer->m_state = tapi::CS_CONNECTED;
            CallRecord& placed = peer->m_record;
            placed.state = tapi::CS_CONNECTED;
            placed.answeredNs = now;
            peer->m_device = std::make_shared<SimWaveDevice>(wire, 0, m_speed, now);
            call.m_device = std::make_shared<SimWaveDevice>(wire, 1, m_speed, now);
            peer->m_deviceId = WaveDeviceRegistry::add(peer->m_device);
            call.m_deviceId = WaveDeviceRegistry::add(call.m_device);
            answered.devices.append(
                new ActiveDevice{peer->m_device, peer->m_deviceId, call.m_device, false});
            answered.devices.append(
                new ActiveDevice{call.m_device, call.m_deviceId, nullptr, true});
            deliverStateLocked(*peerLine, peer, tapi::CS_CONNECTED);
        } else {
            peer.reset();
            call.m_device =
                call.m_faxCaller
                    ? std::make_shared<SimWaveDevice>(call.m_faxCaller,
                                                      !call.m_capturePath.isEmpty(), m_speed, now)
                    : std::make_shared<SimWaveDevice>(call.m_callerAudio, call.m_callerWaits,
                                                      !call.m_capturePath.isEmpty(), m_speed, now);
            call.m_deviceId = WaveDeviceRegistry::add(call.m_device);
            answered.devices.append(
                new ActiveDevice{call.m_device, call.m_deviceId, nullptr, false});
        }
        deliverStateLocked(*line, shared, tapi::CS_CONNECTED);
    }
    if (peer)
        post(*peerLine);
    post(*line);
    handToClock(std::move(answered));
    return {};
}

void Simulator::handToClock(Answered answered)
{
    m_answered.push(std::move(answered));
    if (m_stopped.load()) {
        // The clock is gone or going: nobody will move these devices, so no writer may
        // wait for them.
        closePending();
        return;
    }
    // The first call after a quiet spell starts the clock; it keeps going while it has
    // devices to move.
    if (!m_clockWanted.exchange(true))
        QMetaObject::invokeMethod(this, [this] {
            if (!m_clock->isActive())
                m_clock->start();
            clockTick();
        });
}

void Simulator::takeAnswered()
{
    for (const Answered& a : m_answered.take()) {
        m_devices.append(a.devices);
        // The ring timer either stops or, when the caller will hang up, turns into the
        // hang-up countdown, unless the timer itself has come first and done so.
        if (!a.call->m_hangUpArmed)
            callTimer(a.call);
    }
}

Status Simulator::disconnect(SimCall& call, int code, bool byCaller)
{
    const int cause = code == tapi::DC_NOANSWER   ? tapi::CEC_DISCONNECT_NOANSWER
                      : code == tapi::DC_REJECTED ? tapi::CEC_DISCONNECT_REJECTED
                                                  : tapi::CEC_DISCONNECT_NORMAL;
    return end(call, cause, byCaller);
}

Status Simulator::end(SimCall& call, int cause, bool byCaller, int onlyFrom)
{
    std::shared_ptr<SimCall> shared, peer;
    int peerCause = cause;
    QByteArray heard;
    CallRecord ended;
    Line* line = lineOf(call.addressName());
    {
        QMutexLocker lock(&line->mutex);
        if (call.state() == tapi::CS_DISCONNECTED)
            return Status(err::InvalidState, QStringLiteral("The call has already ended"));
        if (onlyFrom >= 0 && call.state() != onlyFrom)
            return Status(err::InvalidState, QStringLiteral("The call has moved on"));
        call.m_state = tapi::CS_DISCONNECTED;
        CallRecord& record = call.m_record;
        record.state = tapi::CS_DISCONNECTED;
        record.endedNs = steadyNowNs();
        record.endedByCaller = byCaller;
        if (call.m_device) {
            // The clock lets the device go once nobody else holds it.
            call.m_device->endCall();
            record.firstSentNs = call.m_device->firstSentNs();
            record.underrunBytes = call.m_device->underrunBytes();
            heard = call.m_device->heard();
            record.heardBytes = heard.size();
            call.m_device.reset();
        }
        // The record stays; what the caller said, or the fax machine that called, is not
        // needed (its device keeps the machine while the clock still moves it).
        call.m_callerAudio.clear();
        call.m_faxCaller.reset();
        if (line->current.get() == &call)
            line->current.reset();
        shared = call.shared_from_this();
        // The other side of a call between two lines ends with it: a talk ends normally, a
        // call that never connected ends the way this side did.
        peer = call.m_peer.lock();
        if (record.answeredNs != 0)
            peerCause = tapi::CEC_DISCONNECT_NORMAL;
        ended = record;
        deliverStateLocked(*line, shared, tapi::CS_DISCONNECTED, cause);
    }
    {
        // Only its record stays.
        QMutexLocker calls(&m_mutex);
        m_calls.remove(ended.id);
        m_ended.insert(ended.id, ended);
    }
    post(*line);
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
    takeAnswered();
    const qint64 now = steadyNowNs();
    for (ActiveDevice* d : std::as_const(m_devices)) {
        if (d->tickedByPartner)
            continue;
        if (d->partner)
            SimWaveDevice::tickLinked(*d->device, *d->partner, now);
        else
            d->device->tick(now);
    }

    // A device is retired once its call is over and nobody holds it any more; the two sides
    // of a wire together, so that neither is ever ticked alone.
    QList<ActiveDevice*> retired;
    for (ActiveDevice* d : std::as_const(m_devices)) {
        if (d->tickedByPartner || d->device.use_count() != 1 || !d->device->callEnded())
            continue;
        if (!d->partner) {
            retired.append(d);
            continue;
        }
        for (ActiveDevice* p : std::as_const(m_devices)) {
            // Held by its own entry and by its partner's.
            if (p->device == d->partner && p->device.use_count() == 2 && p->device->callEnded()) {
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
    if (!m_devices.isEmpty())
        return;
    // Nothing to move: the clock rests, unless a call was answered meanwhile.
    m_clockWanted.store(false);
    if (!m_answered.isEmpty() && !m_clockWanted.exchange(true))
        return;
    m_clock->stop();
}

Status Simulator::hangUp(const QString& lineName)
{
    std::shared_ptr<SimCall> call;
    {
        Line* line = lineOf(lineName);
        if (!line)
            return noSuchLine(lineName);
        QMutexLocker lock(&line->mutex);
        call = line->current;
    }
    if (!call)
        return Status(err::InvalidState,
                      QStringLiteral("There is no call on \"%1\"").arg(lineName));
    return disconnect(*call, tapi::DC_NORMAL, true);
}

Status Simulator::injectFault(const QString& lineName, Fault fault)
{
    Line* line = lineOf(lineName);
    if (!line)
        return noSuchLine(lineName);
    QMutexLocker lock(&line->mutex);
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
    case Fault::MalformedFaxPages:
        line->nextMalformedFax = true;
        break;
    case Fault::FaxCaller:
        line->nextFaxCaller = true;
        break;
    }
    return {};
}

Status Simulator::clearFaults(const QString& lineName)
{
    Line* line = lineOf(lineName);
    if (!line)
        return noSuchLine(lineName);
    QMutexLocker lock(&line->mutex);
    line->nextNoDevice = line->nextMonitorOnly = line->nextNoMedia = false;
    line->registrationFails = line->nextMalformedFax = line->nextFaxCaller = false;
    return {};
}

std::optional<CallRecord> Simulator::call(quint64 id) const
{
    std::shared_ptr<SimCall> call;
    {
        QMutexLocker lock(&m_mutex);
        call = m_calls.value(id);
        if (!call) {
            auto it = m_ended.constFind(id);
            if (it == m_ended.constEnd())
                return std::nullopt;
            return *it;
        }
    }
    QMutexLocker lock(&lineOf(call->addressName())->mutex);
    return call->m_record;
}

int Simulator::registrations(const QString& lineName) const
{
    return m_events.count(lineName);
}

quint64 Simulator::currentCall(const QString& lineName) const
{
    Line* line = lineOf(lineName);
    if (!line)
        return 0;
    QMutexLocker lock(&line->mutex);
    return line->current ? line->current->id() : 0;
}

Result<qint32> Simulator::registerReceiver(const QString& lineName, TapiEventReceiver* receiver,
                                           std::shared_ptr<std::atomic<int>> filter,
                                           const void* owner)
{
    Result<Line*> voice = voiceLine(lineName);
    if (!voice)
        return voice.status();
    Line* line = voice.value();
    QMutexLocker lock(&line->mutex);
    if (line->registrationFails)
        return Status(err::Fail,
                      QStringLiteral("Line \"%1\" refused the registration").arg(lineName));
    return m_events.add(lineName, receiver, std::move(filter), owner);
}

bool Simulator::hasFault(const SimCall& call, Fault fault) const
{
    QMutexLocker lock(&lineOf(call.addressName())->mutex);
    switch (fault) {
    case Fault::NoDeviceOnAnswer:
        return call.m_faultNoDevice;
    case Fault::MonitorOnly:
        return call.m_privilege == tapi::CP_MONITOR;
    case Fault::NoMediaComponent:
        return call.m_faultNoMedia;
    case Fault::RegistrationFails:
        return false;
    case Fault::MalformedFaxPages:
    case Fault::FaxCaller:
        return call.m_faxCaller != nullptr;
    }
    return false;
}

} // namespace orvane::sim
