// A SIP line with a registrar: it registers with digest authentication when it starts, and
// registers again before the registration the registrar granted runs out. The registrar is
// sipp, challenging the first REGISTER and granting 2 seconds.

#include "SipCaller.h"
#include "TestServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {

const char* const kRegistrar = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="registrar">
<recv request="REGISTER"/>
<send><![CDATA[
SIP/2.0 401 Unauthorized
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
WWW-Authenticate: Digest realm="orvane.test", nonce="5f3a9c1e", algorithm=MD5
Content-Length: 0
]]></send>
<recv request="REGISTER">
  <action><verifyauth assign_to="authorized" username="frontdesk" password="s3cret"/></action>
</recv>
<nop hide="true" test="authorized" next="granted"/>
<recv request="NOTHING" timeout="100"/>
<label id="granted"/>
<send><![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Contact: <sip:frontdesk@127.0.0.1:LINEPORT>;expires=2
Expires: 2
Content-Length: 0
]]></send>
<recv request="REGISTER" timeout="15000"/>
<send><![CDATA[
SIP/2.0 401 Unauthorized
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
WWW-Authenticate: Digest realm="orvane.test", nonce="77aa01bc", algorithm=MD5
Content-Length: 0
]]></send>
<recv request="REGISTER">
  <action><verifyauth assign_to="again" username="frontdesk" password="s3cret"/></action>
</recv>
<nop hide="true" test="again" next="renewed"/>
<recv request="NOTHING" timeout="100"/>
<label id="renewed"/>
<send><![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Contact: <sip:frontdesk@127.0.0.1:LINEPORT>;expires=600
Expires: 600
Content-Length: 0
]]></send>
</scenario>
)";

} // namespace

class TestSipRegistration : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aLineRegistersWithDigestAndRenewsBeforeItRunsOut()
    {
        QTemporaryDir dir;
        dir.setAutoRemove(qEnvironmentVariableIsEmpty("ORVANE_TEST_KEEP"));
        const quint16 registrarPort = test::freeUdpPort();
        const quint16 linePort = test::freeUdpPort();
        QFile scenario(dir.filePath("registrar.xml"));
        QVERIFY(scenario.open(QIODevice::WriteOnly));
        scenario.write(QByteArray(kRegistrar).replace("LINEPORT", QByteArray::number(linePort)));
        scenario.close();
        QFile conf(dir.filePath("lines.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[Front desk]\nuri = sip:frontdesk@127.0.0.1\n"
                                  "registrar = sip:127.0.0.1:%1\npassword = s3cret\n"
                                  "port = %2\naddress = 127.0.0.1\nexpires = 60\n")
                       .arg(registrarPort)
                       .arg(linePort)
                       .toUtf8());
        conf.close();
        qputenv("ORVANE_LINES_CONF", QFile::encodeName(conf.fileName()));

        QProcess registrar;
        registrar.setWorkingDirectory(dir.path());
        registrar.setProcessChannelMode(QProcess::MergedChannels);
        registrar.start("sipp", {"-sf", scenario.fileName(), "-i", "127.0.0.1", "-p",
                                 QString::number(registrarPort), "-m", "1", "-nostdin", "-timeout",
                                 "30s", "-trace_err", "-trace_msg"});
        QVERIFY(registrar.waitForStarted());

        test::TestServer server;
        QVERIFY(server.isRunning());
        LineHandle line = server.newLine();
        QVERIFY(line.InitTAPI("Front desk", server.gridExport(), 1, dir.path()));
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));

        QVERIFY(registrar.waitForFinished(30000));
        QVERIFY2(registrar.exitCode() == 0, registrar.readAll().constData());
    }
};

QTEST_GUILESS_MAIN(TestSipRegistration)
#include "TestSipRegistration.moc"
