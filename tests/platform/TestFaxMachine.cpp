// The fax component on simulated lines: the status texts of a job as it goes, a job ended
// half way, a fax cut off after its first page, a fax with malformed pages, and a call that
// rings while the receiver is between two faxes. Simulated time runs 20 times faster.

#include "platform/fax/FaxMachine.h"
#include "platform/fax/FaxStatus.h"
#include "platform/fax/TextPages.h"
#include "platform/fax/TiffFax.h"
#include "platform/telephony/sim/SimFaxCaller.h"
#include "platform/telephony/sim/SimTelephony.h"
#include "platform/telephony/sim/Simulator.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

using namespace orvane;
using namespace orvane::fax;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
constexpr int kWaitMs = 60000;

std::unique_ptr<FaxMachine> machineOn(const QString& line)
{
    auto m = std::make_unique<FaxMachine>(std::make_unique<sim::SimTelephony>());
    m->chooseLine(line);
    return m;
}

// Every distinct status text the machine shows until `done`, polled as fast as the event
// loop turns.
QStringList watch(const FaxMachine& m, const std::function<bool()>& done)
{
    QStringList seen;
    const bool ended = QTest::qWaitFor(
        [&] {
            const QString s = m.status();
            if (seen.isEmpty() || seen.last() != s)
                seen << s;
            return done();
        },
        kWaitMs);
    if (!ended)
        seen << QStringLiteral("(still running)");
    return seen;
}

} // namespace

class TestFaxMachine : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QString document(int pages, int linesPerPage = 3)
    {
        QString text;
        for (int p = 1; p <= pages; ++p) {
            if (p > 1)
                text += u'\f';
            for (int l = 0; l < linesPerPage; ++l)
                text += QStringLiteral("Page %1, line %2: a line of text to fax.\n").arg(p).arg(l);
        }
        const QString path =
            m_dir.filePath(QStringLiteral("doc-%1-%2.txt").arg(pages).arg(linesPerPage));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text.toUtf8());
        return path;
    }

