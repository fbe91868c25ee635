// Calls between simulated lines: dialling a line's number, the causes of a call that does
// not connect, and the wire that joins two connected lines sample for sample. Simulated
// time runs 50 times faster here (the dialled line rings for 8 x 6 s).

#include "platform/audio/WaveDevice.h"
#include "platform/telephony/sim/SimTelephony.h"
#include "platform/telephony/sim/Simulator.h"

#include <QMutex>
#include <QTest>

using namespace orvane;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
const QString kLine3 = QStringLiteral("Simulated Line 3");

class Events : public TapiEventReceiver {
public:
    void tapiEvent(const TapiEvent& e) override
    {
        QMutexLocker lock(&m_mutex);
        m_seen.append(e);
    }
    QList<TapiEvent> all() const
    {
        QMutexLocker lock(&m_mutex);
        return m_seen;
    }
    QList<int> states() const
    {
        QList<int> s;
        for (const TapiEvent& e : all())
            if (e.kind == tapi::TE_CALLSTATE)
                s << e.callState;
        return s;
    }
    int rings() const
    {
        int n = 0;
        for (const TapiEvent& e : all())
            n += e.kind == tapi::TE_ADDRESS && e.addressEvent == tapi::AE_RINGING;
        return n;
    }
    // The cause of the call's end, or -1 while it lasts.
    int endCause() const
    {
        for (const TapiEvent& e : all())
            if (e.kind == tapi::TE_CALLSTATE && e.callState == tapi::CS_DISCONNECTED)
                return e.cause;
        return -1;
    }
    std::shared_ptr<TelephonyCall> offered() const
    {
        for (const TapiEvent& e : all())
            if (e.kind == tapi::TE_CALLNOTIFICATION)
                return e.call;
        return nullptr;
    }

private:
    mutable QMutex m_mutex;
    QList<TapiEvent> m_seen;
};

struct Party {
    std::unique_ptr<sim::SimTelephony> telephony = std::make_unique<sim::SimTelephony>();
    Events events;

    explicit Party(const QString& line)
    {
        telephony->initialize();
        telephony->setEventFilter(tapi::EVENT_FILTER_ALL);
        telephony->registerCallNotifications(line, true, true, tapi::TAPIMEDIATYPE_AUDIO, 1,
                                             &events);
    }
    std::shared_ptr<WaveDevice> device(const std::shared_ptr<TelephonyCall>& call)
    {
        auto media = telephony->createLineMedia();
        if (!media)
            return nullptr;
        Result<qint32> id = media.value()->waveDeviceId(call, tapi::LINE_MEDIA_WAVE_DEVICE);
        return id ? WaveDeviceRegistry::find(id.value()) : nullptr;
    }
};

bool lineFree(const QString& line)
{
    return QTest::qWaitFor([&] { return sim::Simulator::instance().currentCall(line) == 0; },
                           10000);
}

} // namespace

