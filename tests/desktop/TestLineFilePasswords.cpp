// The line selection window when lines.conf holds passwords that other users can read: the
// user is warned, with the command that mends it, once a run, and the lines are offered.

#include "DesktopTesting.h"
#include "desktop/lines/frmAddress.h"
#include "desktop/run/DesktopRun.h"

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

using namespace orvane;

class TestLineFilePasswords : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theUserIsWarnedOnceWithTheMend()
    {
        test::MessageRecorder messages;
        DesktopRun run;
        for (int opened = 0; opened < 2; ++opened) {
            test::whenModal<frmAddress>(
                [](frmAddress* window) { window->findChild<QPushButton*>("cmdCancel")->click(); });
            frmAddress window(run);
            QCOMPARE(window.PopUp("Device"), QStringLiteral("Cancel"));
            auto* list = window.findChild<QListWidget*>("listAddress");
            QCOMPARE(list->count(), 1);
            QCOMPARE(list->item(0)->text(), QStringLiteral("Front desk"));
        }
        QCOMPARE(messages.shown.size(), 1);
        const MessageRequest& told = messages.shown.first();
        QCOMPARE(told.title, QStringLiteral("Answering Machine"));
        QVERIFY2(told.text.contains("other users of this computer can read it") &&
                     told.text.endsWith("chmod 600 " + qEnvironmentVariable("ORVANE_LINES_CONF")),
                 qPrintable(told.text));
    }
};

int main(int argc, char** argv)
{
    return test::execWithLinesConf<TestLineFilePasswords>(
        argc, argv,
        "[Front desk]\nuri = sip:frontdesk@127.0.0.1\nregistrar = sip:127.0.0.1:9\n"
        "password = s3cret\nport = 5391\n",
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

#include "TestLineFilePasswords.moc"