private slots:
    void initTestCase() { QCOMPARE(sim::Simulator::instance().speed(), 20.0); }

    void cleanup()
    {
        for (const QString& line : {kLine1, kLine2})
            QTRY_COMPARE_WITH_TIMEOUT(sim::Simulator::instance().currentCall(line), quint64(0),
                                      kWaitMs);
    }

    void statusTextsFollowTheJob()
    {
        const QString folder = m_dir.filePath(QStringLiteral("in"));
        auto receiver = machineOn(kLine2);
        auto sender = machineOn(kLine1);
        QCOMPARE(sender->status(), QStringLiteral("Idle ...."));
        QVERIFY(receiver->receive(folder, 2));
        QCOMPARE(receiver->status(), QStringLiteral("Waiting for fax call ...."));
        QVERIFY(QFileInfo(folder).isDir()); // made when missing

        QSignalSpy senderDone(sender.get(), &FaxMachine::finished);
        QSignalSpy receiverDone(receiver.get(), &FaxMachine::finished);
        QVERIFY(sender->send(QStringLiteral("2002"), document(2), QString()));
        QVERIFY(!sender->send(QStringLiteral("2002"), document(2), QString())); // one job at a time
        QStringList received;
        const QStringList sent = watch(*sender, [&] {
            const QString r = receiver->status();
            if (received.isEmpty() || received.last() != r)
                received << r;
            return senderDone.count() == 1 && receiverDone.count() == 1;
        });
        QCOMPARE(senderDone.count(), 1);
        QCOMPARE(senderDone.first().first().toString(), QStringLiteral("Completed"));
        QCOMPARE(receiverDone.first().first().toString(), QStringLiteral("Completed"));

        // The texts come in this order; fast steps may be missed by the polling.
        const QStringList sendOrder = {"Preparing document ....",  "Dialing 2002 ....",
                                       "Connected ....",           "Sending page 1 of 2 ....",
                                       "Sending page 2 of 2 ....", "Completed"};
        qsizetype at = -1;
        for (const QString& s : sent) {
            const qsizetype i = sendOrder.indexOf(s);
            QVERIFY2(i > at, qPrintable(sent.join(u'|')));
            at = i;
        }
        QVERIFY2(sent.contains(QStringLiteral("Sending page 2 of 2 ....")),
                 qPrintable(sent.join(u'|')));
        QVERIFY2(received.contains(QStringLiteral("Receiving page 1 ....")),
                 qPrintable(received.join(u'|')));
        // Never a page beyond the last one, also while the call winds down.
        QVERIFY2(!received.contains(QStringLiteral("Receiving page 3 ....")),
                 qPrintable(received.join(u'|')));
        QVERIFY(faxstatus::isFinal(sent.last()));
        QVERIFY(!faxstatus::isFinal(QStringLiteral("Completed ")));

        const QString file = receiver->receivedFile();
        QVERIFY(file.startsWith(QLatin1String("fax-")) && file.endsWith(QLatin1String(".tif")));
        QCOMPARE(inspectTiff(QDir(folder).filePath(file))->pages, 2);
        QVERIFY(sender->lastLineSamples() > 8000 * 10);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList({file}));
    }

    void endingARunningJobAborts()
    {
        const QString folder = m_dir.filePath(QStringLiteral("cut"));
        auto receiver = machineOn(kLine2);
        auto sender = machineOn(kLine1);
        QVERIFY(receiver->receive(folder, 2));
        // Three full pages, so that the first one has arrived well before the last.
        QVERIFY(sender->send(QStringLiteral("2002"), document(3, 60), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->status(), QStringLiteral("Receiving page 2 ...."),
                                  kWaitMs);
        sender->end();
        QCOMPARE(sender->status(), QStringLiteral("Aborting"));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->status(), QStringLiteral("Disconnected"), kWaitMs);
        QCOMPARE(receiver->receivedFile(), QString());
        // The page that did arrive is kept under a name that says the fax is incomplete.
        const QStringList kept = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(kept.size(), 1);
        QVERIFY2(kept.first().endsWith(QLatin1String("-incomplete.tif")), qPrintable(kept.first()));
        QCOMPARE(inspectTiff(QDir(folder).filePath(kept.first()))->pages, 1);

        // A receive job ended while a page arrives leaves nothing half written behind.
        const QString other = m_dir.filePath(QStringLiteral("ended"));
        auto receiver2 = machineOn(kLine2);
        auto sender2 = machineOn(kLine1);
        QVERIFY(receiver2->receive(other, 2));
        QVERIFY(sender2->send(QStringLiteral("2002"), document(3, 60), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(receiver2->status(), QStringLiteral("Receiving page 1 ...."),
                                  kWaitMs);
        QVERIFY(!QDir(other).entryList(QDir::Files | QDir::Hidden).isEmpty()); // the part file
        receiver2->end();
        QCOMPARE(receiver2->status(), QStringLiteral("Aborting"));
        QCOMPARE(QDir(other).entryList(QDir::Files | QDir::Hidden), QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(sender2->status(), QStringLiteral("Disconnected"), kWaitMs);
    }

    void aReceiveJobEndedByItsUserKeepsThePagesThatCame_data()
    {
        QTest::addColumn<bool>("released");
        QTest::newRow("ended") << false;
        QTest::newRow("released (Stop)") << true;
    }

    void aReceiveJobEndedByItsUserKeepsThePagesThatCame()
    {
        QFETCH(bool, released);
        const QString folder =
            m_dir.filePath(released ? QStringLiteral("stopped") : QStringLiteral("ended-late"));
        auto receiver = machineOn(kLine2);
        auto sender = machineOn(kLine1);
        QVERIFY(receiver->receive(folder, 2));
        QVERIFY(sender->send(QStringLiteral("2002"), document(3, 60), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->status(), QStringLiteral("Receiving page 2 ...."),
                                  kWaitMs);
        if (released)
            receiver.reset();
        else
            receiver->end();
        const QStringList kept = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(kept.size(), 1);
        QVERIFY2(kept.first().endsWith(QLatin1String("-incomplete.tif")), qPrintable(kept.first()));
        QCOMPARE(inspectTiff(QDir(folder).filePath(kept.first()))->pages, 1);
        QTRY_COMPARE_WITH_TIMEOUT(sender->status(), QStringLiteral("Disconnected"), kWaitMs);
    }

    void theSentPagesAreKeptInTheSendFolder()
    {
        // A TIFF document is sent as it is; its copy goes into the folder, nothing beside it.
        const QString docs = m_dir.filePath(QStringLiteral("docs"));
        QVERIFY(QDir().mkpath(docs));
        Result<TextPages> layout = TextPages::create(Paper::A4);
        QVERIFY(layout);
        const QString tiff = QDir(docs).filePath(QStringLiteral("memo.tif"));
        QVERIFY(writeTiffF(tiff, layout->render(QStringLiteral("memo"))));
        const QString kept = m_dir.filePath(QStringLiteral("sent"));
        auto receiver = machineOn(kLine2);
        auto sender = machineOn(kLine1);
        QVERIFY(receiver->receive(m_dir.filePath(QStringLiteral("sent-in")), 2));
        QVERIFY(sender->send(QStringLiteral("2002"), tiff, kept));
        QTRY_COMPARE_WITH_TIMEOUT(sender->status(), QStringLiteral("Completed"), kWaitMs);
        QCOMPARE(QDir(docs).entryList(QDir::Files | QDir::Hidden), QStringList({"memo.tif"}));
        const QStringList copies = QDir(kept).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(copies.size(), 1);
        QVERIFY2(copies.first().endsWith(QLatin1String("-sent.tif")), qPrintable(copies.first()));
        QCOMPARE(inspectTiff(QDir(kept).filePath(copies.first()))->pages, 1);
    }

    void aCallDuringThePauseIsTakenByTheNextReceive()
    {
        const QString folder = m_dir.filePath(QStringLiteral("pause"));
        auto receiver = machineOn(kLine2);
        auto sender = machineOn(kLine1);
        QVERIFY(receiver->receive(folder, 2));
        QVERIFY(sender->send(QStringLiteral("2002"), document(1), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(receiver->status(), QStringLiteral("Completed"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(sender->status(), QStringLiteral("Completed"), kWaitMs);
        sender->end();
        QTRY_COMPARE(sim::Simulator::instance().currentCall(kLine1), quint64(0));

        // The next fax rings before the receiver is ready again; it is answered then.
        QVERIFY(sender->send(QStringLiteral("2002"), document(1), QString()));
        QTRY_VERIFY(sim::Simulator::instance().currentCall(kLine2) != 0);
        QCOMPARE(receiver->status(), QStringLiteral("Completed"));
        QVERIFY(receiver->receive(folder, 2));
        QTRY_COMPARE_WITH_TIMEOUT(sender->status(), QStringLiteral("Completed"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(receiver->status(), QStringLiteral("Completed"), kWaitMs);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);
    }

    void partFilesOfEndedServersAreCleared()
    {
        // One left by a line server that is gone, one of a job still running in this one.
        const QString folder = m_dir.filePath(QStringLiteral("leftovers"));
        QVERIFY(QDir().mkpath(folder));
        const QString abandoned = QDir(folder).filePath(QStringLiteral(".fax-999999-3.part"));
        const QString running = QDir(folder).filePath(
            QStringLiteral(".fax-%1-77.part").arg(QCoreApplication::applicationPid()));
        const QString mine = QDir(folder).filePath(QStringLiteral("notes.part"));
        for (const QString& path : {abandoned, running, mine}) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        // One that an ended server had received pages into: they are the only copy.
        const QString withPages = QDir(folder).filePath(QStringLiteral(".fax-999998-4.part"));
        Result<TextPages> layout = TextPages::create(Paper::A4);
        QVERIFY(layout.isOk());
        QVERIFY(writeTiffF(withPages, layout->render(QStringLiteral("half a fax"))));
        auto receiver = machineOn(kLine2);
        QVERIFY(receiver->receive(folder, 2));
        QVERIFY(!QFile::exists(abandoned));
        QVERIFY(!QFile::exists(withPages));
        const QStringList kept =
            QDir(folder).entryList({QStringLiteral("fax-*-incomplete.tif")}, QDir::Files);
        QCOMPARE(kept.size(), 1);
        QVERIFY(inspectTiff(QDir(folder).filePath(kept.first())));
        QVERIFY(QFile::exists(running));
        QVERIFY(QFile::exists(mine));
    }

    void aFaxOfMalformedPagesKeepsTheSoundOnes()
    {
        // A fax machine whose second page has a few malformed rows and whose third has
        // hardly a sound one (rows of random codes, cut short, twice the page's width).
        const QString folder = m_dir.filePath(QStringLiteral("malformed"));
        auto receiver = machineOn(kLine2);
        QVERIFY(receiver->receive(folder, 2));
        QVERIFY(sim::Simulator::instance().injectFault(kLine2, sim::Fault::MalformedFaxPages));
        sim::CallRequest request;
        request.line = kLine2;
        request.rings = 2;
        request.ringIntervalMs = 1000;
        QVERIFY(sim::Simulator::instance().placeCall(request));
        QSignalSpy done(receiver.get(), &FaxMachine::finished);
        const QStringList seen = watch(*receiver, [&] { return done.count() > 0; });

        // The third page is refused; the far end gives up on it and hangs up. The job says
        // so, and why.
        QCOMPARE(done.count(), 1);
        QCOMPARE(receiver->status(), QStringLiteral("Disconnected"));
        QVERIFY(!receiver->lastReason().isEmpty());
        QCOMPARE(receiver->receivedFile(), QString());
        // The page the status names never goes back, also when a page is refused.
        static const QRegularExpression receiving(QStringLiteral("^Receiving page (\\d+) ....$"));
        int page = 0;
        for (const QString& s : seen) {
            const QRegularExpressionMatch m = receiving.match(s);
            if (!m.hasMatch())
                continue;
            QVERIFY2(m.captured(1).toInt() >= page, qPrintable(seen.join(u'|')));
            page = m.captured(1).toInt();
        }
        QCOMPARE(page, 3);

        // The two pages that came are kept as an incomplete fax: the sound one as it was
        // sent, the damaged one with every row but the malformed ones as sent.
        const QStringList kept = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(kept.size(), 1);
        QVERIFY2(kept.first().endsWith(QLatin1String("-incomplete.tif")), qPrintable(kept.first()));
        const Result<QList<FaxPage>> pages = readTiffPages(QDir(folder).filePath(kept.first()));
        QVERIFY2(pages, qPrintable(pages.status().description()));
        QCOMPARE(pages->size(), 2);
        QVERIFY(pages->at(0).bits == sim::SimFaxCaller::page(1).bits);
        const FaxPage sent = sim::SimFaxCaller::page(2);
        const FaxPage& got = pages->at(1);
        QCOMPARE(got.width, sent.width);
        QCOMPARE(got.height, sent.height);
        const sim::SimFaxCaller::Damage damage = sim::SimFaxCaller::kDamage[1];
        for (int y = 0; y < sent.height; ++y) {
            const bool malformed = y + 1 >= damage.firstRow && y + 1 <= damage.lastRow;
            if (!malformed)
                QVERIFY2(std::memcmp(got.row(y), sent.row(y), size_t(sent.stride())) == 0,
                         qPrintable(QStringLiteral("row %1 differs").arg(y)));
        }
    }

    // Two simulated lines lose 2 % of their packets on the way. Carried as audio, lost
    // packets are silence in the modems' tones and the fax breaks down; the receiving side
    // hears the caller's tone, asks for T.38, and the fax goes through as datagrams whose
    // redundancy brings the lost ones back.
    void lostPacketsBreakAudioFaxesButNotT38_data()
    {
        QTest::addColumn<QByteArray>("transport");
        QTest::addColumn<bool>("completes");
        QTest::newRow("auto: T.38") << QByteArray("auto") << true;
        QTest::newRow("audio") << QByteArray("audio") << false;
    }
    void lostPacketsBreakAudioFaxesButNotT38()
    {
        QFETCH(QByteArray, transport);
        QFETCH(bool, completes);
        qputenv("ORVANE_SIM_LOSS", "2");
        qputenv("ORVANE_SIM_FAX_TRANSPORT", transport);
        const auto restore = qScopeGuard([] {
            qunsetenv("ORVANE_SIM_LOSS");
            qunsetenv("ORVANE_SIM_FAX_TRANSPORT");
        });
        const QString folder = m_dir.filePath(QStringLiteral("lossy-") + transport);
        auto receiver = machineOn(kLine2);
        auto sender = machineOn(kLine1);
        QSignalSpy senderDone(sender.get(), &FaxMachine::finished);
        QSignalSpy receiverDone(receiver.get(), &FaxMachine::finished);
        QVERIFY(receiver->receive(folder, 2));
        QVERIFY(sender->send(QStringLiteral("2002"), document(2), QString()));
        QTRY_VERIFY_WITH_TIMEOUT(senderDone.count() == 1 && receiverDone.count() == 1, kWaitMs);
        const FaxProgress sent = sender->lastProgress(), received = receiver->lastProgress();
        QCOMPARE(sender->status() == QLatin1String("Completed"), completes);
        QCOMPARE(receiver->status() == QLatin1String("Completed"), completes);
        // Audio all the way, or switched to T.38 by the receiver: both ends agree.
        QCOMPARE(sent.t38, completes);
        QCOMPARE(received.t38, completes);
        QCOMPARE(received.switched, completes);
        if (completes) {
            QCOMPARE(inspectTiff(QDir(folder).filePath(receiver->receivedFile()))->pages, 2);
            QVERIFY(sent.ecm); // error correction is asked for and both ends have it
            QCOMPARE(sent.bitRate, 14400);
        }
    }

    void anUnknownLineIsOffline()
    {
        auto sender = machineOn(QStringLiteral("No Such Line"));
        QVERIFY(sender->send(QStringLiteral("2002"), document(1), QString()));
        QTRY_COMPARE(sender->status(), QStringLiteral("Offline"));
        auto receiver = machineOn(QStringLiteral("Simulated Data Line"));
        QVERIFY(receiver->receive(m_dir.filePath(QStringLiteral("x")), 2));
        QCOMPARE(receiver->status(), QStringLiteral("Offline"));
    }
};

int main(int argc, char** argv)
{
    qputenv("ORVANE_SIM_SPEED", "20");
    QCoreApplication app(argc, argv);
    TestFaxMachine test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFaxMachine.moc"