class TestSimDialling : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(sim::Simulator::instance().speed(), 50.0); }

    void cleanup()
    {
        QVERIFY(lineFree(kLine1));
        QVERIFY(lineFree(kLine2));
        QVERIFY(lineFree(kLine3));
    }

    void anUnknownNumberIsABadAddress_data()
    {
        QTest::addColumn<QString>("number");
        QTest::newRow("nobody has it") << "2999";
        QTest::newRow("not a number") << "call me";
        QTest::newRow("empty") << "";
        QTest::newRow("the data line's place") << "2004";
    }
    void anUnknownNumberIsABadAddress()
    {
        QFETCH(QString, number);
        Party caller(kLine1);
        Result<std::shared_ptr<TelephonyCall>> call = caller.telephony->createCall(kLine1, number);
        QVERIFY2(call, qPrintable(call.status().toString()));
        QTRY_COMPARE(caller.events.endCause(), tapi::CEC_DISCONNECT_BADADDRESS);
        QCOMPARE(caller.events.states(), QList<int>({tapi::CS_INPROGRESS, tapi::CS_DISCONNECTED}));
    }

    void aLineInACallIsBusy()
    {
        sim::CallRequest talk;
        talk.line = kLine2;
        talk.rings = 20;
        talk.ringIntervalMs = 6000;
        Result<quint64> id = sim::Simulator::instance().placeCall(talk);
        QVERIFY(id);
        QTRY_VERIFY(sim::Simulator::instance().currentCall(kLine2) == id.value());

        Party caller(kLine1);
        // Blanks, dashes and brackets are what people type between digits.
        QVERIFY(caller.telephony->createCall(kLine1, QStringLiteral(" (20) 02-")));
        QTRY_COMPARE(caller.events.endCause(), tapi::CEC_DISCONNECT_BUSY);
        // The call it met goes on.
        QCOMPARE(sim::Simulator::instance().currentCall(kLine2), id.value());
        QVERIFY(sim::Simulator::instance().hangUp(kLine2));
    }

    void nobodyAnsweringIsNoAnswer()
    {
        Party caller(kLine1);
        Party called(kLine2); // registered, but never answers
        QVERIFY(caller.telephony->createCall(kLine1, QStringLiteral("2002")));
        QTRY_VERIFY_WITH_TIMEOUT(caller.events.endCause() >= 0, 10000);
        QCOMPARE(caller.events.endCause(), tapi::CEC_DISCONNECT_NOANSWER);
        QTRY_VERIFY(called.events.endCause() >= 0);
        QCOMPARE(called.events.rings(), 8);
        QCOMPARE(called.events.offered()->callerNumber(), QStringLiteral("2001"));
        QCOMPARE(called.events.states(), QList<int>({tapi::CS_OFFERING, tapi::CS_DISCONNECTED}));
    }

    void aLineCannotPlaceTwoCalls()
    {
        Party caller(kLine1);
        Party called(kLine2);
        QVERIFY(caller.telephony->createCall(kLine1, QStringLiteral("2002")));
        QVERIFY(!caller.telephony->createCall(kLine1, QStringLiteral("2003")));
        QVERIFY(!caller.telephony->createCall(QStringLiteral("Simulated Data Line"),
                                              QStringLiteral("2003")));
        QTRY_VERIFY(called.events.offered());
        QVERIFY(called.events.offered()->disconnect(tapi::DC_REJECTED));
        QTRY_COMPARE(caller.events.endCause(), tapi::CEC_DISCONNECT_REJECTED);
    }

    void connectedLinesShareAnExactWire()
    {
        Party caller(kLine1);
        Party bystander(kLine1); // another program watching line 1
        Party called(kLine3);
        Result<std::shared_ptr<TelephonyCall>> placed =
            caller.telephony->createCall(kLine1, QStringLiteral("2003"));
        QVERIFY(placed);
        QTRY_VERIFY(called.events.rings() >= 1);
        std::shared_ptr<TelephonyCall> incoming = called.events.offered();
        QVERIFY(incoming->answer());
        QTRY_VERIFY(caller.events.states().contains(tapi::CS_CONNECTED));
        QTRY_VERIFY(called.events.states().contains(tapi::CS_CONNECTED));
        QVERIFY(!placed.value()->answer()); // the placing side cannot answer its own call

        std::shared_ptr<WaveDevice> a = caller.device(placed.value());
        std::shared_ptr<WaveDevice> b = called.device(incoming);
        QVERIFY(a && b);

        // Each side sends a counting pattern and keeps what it hears; after the wire's
        // delay every byte arrives, in order, none twice, at 50 times real speed.
        struct Side {
            QMutex mutex;
            QByteArray heard;
            quint8 next = 0;
            qint64 steps = 0;
        };
        Side sa, sb;
        auto exchange = [](Side& side) {
            return [&side](const quint8* in, quint8* out, qsizetype count) {
                QMutexLocker lock(&side.mutex);
                side.heard.append(reinterpret_cast<const char*>(in), count);
                for (qsizetype i = 0; i < count; ++i)
                    out[i] = side.next = quint8((side.next + 1) % 0x7f);
                ++side.steps;
            };
        };
        QVERIFY(a->attachExchange(exchange(sa)));
        QVERIFY(!a->attachExchange(exchange(sa))); // one at a time
        QVERIFY(b->attachExchange(exchange(sb)));
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     QMutexLocker lock(&sb.mutex);
                                     return sb.heard.size() > 8000 * 20;
                                 }()),
                                 5000);
        a->detachExchange();
        b->detachExchange();

        for (Side* side : {&sa, &sb}) {
            QMutexLocker lock(&side->mutex);
            const QByteArray& h = side->heard;
            // Silence until the other side's first byte, then the pattern without a gap.
            const qsizetype first = h.indexOf(char(1));
            QVERIFY(first >= 0);
            for (qsizetype i = 0; i < first; ++i)
                QCOMPARE(quint8(h.at(i)), quint8(0xFF));
            for (qsizetype i = first; i < h.size() - 1; ++i)
                if (quint8(h.at(i + 1)) != quint8((quint8(h.at(i)) + 1) % 0x7f))
                    QFAIL(qPrintable(QStringLiteral("byte %1 out of order").arg(i)));
        }

        // The caller hangs up: the other side ends normally; no one else saw the call.
        QVERIFY(placed.value()->disconnect(tapi::DC_NORMAL));
        QTRY_COMPARE(called.events.endCause(), tapi::CEC_DISCONNECT_NORMAL);
        QTRY_COMPARE(caller.events.endCause(), tapi::CEC_DISCONNECT_NORMAL);
        QCOMPARE(bystander.events.states(), QList<int>());
        a.reset();
        b.reset();
    }
};

int main(int argc, char** argv)
{
    qputenv("ORVANE_SIM_SPEED", "50");
    QCoreApplication app(argc, argv);
    TestSimDialling test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSimDialling.moc"
