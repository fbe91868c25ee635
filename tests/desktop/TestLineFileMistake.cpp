// The line selection window when lines.conf has a mistake: the user is told where it is,
// and no line is offered in place of the ones meant.

#include "DesktopTesting.h"
#include "desktop/lines/frmAddress.h"
#include "desktop/run/DesktopRun.h"

#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

using namespace orvane;

class TestLineFileMistake : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theMistakeIsShownWithItsLine()
    {
        test::MessageRecorder messages;
        test::whenModal<frmAddress>(
            [](frmAddress* window) { window->findChild<QPushButton*>("cmdCancel")->click(); });
        DesktopRun run;
        frmAddress window(run);
        QCOMPARE(window.PopUp("Device"), QStringLiteral("Cancel"));
        QCOMPARE(messages.texts(), QStringList({"Error initializing IVR."}));
        const MessageRequest& told = messages.shown.first();
        QCOMPARE(told.title, QStringLiteral("Answering Machine"));
        QVERIFY2(told.details.contains("lines.conf, line 3") && told.details.contains("colour"),
                 qPrintable(told.details));
        auto* list = window.findChild<QListWidget*>("listAddress");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("No Telephony Device Found "));
    }
};

int main(int argc, char** argv)
{
    return test::execWithLinesConf<TestLineFileMistake>(
        argc, argv, "[Front desk]\nuri = sip:frontdesk@127.0.0.1\ncolour = blue\n");
}

#include "TestLineFileMistake.moc"
