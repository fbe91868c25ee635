// Fax jobs of line objects, end to end over the session bus on simulated lines: a send job
// from one line to another line's receive job, what reaches the grid, the file and its row
// in recieve_fax, printing, and the ways a job ends without a fax (malformed pages among
// them). Simulated time runs 50 times faster, so a two-page fax takes about a second.

#include "PrintStandIn.h"
#include "RecordingGrid.h"
#include "Signals.h"
#include "TestServer.h"
#include "database/Database.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/TolvexNames.h"
#include "platform/fax/TiffFax.h"
#include "platform/telephony/sim/Simulator.h"

#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
const QString kLine3 = QStringLiteral("Simulated Line 3");
constexpr int kWaitMs = 60000;

} // namespace

class TestFaxJobs : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TestServer> m_server;
    QTemporaryDir m_files;
    QString m_printed;
    std::unique_ptr<QTemporaryDir> m_home;

    QString document(const QString& name, int pages)
    {
        QString text;
        for (int p = 1; p <= pages; ++p)
            text += QStringLiteral("%1Page %2 of %3.\nOrvane fax test.\n")
                        .arg(p > 1 ? QStringLiteral("\f") : QString())
                        .arg(p)
                        .arg(pages);
        const QString path = m_files.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(text.toUtf8());
        return path;
    }

    QStringList logged() const
    {
        Database db;
        if (!db.OpenDatabase(m_home->path()))
            return {QStringLiteral("cannot open the database")};
        return recievefax::listAll(db, m_home->path()).value();
    }

    QStringList faxesIn(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden);
    }

    // Starts a send job on a new object; its test2 signals are counted by the spy. The pages
    // as sent are kept in `keepFolder`, when one is given.
    LineHandle sendJob(const QString& number, const QString& doc,
                       std::unique_ptr<QSignalSpy>& test2, const QString& keepFolder = QString(),
                       std::unique_ptr<QSignalSpy>* boxes = nullptr)
    {
        LineHandle sender = m_server->newLine();
        test2 = std::make_unique<QSignalSpy>(sender.events(), &LineEvents::test2);
        if (boxes)
            *boxes = std::make_unique<QSignalSpy>(sender.events(), &LineEvents::messageBox);
        const Status s = sender.FnSendFax(number, doc, keepFolder, kLine1, &m_server->gridExport());
        if (!s)
            qFatal("FnSendFax: %s", qPrintable(s.toString()));
        return sender;
    }

    QString lastText(int row)
    {
        m_server->settle();
        const QStringList texts = m_server->grid().history(row, 2);
        return texts.isEmpty() ? QString() : texts.last();
    }

