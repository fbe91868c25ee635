#pragma once

// Driving the desktop's windows in tests: the messages they show (recorded, answered as the
// test says), and the modal windows they open (acted on once they are up).

#include "desktop/common/MSFlexGrid.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/lines/frmAddress.h"
#include "desktop/main/frmMain.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/LineServer.h"
#include "line_server/client/TolvexNames.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

namespace orvane::test {

class MessageRecorder {
public:
    MessageRecorder()
    {
        Messages::setHandler([this](const MessageRequest& r) {
            shown.append(r);
            if (whileShown)
                std::exchange(whileShown, {})();
            return answer;
        });
    }
    ~MessageRecorder() { Messages::setHandler({}); }
    QStringList texts() const
    {
        QStringList t;
        for (const MessageRequest& r : shown)
            t << r.text;
        return t;
    }
    QList<MessageRequest> shown;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    // What happens while the next message is on the screen (once).
    std::function<void()> whileShown;
};

// A real click on a data row of a grid (shown, as the user sees it).
inline void clickRow(MSFlexGrid* grid, int row)
{
    const QRect cell = grid->cellRect(row, 1);
    QVERIFY(cell.isValid());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
}

// Runs `act` on the next modal window that opens (of type T), from the event loop that the
// window's exec() runs.
template <typename T>
void whenModal(std::function<void(T*)> act)
{
    auto* timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("whenModal"));
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(window);
        }
    });
    timer->start();
}

// Selects the named lines of the line selection window when it opens, and presses OK.
// A call of the line server's simulator (PlaceCall, HangUp...), answered.
inline QDBusMessage simulator(const char* method, const QVariantList& args)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        tolvex::serviceName(), tolvex::kSimulatorPath, tolvex::kSimulatorInterface, method);
    call.setArguments(args);
    return QDBusConnection::sessionBus().call(call);
}

inline void chooseLines(const QStringList& names)
{
    whenModal<frmAddress>([names](frmAddress* window) {
        auto* list = window->findChild<QListWidget*>("listAddress");
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setSelected(names.contains(list->item(i)->text()));
        window->findChild<QPushButton*>("cmdOk")->click();
    });
}

// Drops the watches whose window never opened, so that they cannot act on a later test's.
inline void forgetModalWatches()
{
    const QList<QTimer*> watches = qApp->findChildren<QTimer*>(QStringLiteral("whenModal"));
    qDeleteAll(watches);
}

// The program as a user starts it, on a program folder, a line-server name (`serviceStem`
// and this process's id) and a simulated speed of its own, which the line server it starts
// inherits. Makes `run` once the environment it reads is set, and returns the shown main
// window once its line server is on the bus, else null. The window must go before the run.
inline std::unique_ptr<frmMain> startProgram(std::unique_ptr<DesktopRun>& run, const QString& home,
                                             const char* serviceStem, const char* simSpeed)
{
    qputenv("ORVANE_HOME", QFile::encodeName(home));
    qputenv("ORVANE_SIM_SPEED", simSpeed);
    qputenv("ORVANE_TOLVEX_SERVICE",
            QByteArray(serviceStem) + QByteArray::number(QCoreApplication::applicationPid()));
    if (!programfolder::prepare())
        return nullptr;
    run = std::make_unique<DesktopRun>();
    auto window = std::make_unique<frmMain>(*run);
    window->show();
    run->lineServer().launch();
    if (!QTest::qWaitFor([&] { return run->lineServer().running(); }, 10000))
        return nullptr;
    return window;
}

// Runs the test object `T` in an application whose lines.conf (with `permissions`) holds
// `text`: the file is read once per process, before any window lists the lines.
template <typename T>
int execWithLinesConf(int argc, char** argv, const QByteArray& text,
                      QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner)
{
    QTemporaryDir dir;
    const QString conf = dir.filePath("lines.conf");
    QFile file(conf);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return 1;
    file.close();
    file.setPermissions(permissions);
    qputenv("ORVANE_LINES_CONF", QFile::encodeName(conf));
    qputenv("ORVANE_HOME", QFile::encodeName(dir.filePath("home")));
    QApplication app(argc, argv);
    T test;
    return QTest::qExec(&test, argc, argv);
}

} // namespace orvane::test
