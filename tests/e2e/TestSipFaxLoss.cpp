// Faxes over SIP on a network that loses packets: two lines of ours in a network namespace
// of the test's own, whose loopback drops 2 % of the media datagrams at random. The
// receiving line asks for T.38, and the page comes through on the datagrams' redundancy;
// carried as audio, the same loss breaks fax modems (bench_sip_fax_loss shows both).

#include "LossyLoopback.h"
#include "Signals.h"
#include "SipCaller.h"
#include "platform/fax/FaxMachine.h"
#include "platform/fax/TiffFax.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;
using namespace orvane::fax;

namespace {
QString g_noNamespace; // why the test cannot run here; empty when it can
} // namespace

class TestSipFaxLoss : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        if (!g_noNamespace.isEmpty())
            QSKIP(qPrintable(g_noNamespace));
        QString why;
        if (!test::setLoopbackLoss(2, &why))
            QSKIP(qPrintable(QStringLiteral("no packet loss can be set: ") + why));
        const quint16 out = test::freeUdpPort(), in = test::freeUdpPort();
        QVERIFY(test::useLinesFile(m_dir.filePath(QStringLiteral("lines.conf")),
                                   QStringLiteral("[Fax Out]\nuri = sip:2001@127.0.0.1:%1\n"
                                                  "port = %2\naddress = 127.0.0.1\n\n"
                                                  "[Fax In]\nuri = sip:2002@127.0.0.1:%1\n"
                                                  "port = %1\naddress = 127.0.0.1\n")
                                       .arg(in)
                                       .arg(out)));
    }

    void aFaxComesThroughLossAsT38()
    {
        const QString document = m_dir.filePath(QStringLiteral("letter.txt"));
        QVERIFY(test::writeFile(document, "Two in a hundred packets are lost on the way.\n"
                                          "The page arrives all the same.\n"));
        const QString folder = m_dir.filePath(QStringLiteral("in"));
        FaxMachine receiver;
        receiver.chooseLine(QStringLiteral("Fax In"));
        QVERIFY(receiver.receive(folder, 2));
        FaxMachine sender;
        sender.chooseLine(QStringLiteral("Fax Out"));
        QSignalSpy sent(&sender, &FaxMachine::finished);
        QSignalSpy received(&receiver, &FaxMachine::finished);
        QVERIFY(sender.send(QStringLiteral("2002"), document, QString()));
        QTRY_VERIFY_WITH_TIMEOUT(sent.count() == 1 && received.count() == 1, 150000);
        QCOMPARE(sender.status(), QStringLiteral("Completed"));
        QCOMPARE(receiver.status(), QStringLiteral("Completed"));
        QVERIFY(sender.lastProgress().t38);
        QCOMPARE(inspectTiff(QDir(folder).filePath(receiver.receivedFile()))->pages, 1);
    }
};

int main(int argc, char** argv)
{
    // Before any thread starts: they all live in the namespace.
    g_noNamespace = test::enterLossyLoopback();
    QCoreApplication app(argc, argv);
    TestSipFaxLoss test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSipFaxLoss.moc"
