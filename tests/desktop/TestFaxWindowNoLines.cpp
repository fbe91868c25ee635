// The fax window on a machine without telephone lines: both line lists hold only the
// placeholder, and OK says why nothing can be sent or received.

#include "DesktopTesting.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/fax/frmFax.h"
#include "desktop/run/DesktopRun.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

using namespace orvane;

class TestFaxWindowNoLines : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("ORVANE_HOME", QFile::encodeName(m_home.path()));
        QVERIFY(programfolder::prepare());
    }

    void onlyThePlaceholderIsOffered()
    {
        test::MessageRecorder messages;
        DesktopRun run;
        frmFax window(run);
        for (const char* name : {"listAddress", "ListAddress1"}) {
            auto* list = window.findChild<QListWidget*>(name);
            QCOMPARE(list->count(), 1);
            QCOMPARE(list->item(0)->text(), QStringLiteral("No Telephony Device Found "));
            QCOMPARE(list->item(0)->data(Qt::UserRole).toInt(), -1);
        }
        auto* ok = window.findChild<QPushButton*>("cmdOkR");
        ok->click(); // nothing chosen: the line comes first
        window.findChild<QListWidget*>("listAddress")->item(0)->setSelected(true);
        window.findChild<QLineEdit*>("txtNum")->setText("2002");
        window.findChild<QLineEdit*>("txtFileSend")->setText("/tmp/letter.txt");
        ok->click();
        window.findChild<QTabWidget*>("SSTab1")->setCurrentIndex(1);
        window.findChild<QListWidget*>("ListAddress1")->item(0)->setSelected(true);
        ok->click();
        QCOMPARE(messages.texts(),
                 QStringList({"Select Device Name", "No Device Found , Cannot Send Fax",
                              "No Device Found , Cannot Receive Fax"}));
    }
};

int main(int argc, char** argv)
{
    qputenv("ORVANE_SIM_LINES", "0");
    QApplication app(argc, argv);
    TestFaxWindowNoLines test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestFaxWindowNoLines.moc"
