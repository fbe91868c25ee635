// The desktop beside standing lines: closing while its own lines answer asks first; the
// Options menu turns the lines answering now into standing lines; the line selection marks
// them and a second binding of one is refused; and the line server the program started goes
// on answering them after the program has ended.

#include "DesktopTesting.h"
#include "desktop/common/AnsweringSettings.h"
#include "desktop/lines/frmAddress.h"
#include "line_server/client/AnsweringConf.h"
#include "line_server/client/TolvexNames.h"

#include <QAction>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>

using namespace orvane;
using test::chooseLines;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");

} // namespace

class TestStandingDesktop : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<DesktopRun> m_run;
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<test::MessageRecorder> m_messages;

    QAction* menu(const char* name) { return m_window->findChild<QAction*>(name); }
    QVariantMap standing(const QString& line)
    {
        const Result<QList<QVariantMap>> lines = m_run->lineServer().client().lineStatus();
        if (lines)
            for (const QVariantMap& l : lines.value())
                if (l.value("line").toString() == line && l.value("standing").toBool())
                    return l;
        return {};
    }

    // Starts `line` answering in the window, then answers Yes to Answer in the Background.
    void answerThenSendToTheBackground(const QString& line)
    {
        chooseLines({line});
        menu("mRStart")->trigger();
        QTRY_COMPARE(m_window->statusGrid()->textMatrix(1, 2),
                     QStringLiteral("Waiting for call ...."));
        m_messages->shown.clear();
        m_messages->answer = QMessageBox::Yes;
        menu("mOBackground")->trigger();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("ORVANE_ANSWERING_CONF", QFile::encodeName(m_home.filePath("answering.conf")));
        m_messages = std::make_unique<test::MessageRecorder>();
        m_window =
            test::startProgram(m_run, m_home.filePath("home"), "org.orvane.Tolvex.Standing", "4");
        QVERIFY(m_window);
    }

    void init() { m_messages->shown.clear(); }

    void closingAsksWhileTheLinesStartedHereAnswer()
    {
        // Nothing answers: the window closes without a word.
        QVERIFY(m_window->close());
        QVERIFY(m_messages->shown.isEmpty());
        m_window->show();

        chooseLines({kLine1});
        menu("mRStart")->trigger();
        QVERIFY(m_window->running());
        m_messages->answer = QMessageBox::No;
        QVERIFY(!m_window->close());
        QVERIFY(m_window->isVisible());
        QCOMPARE(m_messages->shown.size(), 1);
        QVERIFY2(m_messages->shown.first().text.startsWith(kLine1 + " stop answering"),
                 qPrintable(m_messages->shown.first().text));
        m_messages->answer = QMessageBox::Yes;
        QVERIFY(m_window->close());
        m_window->show();
        m_window->stop(false);
    }

    void aFileThatCannotBeWrittenLeavesTheLinesAnsweringHere()
    {
        // answering.conf in a "folder" that is a file: it cannot be written, and the lines
        // must not be let go for a server that will never take them over.
        const QByteArray usual = qgetenv("ORVANE_ANSWERING_CONF");
        const QString blocker = m_home.filePath("blocker");
        QVERIFY(QFile(blocker).open(QIODevice::WriteOnly));
        qputenv("ORVANE_ANSWERING_CONF", QFile::encodeName(blocker + "/answering.conf"));
        const auto restore = qScopeGuard([&] { qputenv("ORVANE_ANSWERING_CONF", usual); });
        answerThenSendToTheBackground(kLine1);
        QVERIFY(m_window->running());
        QCOMPARE(m_window->statusGrid()->textMatrix(1, 1), kLine1);
        QVERIFY2(m_messages->texts().last().startsWith("Cannot"),
                 qPrintable(m_messages->texts().join(" | ")));
        QVERIFY(!standing(kLine1).value("standing").toBool());
        m_window->stop(false);
    }

    void theLinesAnsweringNowBecomeStandingLines()
    {
        // With nothing answering there is nothing to turn into standing lines.
        menu("mOBackground")->trigger();
        QCOMPARE(m_messages->shown.size(), 1);
        QVERIFY(m_messages->shown.first().text.startsWith("Start answering on the lines first"));
        QVERIFY(!answering::readAnsweringFile()->lines.size());

        AnsweringSettings.Rings = 2;
        AnsweringSettings.RecordTime = 7;
        answerThenSendToTheBackground(kLine2);
        QVERIFY(!m_window->running()); // the window let go of the line
        const Result<answering::AnsweringFile> file = answering::readAnsweringFile();
        QVERIFY(file.isOk());
        QCOMPARE(file->lines.size(), 1);
        QCOMPARE(file->lines.first().line, kLine2);
        QCOMPARE(file->lines.first().rings, 2);
        QCOMPARE(file->lines.first().recordTime, 7);
        QTRY_COMPARE(standing(kLine2).value("status").toString(),
                     QStringLiteral("Waiting for call ...."));
        QVERIFY(m_messages->texts().last().contains("now answer in the background"));
        // The grid tells of it beside the window's own lines, and follows its status.
        QTRY_COMPARE(m_window->statusGrid()->toolTip(),
                     QStringLiteral("Answering in the background:\nSimulated Line 2: Waiting "
                                    "for call ...."));
    }

    void theSelectionMarksStandingLinesAndTheServerRefusesThem()
    {
        test::whenModal<frmAddress>([](frmAddress* window) {
            auto* list = window->findChild<QListWidget*>("listAddress");
            const QListWidgetItem* two = list->findItems(kLine2, Qt::MatchExactly).value(0);
            const QListWidgetItem* one = list->findItems(kLine1, Qt::MatchExactly).value(0);
            QVERIFY(two && one);
            QVERIFY(two->font().italic());
            QVERIFY(two->toolTip().contains("background"));
            QVERIFY(!one->font().italic());
            QVERIFY(one->toolTip().isEmpty());
            for (int i = 0; i < list->count(); ++i)
                list->item(i)->setSelected(list->item(i)->text() == kLine2);
            window->findChild<QPushButton*>("cmdOk")->click();
        });
        menu("mRStart")->trigger();
        // The line stays the standing line's; the window's row says it failed, and why.
        QTRY_VERIFY(m_messages->texts().join("\n").contains("already answers"));
        QVERIFY(!standing(kLine2).isEmpty());
        m_window->stop(false);
    }

    void theGridFollowsAStandingLineThroughACall()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            m_run->lineServer().client().service(), tolvex::kSimulatorPath,
            tolvex::kSimulatorInterface, QStringLiteral("PlaceCall"));
        call.setArguments(
            {kLine2, QStringLiteral("5550100"), 2, 100, QString(), true, QString(), -1});
        QCOMPARE(QDBusConnection::sessionBus().call(call).type(), QDBusMessage::ReplyMessage);
        QTRY_VERIFY(m_window->statusGrid()->toolTip().contains("Simulated Line 2: Recording File"));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_window->statusGrid()->toolTip().contains("Simulated Line 2: Waiting for Call"),
            60000);
    }

    void theLineServerGoesOnAfterTheProgramEnds()
    {
        const QString service = m_run->lineServer().client().service();
        m_window.reset();
        m_run.reset();
        // Still answering its standing line, with no program around.
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        QVERIFY(bus->isServiceRegistered(service).value());
        TolvexClient client(QDBusConnection::sessionBus(), service);
        const Result<QList<QVariantMap>> lines = client.lineStatus();
        QVERIFY(lines.isOk());
        QCOMPARE(lines->size(), 1);
        QVERIFY(lines->first().value("standing").toBool());
        // The test ends it.
        const uint pid = bus->servicePid(service).value();
        QVERIFY(pid > 0);
        QVERIFY(::kill(pid_t(pid), SIGTERM) == 0);
        QTRY_VERIFY_WITH_TIMEOUT(!bus->isServiceRegistered(service).value(), 30000);
    }
};

QTEST_MAIN(TestStandingDesktop)
#include "TestStandingDesktop.moc"
