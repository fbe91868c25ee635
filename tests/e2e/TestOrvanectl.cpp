// orvanectl against a line server of its own: every command, in text and JSON, and its exit
// codes, as a script would use them.

#include "ServerProcess.h"

#include "line_server/client/AnsweringConf.h"
#include "line_server/client/TolvexNames.h"
#include "platform/telephony/TapiConstants.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace orvane;

namespace {

constexpr int kWaitMs = 120000;
const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");

struct Run {
    int code = -1;
    QString out, err;
    QJsonDocument json() const { return QJsonDocument::fromJson(out.toUtf8()); }
};

} // namespace

class TestOrvanectl : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<test::ServerProcess> m_server;

    QString home() const { return m_dir.filePath("home"); }
    QString journal() const { return m_dir.filePath("journal.log"); }
    QString service() const
    {
        return QStringLiteral("org.orvane.Tolvex.Ctl%1").arg(QCoreApplication::applicationPid());
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVANE_ANSWERING_CONF", m_dir.filePath("answering.conf"));
        env.insert("ORVANE_HOME", home());
        return env;
    }

    QProcess* start(const QStringList& args)
    {
        auto* p = new QProcess(this);
        p->setProcessEnvironment(environment());
        p->start(qEnvironmentVariable("ORVANE_ORVANECTL"), QStringList(args)
                                                               << "--service" << service());
        return p;
    }

    Run ctl(const QStringList& args, int timeoutMs = kWaitMs)
    {
        QProcess* p = start(args);
        Run run;
        if (p->waitForFinished(timeoutMs) && p->exitStatus() == QProcess::NormalExit)
            run.code = p->exitCode();
        run.out = QString::fromUtf8(p->readAllStandardOutput());
        run.err = QString::fromUtf8(p->readAllStandardError());
        delete p;
        return run;
    }

    QVariant simulator(const QString& method, const QVariantList& args)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(service(), tolvex::kSimulatorPath,
                                                        tolvex::kSimulatorInterface, method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m).arguments().value(0);
    }
    bool ended(quint64 id)
    {
        return qdbus_cast<QVariantMap>(simulator("CallInfo", {QVariant::fromValue(id)}))
                   .value("state")
                   .toInt() == tapi::CS_DISCONNECTED;
    }

    QJsonObject lineIn(const Run& status, const QString& line)
    {
        for (const QJsonValue& v : status.json().array())
            if (v.toObject().value("line").toString() == line)
                return v.toObject();
        return {};
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir().mkpath(home()));
        qputenv("ORVANE_ANSWERING_CONF", QFile::encodeName(m_dir.filePath("answering.conf")));
    }

    void cleanupTestCase() { m_server.reset(); }

    void withNoServerItSaysSo()
    {
        const Run text = ctl({"status"});
        QCOMPARE(text.code, 3);
        QVERIFY2(text.err.contains("is not running"), qPrintable(text.err));
        QCOMPARE(ctl({"status", "--json"}).code, 3);
        QCOMPARE(ctl({"watch"}).code, 3);
        // What needs no server works without one.
        const Run lines = ctl({"lines", "--json"});
        QCOMPARE(lines.code, 0);
        QVERIFY(lines.json().array().contains(kLine1));
        QVERIFY(ctl({"lines"}).out.contains(kLine2));
        const Run calls = ctl({"calls", "--json"});
        QCOMPARE(calls.code, 0);
        QCOMPARE(calls.json().array().size(), 0);
        // A standing line can be set while no server runs; it answers when one starts.
        const Run answered = ctl(
            {"answer", kLine1, "--rings", "1", "--message", "Hello there.", "--record-time", "1"});
        QCOMPARE(answered.code, 0);
        QVERIFY2(answered.out.contains("not running"), qPrintable(answered.out));
    }

    void wrongCommandLinesAreUsageErrors()
    {
        QCOMPARE(ctl({}).code, 2);
        QCOMPARE(ctl({"frobnicate"}).code, 2);
        const Run rings = ctl({"answer", kLine1, "--rings", "20"});
        QCOMPARE(rings.code, 2);
        QVERIFY2(rings.err.contains("1 to 15"), qPrintable(rings.err));
        QVERIFY2(!rings.err.contains("line "), qPrintable(rings.err));
        QCOMPARE(ctl({"answer", "No Such Line"}).code, 1);
        QCOMPARE(ctl({"calls", "--date", "yesterday"}).code, 2);
        QCOMPARE(ctl({"play", "x"}).code, 2);
        QCOMPARE(ctl({"fax", "send", "2002"}).code, 2);
        // The standing line set before is untouched by the refusals.
        const Result<answering::AnsweringFile> file = answering::readAnsweringFile();
        QVERIFY(file.isOk());
        QCOMPARE(file->lines.size(), 1);
        QCOMPARE(file->lines.first().rings, 1);
    }

    void aServerAnswersAndTheCallsAreListedCopiedAndDeleted()
    {
        QProcessEnvironment env;
        env.insert("ORVANE_ANSWERING_CONF", m_dir.filePath("answering.conf"));
        env.insert("ORVANE_HOME", home());
        env.remove("QT_LOGGING_RULES");
        m_server = std::make_unique<test::ServerProcess>(service(), env, QStringList(), journal());
        QVERIFY(m_server->onTheBus());
        // Named as itself in ps, pgrep and the journal, also after starting itself again.
        QFile comm(QStringLiteral("/proc/%1/comm").arg(m_server->pid()));
        QVERIFY(comm.open(QIODevice::ReadOnly));
        QCOMPARE(comm.readAll().trimmed(), QByteArray("tolvex"));
        QTRY_COMPARE_WITH_TIMEOUT(
            lineIn(ctl({"status", "--json"}), kLine1).value("status").toString(),
            QStringLiteral("Waiting for call ...."), kWaitMs);
        QVERIFY(lineIn(ctl({"status", "--json"}), kLine1).value("standing").toBool());
        QVERIFY(ctl({"status"}).out.contains("Waiting for call ....  "));

        // watch sees the call go through its states, and then the call logged.
        QProcess* logged = start({"watch", "--json"});
        QProcess* watch = start({"watch", "--json", "--count", "3"});
        // Subscribed once it has shown how the lines are now.
        while (!watch->canReadLine())
            QVERIFY(watch->waitForReadyRead(kWaitMs));
        const QJsonObject now = QJsonDocument::fromJson(watch->readLine()).object();
        QVERIFY(now.value("current").toBool());
        const int current = ctl({"status", "--json"}).json().array().size();
        for (int i = 1; i < current; ++i) {
            while (!watch->canReadLine())
                QVERIFY(watch->waitForReadyRead(kWaitMs));
            QVERIFY(QJsonDocument::fromJson(watch->readLine()).object().value("current").toBool());
        }
        // The other watch is subscribed too once it has said anything.
        while (!logged->canReadLine())
            QVERIFY(logged->waitForReadyRead(kWaitMs));
        const quint64 id = simulator("PlaceCall", {kLine1, QStringLiteral("5550100"), 2, 200,
                                                   QString(), true, QString(), -1})
                               .toULongLong();
        QVERIFY(watch->waitForFinished(kWaitMs));
        QCOMPARE(watch->exitCode(), 0);
        const QList<QByteArray> events = watch->readAllStandardOutput().trimmed().split('\n');
        QCOMPARE(events.size(), 3);
        const QJsonObject first = QJsonDocument::fromJson(events.first()).object();
        QCOMPARE(first.value("line").toString(), kLine1);
        QVERIFY2(first.value("status").toString().startsWith("Incoming Call "),
                 events.first().constData());
        delete watch;
        QJsonObject message;
        while (message.isEmpty()) {
            while (!logged->canReadLine())
                QVERIFY(logged->waitForReadyRead(kWaitMs));
            const QJsonObject event = QJsonDocument::fromJson(logged->readLine()).object();
            if (event.value("event").toString() == "message")
                message = event;
        }
        logged->kill();
        logged->waitForFinished(kWaitMs);
        delete logged;
        QCOMPARE(message.value("caller").toString(), QStringLiteral("5550100"));
        QCOMPARE(message.value("line").toString(), kLine1);
        QCOMPARE(message.value("seconds").toInt(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(ended(id) && ctl({"calls", "--json"}).json().array().size() == 1,
                                 kWaitMs);

        const QJsonObject call = ctl({"calls", "--json"}).json().array().first().toObject();
        QCOMPARE(call.value("file").toString(), message.value("file").toString());
        QCOMPARE(call.value("caller").toString(), QStringLiteral("5550100"));
        QVERIFY(!call.value("heard").toBool());
        QCOMPARE(call.value("n").toInt(), 1);
        QCOMPARE(call.value("seconds").toDouble(), 1.0);
        QVERIFY(ctl({"calls"}).out.contains(call.value("file").toString()));
        const QString copy = m_dir.filePath("copy.wav");
        QCOMPARE(ctl({"export", "1", copy}).code, 0);
        QFile original(call.value("path").toString());
        QVERIFY(original.open(QIODevice::ReadOnly));
        QFile copied(copy);
        QVERIFY(copied.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), original.readAll());
        QCOMPARE(ctl({"export", "1", copy}).code, 1); // never over a file
        QCOMPARE(ctl({"play", "2"}).code, 1);         // no such call
        QCOMPARE(ctl({"calls", "--json", "--date", "2001-01-01"}).json().array().size(), 0);
        QCOMPARE(ctl({"delete", "1"}).code, 0);
        QVERIFY(!QFile::exists(call.value("path").toString()));
        QCOMPARE(ctl({"calls", "--json"}).json().array().size(), 0);
        QCOMPARE(ctl({"delete", "1"}).code, 1);

        // Run as a service, the server's journal holds a line for the call, with the
        // priority of a notice, and no details.
        QFile log(journal());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray said = log.readAll();
        QVERIFY2(said.contains("<6>orvane.line: " + kLine1.toUtf8() +
                               " recorded a call from 5550100 (1 s): " +
                               call.value("file").toString().toUtf8() + '\n'),
                 said.constData());
        for (const QByteArray& line : said.split('\n'))
            QVERIFY2(line.isEmpty() || (line.startsWith('<') && !line.startsWith("<7>")),
                     line.constData());
    }

    void aFaxIsSentAndReceivedThroughStandingLines()
    {
        QVERIFY(m_server);
        const QString faxes = m_dir.filePath("faxes");
        QVERIFY(QDir().mkpath(faxes));
        QCOMPARE(ctl({"answer", kLine2, "--fax-folder", faxes}).code, 0);
        QTRY_COMPARE_WITH_TIMEOUT(
            lineIn(ctl({"status", "--json"}), kLine2).value("status").toString(),
            QStringLiteral("Waiting for fax call ...."), kWaitMs);
        const QString document = m_dir.filePath("letter.txt");
        QFile letter(document);
        QVERIFY(letter.open(QIODevice::WriteOnly));
        letter.write("Dear line two,\nthis is a fax.\n");
        letter.close();
        const Run sent = ctl({"fax", "send", "2002", document, "--line", kLine1, "--json"});
        QCOMPARE(sent.code, 0);
        QCOMPARE(sent.json().object().value("status").toString(), QStringLiteral("Completed"));
        // How it went: the answering line heard the fax machine and asked for T.38.
        const QJsonObject how = sent.json().object().value("how").toObject();
        QCOMPARE(how.value("transport").toString(), QStringLiteral("t38"));
        QVERIFY(how.value("switched").toBool());
        QCOMPARE(how.value("pages").toInt(), 1);
        QCOMPARE(how.value("bitRate").toInt(), 14400);
        QVERIFY(how.value("ecm").toBool());
        QVERIFY2(
            sent.json().object().value("outcome").toString().startsWith(
                "Sent as T.38 (switched from audio) at 14400 bit/s: 1 page, error correction on"),
            qPrintable(sent.out));
        QTRY_COMPARE_WITH_TIMEOUT(ctl({"fax", "list", "--json"}).json().array().size(), 1, kWaitMs);
        QVERIFY(ctl({"fax", "list", "--json"})
                    .json()
                    .array()
                    .first()
                    .toObject()
                    .value("exists")
                    .toBool());

        // A number nobody has: the outcome and exit 1.
        const Run refused = ctl({"fax", "send", "9999", document, "--line", kLine1});
        QCOMPARE(refused.code, 1);
        QVERIFY2(refused.out.contains("was not sent"), qPrintable(refused.out));
    }

    void stoppingAStandingLine()
    {
        QCOMPARE(ctl({"stop", kLine2}).code, 0);
        QCOMPARE(ctl({"stop", kLine2}).code, 1);
        QTRY_VERIFY_WITH_TIMEOUT(lineIn(ctl({"status", "--json"}), kLine2).isEmpty(), kWaitMs);
        QVERIFY(!lineIn(ctl({"status", "--json"}), kLine1).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestOrvanectl)
#include "TestOrvanectl.moc"