private Q_SLOTS:
    void initTestCase()
    {
        // Fax timing is counted in samples, but a line thread that the machine keeps waiting
        // starts its fax session late in line time: 25 times real time leaves room for a
        // busy machine (at 50 the exchange of malformed pages failed in 2 of many full runs).
        qputenv("ORVANE_SIM_SPEED", "25");
        // Printing goes to a stand-in for lp that notes what it was given.
        m_printed = test::installPrintStandIn(m_files.filePath(QStringLiteral("bin")));
        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
    }

    void init()
    {
        QVERIFY(m_server->settle());
        m_server->grid().clear();
        m_home = std::make_unique<QTemporaryDir>();
        QFile::remove(m_printed);
    }

    void cleanup()
    {
        for (const QString& line : {kLine1, kLine2, kLine3})
            QTRY_COMPARE_WITH_TIMEOUT(sim::Simulator::instance().currentCall(line), quint64(0),
                                      kWaitMs);
    }

    void aFaxGoesFromLineToLine()
    {
        // The folder's name holds an apostrophe; it does not exist yet.
        const QString folder = m_home->filePath(QStringLiteral("O'Brien's faxes"));
        LineHandle receiver = m_server->newLine();
        QVERIFY(
            receiver.FnReceiveFax(kLine2, folder, 2, 1, &m_server->gridExport(), m_home->path()));
        QTRY_COMPARE(lastText(2), QStringLiteral("Waiting for fax call ...."));
        QCOMPARE(m_server->grid().cell(2, 0), QStringLiteral("2"));
        QCOMPARE(m_server->grid().cell(2, 1), kLine2);
        // One job per object.
        const Status refused =
            receiver.FnReceiveFax(kLine3, folder, 3, 1, &m_server->gridExport(), m_home->path());
        QCOMPARE(refused.code(), err::InvalidState);
        QCOMPARE(m_server->grid().cell(3, 1), QString());

        std::unique_ptr<QSignalSpy> test2;
        LineHandle sender = sendJob(QStringLiteral("2002"), document("two.txt", 2), test2);
        QTRY_COMPARE_WITH_TIMEOUT(test2->count(), 1, kWaitMs);
        QCOMPARE(lastText(1), QStringLiteral("Completed"));
        QCOMPARE(m_server->grid().cell(1, 0), QStringLiteral("1"));
        QCOMPARE(m_server->grid().cell(1, 1), kLine1);
        // The receive job files the fax, logs it with its full path, prints it, and waits
        // for the next one in its own row.
        QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 1, kWaitMs);
        const QString path = logged().first();
        QVERIFY2(path.startsWith(folder + QLatin1Char('/')), qPrintable(path));
        QCOMPARE(faxesIn(folder), QStringList({QFileInfo(path).fileName()}));
        Result<fax::TiffSummary> fax = fax::inspectTiff(path);
        QVERIFY2(fax, qPrintable(fax.status().toString()));
        QCOMPARE(fax->pages, 2);
        QCOMPARE(fax->widths, QList<int>({1728, 1728}));
        QVERIFY(m_server->grid().history(2, 2).contains(QStringLiteral("Completed")));
        QVERIFY(!m_server->grid().history(1, 2).contains(QStringLiteral("Receiving page 1 ....")));
        QTRY_VERIFY(QFile::exists(m_printed));
        QTRY_COMPARE(test::readFile(m_printed), QByteArray("--\n") + path.toUtf8() + "\n");
        QTRY_COMPARE_WITH_TIMEOUT(lastText(2), QStringLiteral("Waiting for fax call ...."),
                                  kWaitMs);

        // A second fax: a second file and a second row.
        std::unique_ptr<QSignalSpy> again;
        const QString kept = m_home->filePath(QStringLiteral("sent"));
        LineHandle second = sendJob(QStringLiteral("2002"), document("one.txt", 1), again, kept);
        QTRY_COMPARE_WITH_TIMEOUT(again->count(), 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 2, kWaitMs);
        // The pages as they went out, kept once the fax was sent.
        const QStringList copies = faxesIn(kept);
        QCOMPARE(copies.size(), 1);
        QVERIFY(copies.first().endsWith("-sent.tif"));
        QVERIFY(logged().at(0) != logged().at(1));
        QCOMPARE(faxesIn(folder).size(), 2);
        QCOMPARE(fax::inspectTiff(logged().at(1))->pages, 1);

        // test2 came once per job, and never from the receiving object.
        QTest::qWait(2500);
        QCOMPARE(test2->count(), 1);
        QCOMPARE(again->count(), 1);
    }

    void aFaxThatCannotBeListedIsKeptAndListedLater()
    {
        // The database cannot be written when the first fax comes.
        const QString dbPath = m_home->filePath("velmoc.mdb");
        QVERIFY(QDir(m_home->path()).mkdir("velmoc.mdb"));
        const QString folder = m_home->filePath(QStringLiteral("faxes"));
        LineHandle receiver = m_server->newLine();
        QSignalSpy boxes(receiver.events(), &LineEvents::messageBox);
        QVERIFY(
            receiver.FnReceiveFax(kLine2, folder, 2, 0, &m_server->gridExport(), m_home->path()));
        QTRY_COMPARE(lastText(2), QStringLiteral("Waiting for fax call ...."));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("but could not log it"));
        std::unique_ptr<QSignalSpy> test2;
        LineHandle sender = sendJob(QStringLiteral("2002"), document("first.txt", 1), test2);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        QVERIFY2(boxes[0][0].toString().contains("could not list it"),
                 qPrintable(boxes[0][0].toString()));
        QCOMPARE(faxesIn(folder).size(), 1); // kept all the same
        QTRY_COMPARE_WITH_TIMEOUT(test2->count(), 1, kWaitMs);

        // Writable again: the next fax lists both.
        QVERIFY(QDir(dbPath).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(lastText(2), QStringLiteral("Waiting for fax call ...."),
                                  kWaitMs);
        std::unique_ptr<QSignalSpy> again;
        LineHandle second = sendJob(QStringLiteral("2002"), document("second.txt", 1), again);
        QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 2, kWaitMs);
        QCOMPARE(faxesIn(folder).size(), 2);
        QCOMPARE(boxes.size(), 1);
    }

    void aFaxThatCannotBePrintedIsKeptAndSaidSo()
    {
        test::makePrintStandInFail(m_files.filePath(QStringLiteral("bin")),
                                   QStringLiteral("lp: the printer is out of paper"));
        auto restore = qScopeGuard(
            [&] { test::makePrintStandInFail(m_files.filePath(QStringLiteral("bin")), {}); });
        const QString folder = m_home->filePath(QStringLiteral("faxes"));
        LineHandle receiver = m_server->newLine();
        QSignalSpy boxes(receiver.events(), &LineEvents::messageBox);
        QVERIFY(
            receiver.FnReceiveFax(kLine2, folder, 2, 1, &m_server->gridExport(), m_home->path()));
        QTRY_COMPARE(lastText(2), QStringLiteral("Waiting for fax call ...."));
        std::unique_ptr<QSignalSpy> test2;
        LineHandle sender = sendJob(QStringLiteral("2002"), document("print.txt", 1), test2);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        const QString told = boxes.first().first().toString();
        QVERIFY2(told.contains("could not print it") && told.contains("out of paper"),
                 qPrintable(told));
        QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 1, kWaitMs); // the fax is kept and listed
        QVERIFY(QFile::exists(logged().first()));
        QTRY_COMPARE_WITH_TIMEOUT(test2->count(), 1, kWaitMs);
    }

    void aBusyNumberEndsTheSendJob()
    {
        sim::CallRequest talk;
        talk.line = kLine3;
        talk.rings = 50;
        talk.ringIntervalMs = 6000;
        Result<quint64> id = sim::Simulator::instance().placeCall(talk);
        QVERIFY(id);
        QTRY_COMPARE(sim::Simulator::instance().currentCall(kLine3), id.value());

        std::unique_ptr<QSignalSpy> test2;
        LineHandle sender = sendJob(QStringLiteral("2003"), document("busy.txt", 1), test2);
        QTRY_COMPARE_WITH_TIMEOUT(test2->count(), 1, kWaitMs);
        QCOMPARE(lastText(1), QStringLiteral("Busy"));
        QTest::qWait(1500);
        QCOMPARE(test2->count(), 1);
        QVERIFY(sim::Simulator::instance().hangUp(kLine3));
    }

    void theEndsOfASendJob_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("doc");
        QTest::addColumn<QString>("final");
        QTest::newRow("unknown number") << "2999"
                                        << "ok.txt"
                                        << "Bad Address";
        QTest::newRow("nobody answers") << "2003"
                                        << "ok.txt"
                                        << "No Answer";
        QTest::newRow("no such document") << "2003"
                                          << "absent.txt"
                                          << "Fatal Error";
    }
    void theEndsOfASendJob()
    {
        QFETCH(QString, number);
        QFETCH(QString, doc);
        QFETCH(QString, final);
        if (doc == QLatin1String("ok.txt"))
            document(doc, 1);
        const QString kept = m_home->filePath(QStringLiteral("sent"));
        std::unique_ptr<QSignalSpy> test2, boxes;
        LineHandle sender = sendJob(number, m_files.filePath(doc), test2, kept, &boxes);
        QTRY_COMPARE_WITH_TIMEOUT(test2->count(), 1, kWaitMs);
        QCOMPARE(lastText(1), final);
        // The user learns how and why it ended, once, before the job's end is reported.
        QCOMPARE(boxes->size(), 1);
        const QString told = boxes->first().first().toString();
        QVERIFY2(told.startsWith(kLine1 + " could not send the fax to " + number + ": " + final),
                 qPrintable(told));
        // No copy of pages that never went out.
        QVERIFY(faxesIn(kept).isEmpty());
    }

    void aNewJobRightAfterTheLastOneRunsToItsEnd()
    {
        std::unique_ptr<QSignalSpy> test2;
        LineHandle sender = sendJob(QStringLiteral("2999"), document("again.txt", 1), test2);
        QTRY_COMPARE_WITH_TIMEOUT(lastText(1), QStringLiteral("Bad Address"), kWaitMs);
        // Within the two seconds before the first job's test2, the client starts another.
        QCOMPARE(test2->count(), 0);
        QVERIFY(sender.FnSendFax(QStringLiteral("2003"), m_files.filePath("again.txt"), QString(),
                                 kLine1, &m_server->gridExport()));
        QTRY_COMPARE_WITH_TIMEOUT(test2->count(), 2, kWaitMs);
        QCOMPARE(lastText(1), QStringLiteral("No Answer"));
    }

    void aLineObjectAnswersCallsAfterAFaxJob()
    {
        // A receive job that ends for good; then the same object is bound to answer calls.
        LineHandle line = m_server->newLine();
        const QString file = m_home->filePath(QStringLiteral("not-a-folder"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(line.FnReceiveFax(kLine2, file + QStringLiteral("/x"), 1, 2,
                                  &m_server->gridExport(), m_home->path()));
        QTRY_COMPARE(lastText(1), QStringLiteral("Fatal Error"));
        QVERIFY(line.InitTAPI(kLine2, m_server->gridExport(), 1, m_home->path()));
        QVERIFY(line.setRings(1));
        QVERIFY(line.setPlayType(QStringLiteral("MESS")));
        QVERIFY(line.setPlayMessage(QStringLiteral("Hello.")));
        QVERIFY(line.setRecordTime(1));
        sim::CallRequest call;
        call.line = kLine2;
        call.rings = 3;
        call.ringIntervalMs = 6000;
        QVERIFY(sim::Simulator::instance().placeCall(call));
        // The recording is finished, saved and logged as on any line.
        QTRY_COMPARE_WITH_TIMEOUT(lastText(1), QStringLiteral("Waiting for Call .... "), kWaitMs);
        Database db;
        QVERIFY(db.OpenDatabase(m_home->path()));
        QTRY_COMPARE(recmessage::listDay(db, QDate::currentDate())->size(), 1);
    }

    void aVoiceCallIsNotAFax()
    {
        const QString folder = m_home->filePath(QStringLiteral("faxes"));
        LineHandle receiver = m_server->newLine();
        QSignalSpy test2(receiver.events(), &LineEvents::test2);
        QVERIFY(
            receiver.FnReceiveFax(kLine3, folder, 1, 2, &m_server->gridExport(), m_home->path()));
        QTRY_COMPARE(lastText(1), QStringLiteral("Waiting for fax call ...."));

        // Someone who talks for a minute.
        const QString voice = m_files.filePath(QStringLiteral("voice.wav"));
        QVERIFY(test::writePcmWav(voice, test::tone(440, 60.0, 8000), 8000));
        sim::CallRequest call;
        call.line = kLine3;
        call.rings = 5;
        call.ringIntervalMs = 6000;
        call.callerAudioPath = voice;
        call.callerWaitsForGreeting = false;
        QVERIFY(sim::Simulator::instance().placeCall(call));
        QTRY_COMPARE_WITH_TIMEOUT(lastText(1), QStringLiteral("Not a Fax Call"), kWaitMs);
        // The receive job is over: nothing logged, nothing kept, nothing printed, no test2.
        QTest::qWait(1500);
        QCOMPARE(lastText(1), QStringLiteral("Not a Fax Call"));
        QCOMPARE(logged(), QStringList());
        QCOMPARE(faxesIn(folder), QStringList());
        QVERIFY(!QFile::exists(m_printed));
        QCOMPARE(test2.count(), 0);
    }

    void aFaxOfMalformedPagesEndsTheJobAndKeepsTheSoundPages()
    {
        const QString folder = m_home->filePath(QStringLiteral("faxes"));
        LineHandle receiver = m_server->newLine();
        QSignalSpy boxes(receiver.events(), &LineEvents::messageBox);
        QVERIFY(
            receiver.FnReceiveFax(kLine2, folder, 2, 2, &m_server->gridExport(), m_home->path()));
        QTRY_COMPARE(lastText(2), QStringLiteral("Waiting for fax call ...."));

        // A fax machine whose last page comes malformed beyond use, as a test reaches the
        // simulator: over the bus.
        auto simulator = [this](const char* method, const QVariantList& args) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                m_server->service(), tolvex::kSimulatorPath, tolvex::kSimulatorInterface, method);
            call.setArguments(args);
            return QDBusConnection::sessionBus().call(call);
        };
        const QDBusMessage injected =
            simulator("InjectFault", {kLine2, QStringLiteral("MalformedFaxPages")});
        QVERIFY2(injected.type() != QDBusMessage::ErrorMessage,
                 qPrintable(injected.errorMessage()));
        const QDBusMessage placed = simulator("PlaceCall", {kLine2, QStringLiteral("5550199"), 2,
                                                            1000, QString(), false, QString(), -1});
        QVERIFY2(placed.type() != QDBusMessage::ErrorMessage, qPrintable(placed.errorMessage()));

        // The job ends, and the user is told how and why.
        QTRY_COMPARE_WITH_TIMEOUT(lastText(2), QStringLiteral("Disconnected"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.count(), 1, kWaitMs);
        const QString told = boxes.first().first().toString();
        QVERIFY2(
            told.startsWith(kLine2 + QStringLiteral(" stopped receiving faxes: Disconnected - ")),
            qPrintable(told));
        // The pages that came are kept as an incomplete fax, which is not listed.
        const QStringList kept = faxesIn(folder);
        QCOMPARE(kept.size(), 1);
        QVERIFY2(kept.first().endsWith(QLatin1String("-incomplete.tif")), qPrintable(kept.first()));
        QCOMPARE(fax::inspectTiff(QDir(folder).filePath(kept.first()))->pages, 2);
        QCOMPARE(logged(), QStringList());
        QVERIFY(!QFile::exists(m_printed));
    }

    void aFaxMachineCallingAnAnsweringLineIsReceivedAsAFax()
    {
        // The line answers and greets; the caller is a fax machine, whose calling tone it
        // hears: no message is recorded, the fax is filed and listed.
        LineHandle line = m_server->newLine();
        QVERIFY(line.InitTAPI(kLine2, m_server->gridExport(), 1, m_home->path()));
        QVERIFY(line.setRings(1));
        QVERIFY(line.setPlayType(QStringLiteral("MESS")));
        QVERIFY(line.setPlayMessage(QStringLiteral("Please leave a message after the tone.")));
        QVERIFY(line.setRecordTime(5));
        auto simulator = [this](const char* method, const QVariantList& args) {
            QDBusMessage call = QDBusMessage::createMethodCall(
                m_server->service(), tolvex::kSimulatorPath, tolvex::kSimulatorInterface, method);
            call.setArguments(args);
            return QDBusConnection::sessionBus().call(call);
        };
        QCOMPARE(simulator("InjectFault", {kLine2, QStringLiteral("FaxCaller")}).type(),
                 QDBusMessage::ReplyMessage);
        QCOMPARE(simulator("PlaceCall", {kLine2, QStringLiteral("5550199"), 2, 1000, QString(),
                                         false, QString(), -1})
                     .type(),
                 QDBusMessage::ReplyMessage);
        QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 1, kWaitMs);
        const QString path = logged().first();
        QCOMPARE(QFileInfo(path).absolutePath(),
                 QDir(m_home->filePath(QStringLiteral("Fax-Files"))).absolutePath());
        QCOMPARE(fax::inspectTiff(path)->pages, 3);
        QTRY_COMPARE_WITH_TIMEOUT(lastText(1), QStringLiteral("Waiting for Call .... "), kWaitMs);
        QVERIFY(m_server->grid().history(1, 2).contains(QStringLiteral("Receiving Fax .... ")));
        Database db;
        QVERIFY(db.OpenDatabase(m_home->path()));
        QVERIFY(recmessage::listDay(db, QDate::currentDate())->isEmpty());
        QCOMPARE(faxesIn(m_home->filePath(QStringLiteral("Rec-Files"))), QStringList());
    }

    void aFolderThatCannotBeMadeIsAFatalError()
    {
        // A folder inside a file cannot be created.
        const QString file = m_home->filePath(QStringLiteral("plain-file"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        LineHandle receiver = m_server->newLine();
        QVERIFY(receiver.FnReceiveFax(kLine2, file + QStringLiteral("/faxes"), 3, 2,
                                      &m_server->gridExport(), m_home->path()));
        QTRY_COMPARE(lastText(3), QStringLiteral("Fatal Error"));
        QCOMPARE(m_server->grid().cell(3, 1), kLine2);
    }
};

QTEST_MAIN(TestFaxJobs)
#include "TestFaxJobs.moc"
