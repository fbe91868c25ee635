// The simulated telephony provider: lines, registrations, the events of a call and when
// they arrive, answering, the call's audio device, and the faults a line can show.

#include "Signals.h"
#include "platform/SteadyClock.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/G711.h"
#include "platform/audio/WaveDevice.h"
#include "platform/telephony/EventHub.h"
#include "platform/telephony/sim/SimTelephony.h"
#include "platform/telephony/sim/SimWaveDevice.h"
#include "platform/telephony/sim/Simulator.h"

#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <array>
#include <atomic>

using namespace orvane;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
const QString kLine3 = QStringLiteral("Simulated Line 3");

struct Seen {
    int kind;
    int detail;
    QThread* thread;
    std::shared_ptr<TelephonyCall> call;
};

class Receiver : public TapiEventReceiver {
public:
    void tapiEvent(const TapiEvent& e) override
    {
        QMutexLocker lock(&mutex);
        const int detail = e.kind == tapi::TE_ADDRESS ? e.addressEvent : e.callState;
        seen.append({e.kind, detail, QThread::currentThread(), e.call});
    }
    QList<Seen> events() const
    {
        QMutexLocker lock(&mutex);
        return seen;
    }
    int count(int kind, int detail = -1) const
    {
        int n = 0;
        for (const Seen& s : events())
            if (s.kind == kind && (detail < 0 || s.detail == detail))
                ++n;
        return n;
    }
    bool has(int kind, int detail = -1) const { return count(kind, detail) > 0; }
    std::shared_ptr<TelephonyCall> lastCall() const
    {
        const QList<Seen> all = events();
        return all.isEmpty() ? nullptr : all.last().call;
    }

    mutable QMutex mutex;
    QList<Seen> seen;
};

std::unique_ptr<sim::SimTelephony> readyTelephony(int filter = tapi::EVENT_FILTER_ALL)
{
    auto t = std::make_unique<sim::SimTelephony>();
    t->initialize();
    t->setEventFilter(filter);
    return t;
}

qint32 registerOn(Telephony& t, const QString& line, Receiver& r)
{
    Result<qint32> cookie =
        t.registerCallNotifications(line, true, true, tapi::TAPIMEDIATYPE_AUDIO, 1, &r);
    return cookie ? cookie.value() : 0;
}

sim::CallRequest call(const QString& line, int rings = 3, int intervalMs = 20)
{
    sim::CallRequest request;
    request.line = line;
    request.rings = rings;
    request.ringIntervalMs = intervalMs;
    return request;
}

QByteArray muLaw(const QVector<qint16>& samples)
{
    QByteArray bytes(samples.size(), Qt::Uninitialized);
    g711::encodeUlaw(samples.constData(), reinterpret_cast<quint8*>(bytes.data()), samples.size());
    return bytes;
}

// Nanoseconds after a device's start at which `bytes` have been due (8,000 a second).
qint64 whenDue(qint64 bytes)
{
    return bytes * 125'000;
}

// Counts the events of one line from each of three raisers, and whether each raiser's came
// in the order it raised them (the event's cause carries its running number, the address
// state the raiser).
class OrderedReceiver : public TapiEventReceiver {
public:
    void tapiEvent(const TapiEvent& e) override
    {
        std::atomic<int>& expected = next[size_t(e.addressState)];
        if (e.cause != expected.load())
            outOfOrder = true;
        expected.store(e.cause + 1);
    }
    std::array<std::atomic<int>, 3> next{};
    std::atomic<bool> outOfOrder{false};
};

bool waitCallEnded(quint64 id)
{
    return QTest::qWaitFor(
        [id] {
            auto c = sim::Simulator::instance().call(id);
            return c && c->state == tapi::CS_DISCONNECTED &&
                   sim::Simulator::instance().currentCall(c->line) != id;
        },
        10000);
}

} // namespace

class TestSimTelephony : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesComeInOneStableOrder()
    {
        const QList<sim::LineConfig> lines = sim::makeLines(3);
        QStringList names;
        for (const auto& l : lines)
            names << l.name;
        QCOMPARE(names, QStringList({kLine1, "H323 Line", kLine2, "Simulated Data Line", kLine3,
                                     "IPCONF LINE"}));
        QVERIFY(!lines[3].audio);

        auto a = readyTelephony(), b = readyTelephony();
        QCOMPARE(a->addresses()->size(), 6);
        for (int i = 0; i < 6; ++i)
            QCOMPARE(a->addresses()->at(i).name, b->addresses()->at(i).name);

        const QList<sim::LineConfig> many = sim::makeLines(1000);
        QCOMPARE(many.size(), 1003);
        QCOMPARE(many.last().name, QStringLiteral("IPCONF LINE"));
        int voice = 0;
        for (const auto& l : many)
            voice += l.name.startsWith("Simulated Line") ? 1 : 0;
        QCOMPARE(voice, 1000);
    }

    void aTelephonyObjectMustBeInitialized()
    {
        sim::SimTelephony t;
        QVERIFY(!t.addresses().isOk());
        Receiver r;
        QVERIFY(!t.registerCallNotifications(kLine1, true, true, 8, 1, &r).isOk());
        QVERIFY(t.initialize());
        QVERIFY(!t.initialize().isOk());
        QVERIFY(t.addresses().isOk());
        // Nothing to register, or nothing to register for.
        QCOMPARE(t.registerCallNotifications(kLine1, true, true, 8, 1, nullptr).status().code(),
                 err::InvalidArg);
        QCOMPARE(t.registerCallNotifications(kLine1, false, false, 8, 1, &r).status().code(),
                 err::InvalidArg);
        QCOMPARE(t.registerCallNotifications(kLine1, true, true, 0, 1, &r).status().code(),
                 err::InvalidArg);
        // Shutting down gives back what is registered; a shut-down object refuses all.
        QVERIFY(t.registerCallNotifications(kLine1, true, true, 8, 1, &r).isOk());
        QCOMPARE(sim::Simulator::instance().registrations(kLine1), 1);
        QVERIFY(t.shutdown());
        QCOMPARE(sim::Simulator::instance().registrations(kLine1), 0);
        QVERIFY(!t.addresses().isOk());
        QVERIFY(!t.createCall(kLine1, "2002").isOk());
        QVERIFY(t.shutdown()); // twice is harmless
    }

    void providersAreChosenByName()
    {
        // No lines.conf here: the simulated lines.
        QCOMPARE(configuredProvider(), QStringLiteral("sim"));
        QCOMPARE(createTelephony()->providerName(), QStringLiteral("sim"));
        QCOMPARE(createTelephony("sip")->providerName(), QStringLiteral("sip"));
        QVERIFY(!createTelephony("h323"));
        // An object that is dropped without a shutdown gives its registrations back.
        {
            std::unique_ptr<Telephony> t = createTelephony("sim");
            QVERIFY(t->initialize());
            Receiver r;
            QVERIFY(t->registerCallNotifications(kLine2, true, true, 8, 1, &r).isOk());
            QCOMPARE(sim::Simulator::instance().registrations(kLine2), 1);
        }
        QCOMPARE(sim::Simulator::instance().registrations(kLine2), 0);
    }

    void registrationsGiveDistinctCookies()
    {
        auto a = readyTelephony(), b = readyTelephony();
        Receiver r;
        const qint32 c1 = registerOn(*a, kLine1, r);
        const qint32 c2 = registerOn(*a, kLine2, r);
        const qint32 c3 = registerOn(*b, kLine1, r);
        QVERIFY(c1 != 0 && c2 != 0 && c3 != 0);
        QVERIFY(c1 != c2 && c2 != c3 && c1 != c3);
        QCOMPARE(sim::Simulator::instance().registrations(kLine1), 2);
        // A cookie belongs to the object that got it.
        QVERIFY(!b->unregisterNotifications(c1).isOk());
        QVERIFY(a->unregisterNotifications(c1));
        QVERIFY(!a->unregisterNotifications(c1).isOk());
        QCOMPARE(registerOn(*a, "Simulated Data Line", r), 0);
        QCOMPARE(registerOn(*a, "No Such Line", r), 0);
        QVERIFY(a->shutdown());
        QVERIFY(b->shutdown());
        QCOMPARE(sim::Simulator::instance().registrations(kLine1), 0);
        QCOMPARE(sim::Simulator::instance().registrations(kLine2), 0);
    }

    void aCallRingsOnTheRegisteringThreadThenGivesUp()
    {
        Receiver r;
        QThread worker;
        worker.start();
        QObject context;
        context.moveToThread(&worker);
        std::unique_ptr<sim::SimTelephony> t;
        QMetaObject::invokeMethod(
            &context,
            [&] {
                t = readyTelephony();
                registerOn(*t, kLine2, r);
            },
            Qt::BlockingQueuedConnection);

        Result<quint64> id = sim::Simulator::instance().placeCall(call(kLine2, 3, 20));
        QVERIFY(id.isOk());
        QVERIFY(waitCallEnded(id.value()));
        QTRY_VERIFY(r.has(tapi::TE_CALLSTATE, tapi::CS_DISCONNECTED));

        const QList<Seen> seen = r.events();
        QList<QPair<int, int>> order;
        for (const Seen& s : seen) {
            QCOMPARE(s.thread, &worker);
            order.append({s.kind, s.detail});
        }
        using P = QPair<int, int>;
        QCOMPARE(
            order,
            QList<P>({P(tapi::TE_CALLNOTIFICATION, -1), P(tapi::TE_CALLSTATE, tapi::CS_OFFERING),
                      P(tapi::TE_ADDRESS, tapi::AE_RINGING), P(tapi::TE_ADDRESS, tapi::AE_RINGING),
                      P(tapi::TE_ADDRESS, tapi::AE_RINGING),
                      P(tapi::TE_CALLSTATE, tapi::CS_DISCONNECTED)}));
        const auto record = sim::Simulator::instance().call(id.value());
        QCOMPARE(record->ringsRung, 3);
        QCOMPARE(record->answeredAtRing, 0);
        QVERIFY(record->endedByCaller);

        QMetaObject::invokeMethod(
            &context, [&] { t.reset(); }, Qt::BlockingQueuedConnection);
        worker.quit();
        worker.wait();
    }

    void theEventFilterAndUnregisteringStopEvents()
    {
        Receiver noRings;
        auto filtered = readyTelephony(tapi::TE_CALLNOTIFICATION | tapi::TE_CALLSTATE);
        registerOn(*filtered, kLine3, noRings);
        Receiver gone;
        auto t = readyTelephony();
        const qint32 cookie = registerOn(*t, kLine3, gone);
        QVERIFY(t->unregisterNotifications(cookie));

        Result<quint64> id = sim::Simulator::instance().placeCall(call(kLine3, 2, 10));
        QVERIFY(waitCallEnded(id.value()));
        QTRY_VERIFY(noRings.has(tapi::TE_CALLSTATE, tapi::CS_DISCONNECTED));
        QCOMPARE(noRings.count(tapi::TE_ADDRESS), 0);
        QCOMPARE(noRings.count(tapi::TE_CALLNOTIFICATION), 1);
        QCoreApplication::processEvents();
        QVERIFY(gone.events().isEmpty());
    }

    void anAnsweredCallCarriesAudioBothWaysInRealTime()
    {
        QTemporaryDir dir;
        const QString said = dir.filePath("caller.wav");
        QVERIFY(test::writePcmWav(said, test::tone(1000, 2.0, 8000), 8000));
        Receiver r;
        auto t = readyTelephony();
        registerOn(*t, kLine1, r);
        sim::CallRequest request = call(kLine1, 5, 300);
        request.callerAudioPath = said;
        request.capturePath = dir.filePath("heard.wav");
        Result<quint64> id = sim::Simulator::instance().placeCall(request);
        QVERIFY(id.isOk());
        QTRY_VERIFY(r.has(tapi::TE_ADDRESS, tapi::AE_RINGING));
        std::shared_ptr<TelephonyCall> c = r.events().first().call;
        QCOMPARE(c->privilege(), tapi::CP_OWNER);
        QVERIFY(c->answer());
        QVERIFY(!c->answer().isOk()); // once only
        QTRY_VERIFY(r.has(tapi::TE_CALLSTATE, tapi::CS_CONNECTED));

        auto media = t->createLineMedia();
        QVERIFY(media.isOk());
        Result<qint32> deviceId = media.value()->waveDeviceId(c, tapi::LINE_MEDIA_WAVE_DEVICE);
        QVERIFY(deviceId.isOk() && deviceId.value() > 0);
        QCOMPARE(media.value()->formatType(deviceId.value()).value(),
                 audioformat::SAFTCCITT_uLaw_8kHzMono);
        std::shared_ptr<WaveDevice> device = WaveDeviceRegistry::find(deviceId.value());
        QVERIFY(device);

        // The machine speaks: a 600 Hz greeting of 0.4 s, sent at the line's pace.
        const QVector<qint16> greeting = test::tone(600, 0.4, 8000);
        QByteArray ulaw(greeting.size(), 0);
        g711::encodeUlaw(greeting.constData(), reinterpret_cast<quint8*>(ulaw.data()),
                         greeting.size());
        const qint64 sendStart = steadyNowNs();
        QVERIFY(device->write(reinterpret_cast<const quint8*>(ulaw.constData()), ulaw.size()));
        QVERIFY(device->drain());
        QVERIFY(steadyNowNs() - sendStart >= 390'000'000);

        // The caller, who waited for the greeting, now says a 1000 Hz tone.
        QByteArray buffer(4000, 0);
        WaveInBuffer header{reinterpret_cast<quint8*>(buffer.data()), buffer.size(), 0};
        std::atomic<bool> done{false};
        const qint64 recordStart = steadyNowNs();
        QVERIFY(device->startRecording(&header, [&] { done = true; }));
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        QVERIFY(steadyNowNs() - recordStart >= 490'000'000);
        QCOMPARE(header.bytesRecorded, 4000);
        QVERIFY(test::tonePower(test::decodeMuLawFile(QByteArray(44, 0) + buffer), 1000, 8000) >
                0.8);

        QVERIFY(c->disconnect(tapi::DC_NORMAL));
        QVERIFY(!c->disconnect(tapi::DC_NORMAL).isOk());
        QTRY_VERIFY(r.has(tapi::TE_CALLSTATE, tapi::CS_DISCONNECTED));
        QVERIFY(waitCallEnded(id.value()));
        QTRY_VERIFY(QFile::exists(request.capturePath));
        QFile heard(request.capturePath);
        QVERIFY(heard.open(QIODevice::ReadOnly));
        const QVector<qint16> caller = test::decodeMuLawFile(heard.readAll());
        QVERIFY(caller.size() >= 3200);
        QVERIFY(test::tonePower(caller, 600, 8000) > 0.3);
        QVERIFY(!sim::Simulator::instance().call(id.value())->endedByCaller);

        // Nobody holds the device any more: it is retired.
        device.reset();
        QTRY_VERIFY(!WaveDeviceRegistry::find(deviceId.value()));
    }

    void aRecordingOutlastsTheCallersHangUp()
    {
        Receiver r;
        auto t = readyTelephony();
        registerOn(*t, kLine2, r);
        Result<quint64> id = sim::Simulator::instance().placeCall(call(kLine2, 5, 300));
        QTRY_VERIFY(r.has(tapi::TE_ADDRESS));
        std::shared_ptr<TelephonyCall> c = r.events().first().call;
        QVERIFY(c->answer());
        auto media = t->createLineMedia();
        std::shared_ptr<WaveDevice> device = WaveDeviceRegistry::find(
            media.value()->waveDeviceId(c, tapi::LINE_MEDIA_WAVE_DEVICE).value());
        QByteArray buffer(2400, 0x55);
        WaveInBuffer header{reinterpret_cast<quint8*>(buffer.data()), buffer.size(), 0};
        std::atomic<bool> done{false};
        QVERIFY(device->startRecording(&header, [&] { done = true; }));
        QVERIFY(sim::Simulator::instance().hangUp(kLine2));
        QTRY_VERIFY(r.has(tapi::TE_CALLSTATE, tapi::CS_DISCONNECTED));
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
        QCOMPARE(header.bytesRecorded, 2400);
        QCOMPARE(buffer.count(char(g711::ULAW_SILENCE)), 2400);
        QVERIFY(sim::Simulator::instance().call(id.value())->endedByCaller);
    }

    void faultsApplyToTheNextCall()
    {
        sim::Simulator& s = sim::Simulator::instance();
        Receiver r;
        auto t = readyTelephony();
        registerOn(*t, kLine3, r);

        QVERIFY(s.injectFault(kLine3, sim::Fault::NoDeviceOnAnswer));
        Result<quint64> first = s.placeCall(call(kLine3, 3, 300));
        QTRY_VERIFY(r.has(tapi::TE_ADDRESS));
        QCOMPARE(r.lastCall()->answer().code(), err::NoDevice);
        QVERIFY(waitCallEnded(first.value()));

        QVERIFY(s.injectFault(kLine3, sim::Fault::MonitorOnly));
        r.seen.clear();
        Result<quint64> second = s.placeCall(call(kLine3, 2, 100));
        QTRY_VERIFY(r.has(tapi::TE_CALLNOTIFICATION));
        QCOMPARE(r.lastCall()->privilege(), tapi::CP_MONITOR);
        QVERIFY(!r.lastCall()->answer().isOk());
        QVERIFY(waitCallEnded(second.value()));

        QVERIFY(s.injectFault(kLine3, sim::Fault::NoMediaComponent));
        r.seen.clear();
        Result<quint64> third = s.placeCall(call(kLine3, 3, 300));
        QTRY_VERIFY(r.has(tapi::TE_ADDRESS));
        std::shared_ptr<TelephonyCall> c = r.lastCall();
        QVERIFY(c->answer());
        QCOMPARE(t->createLineMedia().value()->waveDeviceId(c, 2).status().code(),
                 err::CannotCreate);
        QVERIFY(c->disconnect(tapi::DC_NORMAL));
        QVERIFY(waitCallEnded(third.value()));

        // The faults were spent: the next call is a normal one.
        r.seen.clear();
        Result<quint64> fourth = s.placeCall(call(kLine3, 3, 300));
        QTRY_VERIFY(r.has(tapi::TE_ADDRESS));
        c = r.lastCall();
        QCOMPARE(c->privilege(), tapi::CP_OWNER);
        QVERIFY(c->answer());
        QVERIFY(t->createLineMedia().value()->waveDeviceId(c, 2).isOk());
        QVERIFY(c->disconnect(tapi::DC_NORMAL));
        QVERIFY(waitCallEnded(fourth.value()));

        QVERIFY(s.injectFault(kLine3, sim::Fault::RegistrationFails));
        Receiver refused;
        QCOMPARE(registerOn(*t, kLine3, refused), 0);
        QVERIFY(s.clearFaults(kLine3));
        QVERIFY(registerOn(*t, kLine3, refused) != 0);
    }

    void soundsAndBytesGoOutInTheOrderWrittenEachWhenDue()
    {
        sim::SimWaveDevice device(QByteArray(), false, true, 1.0, 0);
        const QByteArray before(80, char(0x11));
        const QVector<qint16> greeting = test::tone(600, 0.05, 8000);
        const QByteArray after(80, char(0x22));
        QVERIFY(device.write(reinterpret_cast<const quint8*>(before.constData()), before.size()));
        QVERIFY(device.writeSound(std::make_shared<const QVector<qint16>>(greeting)));
        QVERIFY(device.write(reinterpret_cast<const quint8*>(after.constData()), after.size()));

        const qint64 queued = before.size() + greeting.size() + after.size();
        device.tick(whenDue(queued - 40));
        QCOMPARE(device.heard(), (before + muLaw(greeting) + after).left(queued - 40));
        QVERIFY(!device.idle());
        device.tick(whenDue(queued));
        QCOMPARE(device.heard(), before + muLaw(greeting) + after);
        QVERIFY(device.idle());
        QVERIFY(device.drain());
        QCOMPARE(device.underrunBytes(), 0);
    }

    void aWholeSoundIsQueuedAtOnceAndWhatFollowsItWaitsForRoom()
    {
        sim::SimWaveDevice device(QByteArray(), false, true, 1.0, 0);
        // A second, far more than the 300 ms a writer may queue: taken at once all the same.
        const QVector<qint16> greeting = test::tone(600, 1.0, 8000);
        std::atomic<bool> soundQueued{false}, bytesQueued{false};
        const QByteArray tail(800, char(0x33));
        QThread* writer = QThread::create([&] {
            device.writeSound(std::make_shared<const QVector<qint16>>(greeting));
            soundQueued = true;
            device.write(reinterpret_cast<const quint8*>(tail.constData()), tail.size());
            bytesQueued = true;
        });
        writer->start();
        QTRY_VERIFY(soundQueued.load());
        // The bytes behind the sound get in once the queue is down to half of its 300 ms.
        qint64 sent = 0;
        while (!bytesQueued.load() && sent < greeting.size()) {
            sent += 80;
            device.tick(whenDue(sent));
            QTest::qWait(1);
        }
        QTRY_VERIFY(bytesQueued.load());
        QVERIFY2(sent >= greeting.size() - 1200, qPrintable(QString::number(sent)));
        device.tick(whenDue(greeting.size() + tail.size()));
        QCOMPARE(device.heard(), muLaw(greeting) + tail);
        QVERIFY(writer->wait(5000));
        delete writer;
    }

    void silenceBetweenTheSoundsOfOneMessageIsAGap()
    {
        sim::SimWaveDevice device(QByteArray(), false, true, 1.0, 0);
        const Sound part = std::make_shared<const QVector<qint16>>(test::tone(600, 0.02, 8000));
        QVERIFY(device.writeSound(part));
        device.tick(whenDue(part->size() + 80)); // the second part comes 10 ms late
        QVERIFY(device.writeSound(part));
        device.tick(whenDue(2 * part->size() + 80));
        QVERIFY(device.drain());
        QCOMPARE(device.underrunBytes(), 80);
        // After the message has ended, silence is no gap.
        device.tick(whenDue(2 * part->size() + 800));
        QVERIFY(device.writeSound(part));
        QCOMPARE(device.underrunBytes(), 80);
    }

    void eventsOfManyLinesRaisedAtOnceReachEachReceiverInOrder()
    {
        // Lines on threads of their own; three threads raise events on every line at once.
        constexpr int kLines = 12, kEvents = 1000, kRaisers = 3;
        EventHub hub;
        QList<QThread*> lineThreads;
        std::vector<std::unique_ptr<OrderedReceiver>> receivers;
        auto filter = std::make_shared<std::atomic<int>>(tapi::EVENT_FILTER_ALL);
        QList<qint32> cookies(kLines);
        std::vector<std::unique_ptr<QObject>> contexts; // one on each line's thread
        for (int i = 0; i < kLines; ++i) {
            receivers.push_back(std::make_unique<OrderedReceiver>());
            auto* thread = new QThread;
            thread->start();
            lineThreads.append(thread);
            contexts.push_back(std::make_unique<QObject>());
            contexts.back()->moveToThread(thread);
            QMetaObject::invokeMethod(
                contexts.back().get(),
                [&, i] {
                    cookies[i] = hub.add(QStringLiteral("line %1").arg(i),
                                         receivers[size_t(i)].get(), filter, nullptr);
                },
                Qt::BlockingQueuedConnection);
        }
        QList<QThread*> raisers;
        for (int r = 0; r < kRaisers; ++r) {
            raisers.append(QThread::create([&hub, r] {
                for (int n = 0; n < kEvents; ++n) {
                    for (int i = 0; i < kLines; ++i) {
                        TapiEvent event;
                        event.kind = tapi::TE_ADDRESS;
                        event.addressEvent = tapi::AE_RINGING;
                        event.addressState = r;
                        event.cause = n;
                        EventHub::Channel& line = hub.channel(QStringLiteral("line %1").arg(i));
                        EventHub::raise(line, event);
                        EventHub::flush(line);
                    }
                }
            }));
            raisers.last()->start();
        }
        for (QThread* raiser : std::as_const(raisers)) {
            QVERIFY(raiser->wait(30000));
            delete raiser;
        }
        for (int i = 0; i < kLines; ++i) {
            for (int r = 0; r < kRaisers; ++r)
                QTRY_COMPARE(receivers[size_t(i)]->next[size_t(r)].load(), kEvents);
            QVERIFY(!receivers[size_t(i)]->outOfOrder.load());
        }
        for (qint32 cookie : std::as_const(cookies))
            QVERIFY(hub.remove(cookie, nullptr));
        for (QThread* thread : std::as_const(lineThreads)) {
            thread->quit();
            thread->wait();
            delete thread;
        }
        contexts.clear();
    }

    void aCallerWhoHangsUpLaterHangsUpThatLongAfterTheAnswer()
    {
        sim::Simulator& s = sim::Simulator::instance();
        Receiver first, second;
        auto t = readyTelephony();
        registerOn(*t, kLine1, first);
        registerOn(*t, kLine2, second);
        // A call in progress keeps the audio clock going, so the next answered call joins it
        // at a tick, while its ring timer (every millisecond) keeps firing until then.
        Result<quint64> busy = s.placeCall(call(kLine1, 3, 300));
        QTRY_VERIFY(first.has(tapi::TE_ADDRESS, tapi::AE_RINGING));
        QVERIFY(first.lastCall()->answer());
        // The timer and the clock meet in either order: a few calls to see both.
        for (int round = 0; round < 5; ++round) {
            second.seen.clear();
            sim::CallRequest request = call(kLine2, 100000, 1);
            request.hangUpAfterMs = 200;
            Result<quint64> id = s.placeCall(request);
            QTRY_VERIFY(second.has(tapi::TE_ADDRESS, tapi::AE_RINGING));
            QVERIFY(second.events().first().call->answer());
            QVERIFY(waitCallEnded(id.value()));
            const sim::CallRecord record = s.call(id.value()).value();
            QVERIFY(record.endedByCaller);
            QVERIFY2(record.endedNs - record.answeredNs >= qint64(200 / s.speed()) * 1'000'000,
                     qPrintable(QString::number((record.endedNs - record.answeredNs) / 1e6)));
        }
        QVERIFY(s.hangUp(kLine1));
        QVERIFY(waitCallEnded(busy.value()));
    }

    void aBusyLineTakesNoSecondCall()
    {
        sim::Simulator& s = sim::Simulator::instance();
        Result<quint64> first = s.placeCall(call(kLine1, 3, 50));
        QVERIFY(first.isOk());
        QCOMPARE(s.placeCall(call(kLine1)).status().code(), err::InvalidState);
        QVERIFY(!s.placeCall(call("No Such Line")).isOk());
        QVERIFY(s.hangUp(kLine1));
        QVERIFY(waitCallEnded(first.value()));
        QVERIFY(!s.hangUp(kLine1).isOk());
    }
};

QTEST_GUILESS_MAIN(TestSimTelephony)
#include "TestSimTelephony.moc"
