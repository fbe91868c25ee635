// orvane-demo: the answering machine and the fax machine end to end on simulated lines,
// without a desktop. It starts the line server (unless one runs), binds two lines with a
// spoken greeting, places one call on each whose caller says a sentence, then faxes a
// letter from the first line to the second; it prints every status text as the lines
// write it, and ends with the logged calls (files, durations) and the received fax.

#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"
#include "database/RecordingRemoval.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/StatusGridExport.h"
#include "line_server/client/TolvexNames.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/G711.h"
#include "platform/fax/TiffFax.h"
#include "platform/speech/Speech.h"
#include "platform/wav/WavFile.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

using namespace orvane;

namespace {

const QStringList kLines{QStringLiteral("Simulated Line 1"), QStringLiteral("Simulated Line 2")};
const QString kGreeting = QStringLiteral(
    "Hello. You have reached the Orvane answering machine. Please leave a message after the tone.");
const QStringList kCallers{QStringLiteral("Hi, this is Anna. Please call me back about Friday."),
                           QStringLiteral("Hello, it is Ben from the garage. Your car is ready.")};

void say(const QString& text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

// Prints each line's status texts as they arrive.
class PrintingGrid : public StatusGridSink {
public:
    explicit PrintingGrid(QElapsedTimer& clock)
        : m_clock(clock)
    {}
    void setRow(int) override {}
    void setTextMatrix(int row, int column, const QString& text) override
    {
        if (column == 1)
            m_names[row] = text;
        if (column != 2)
            return;
        // Fax jobs report their status every second; only changes are news.
        if (m_status.value(row) == text)
            return;
        m_status[row] = text;
        say(QStringLiteral("%1s  %2: %3")
                .arg(m_clock.elapsed() / 1000.0, 5, 'f', 1)
                .arg(m_names.value(row, QStringLiteral("row %1").arg(row)), text));
    }
    QString status(int row) const { return m_status.value(row); }

private:
    QElapsedTimer& m_clock;
    QHash<int, QString> m_names;
    QHash<int, QString> m_status;
};

// A caller's sentence as a WAV file.
bool writeSentence(const QString& path, const QString& text, int voice)
{
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return false;
    CaptureAudioOutput out(8000);
    if (!speech.value()->speak(text, {voice, 0, 90}, out))
        return false;
    QByteArray ulaw(out.samples().size(), Qt::Uninitialized);
    g711::encodeUlaw(out.samples().constData(), reinterpret_cast<quint8*>(ulaw.data()),
                     out.samples().size());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wav::muLawFile(ulaw)) > 0 && file.commit();
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// A receive job on the second line, a send job on the first to the second's number (2002);
// returns when the send job has told its end (test2) and the fax is logged.
bool sendLetter(TolvexClient& client, StatusGridExport& gridExport, const PrintingGrid& grid,
                const QString& home, const QString& faxFolder)
{
    const QString letter = QDir(home).filePath(QStringLiteral("letter.txt"));
    QSaveFile file(letter);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write("Dear Anna,\n\nFriday suits me. See you at ten.\n\nBen\n") < 0 || !file.commit())
        return false;
    Result<LineHandle> receiver = client.createLine();
    Result<LineHandle> sender = client.createLine();
    if (!receiver || !sender)
        return false;
    if (!receiver->FnReceiveFax(kLines[1], faxFolder, 2, 2, &gridExport, home))
        return false;
    waitFor([&] { return grid.status(2) == QLatin1String("Waiting for fax call ...."); }, 10000);
    bool ended = false;
    QObject::connect(sender->events(), &LineEvents::test2, [&] { ended = true; });
    if (!sender->FnSendFax(QStringLiteral("2002"), letter, QString(), kLines[0], &gridExport))
        return false;
    if (!waitFor([&] { return ended; }, 180000)) {
        say(QStringLiteral("The fax did not finish in time."));
        return false;
    }
    // The receiving line files the fax and waits for the next one.
    waitFor([&] { return grid.status(2) == QLatin1String("Waiting for fax call ...."); }, 15000);
    return grid.status(1) == QLatin1String("Completed");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QElapsedTimer clock;
    clock.start();

    QString home = qEnvironmentVariable("ORVANE_HOME");
    if (home.isEmpty())
        home = QDir::temp().filePath(
            QStringLiteral("orvane-demo-%1").arg(QCoreApplication::applicationPid()));
    QDir().mkpath(home);
    say(QStringLiteral("Program folder: %1").arg(home));

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        say(QStringLiteral("No session bus. Run me with dbus-run-session (scripts/demo does)."));
        return 1;
    }
    TolvexClient client(bus);
    QProcess server;
    if (!client.serverRunning()) {
        const QString tolvex = QDir(QCoreApplication::applicationDirPath()).filePath("tolvex");
        server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server.start(tolvex, {});
        if (!waitFor([&] { return client.serverRunning(); }, 10000)) {
            say(QStringLiteral("The line server did not start (%1).").arg(tolvex));
            return 1;
        }
    }

    PrintingGrid grid(clock);
    StatusGridExport gridExport(grid, bus);
    if (!gridExport.publish()) {
        say(QStringLiteral("Cannot export the status grid."));
        return 1;
    }

    QList<LineHandle> lines;
    for (int i = 0; i < kLines.size(); ++i) {
        Result<LineHandle> line = client.createLine();
        if (!line) {
            say(QStringLiteral("Cannot create a line: %1").arg(line.status().toString()));
            return 1;
        }
        line->InitTAPI(kLines[i], gridExport, qint16(i + 1), home);
        line->setVoice(0);
        line->setRate(0);
        line->setVolume(80);
        line->setRings(2);
        line->setPlayType(QStringLiteral("MESS"));
        line->setPlayFile(QString());
        line->setPlayMessage(kGreeting);
        line->setRecordTime(5);
        if (line->getMessage().value() != QLatin1String("NOERROR")) {
            say(QStringLiteral("%1 could not be bound.").arg(kLines[i]));
            return 1;
        }
        lines.append(line.value());
    }

    // The lines report "Waiting for call ...." before any caller rings.
    waitFor(
        [&] { return grid.status(int(kLines.size())) == QLatin1String("Waiting for call ...."); },
        10000);
    for (int i = 0; i < kLines.size(); ++i) {
        const QString sentence = QDir(home).filePath(QStringLiteral("caller-%1.wav").arg(i + 1));
        if (!writeSentence(sentence, kCallers[i], 0)) {
            say(QStringLiteral("Cannot make the caller's sentence."));
            return 1;
        }
        QDBusMessage place = QDBusMessage::createMethodCall(
            client.service(), tolvex::kSimulatorPath, tolvex::kSimulatorInterface,
            QStringLiteral("PlaceCall"));
        place << kLines[i] << QStringLiteral("55501%1").arg(i + 10) << 4 << 1500 << sentence << true
              << QDir(home).filePath(QStringLiteral("heard-%1.wav").arg(i + 1)) << -1;
        const QDBusMessage reply = bus.call(place);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            say(QStringLiteral("Cannot place a call: %1").arg(reply.errorMessage()));
            return 1;
        }
        say(QStringLiteral("%1s  calling %2")
                .arg(clock.elapsed() / 1000.0, 5, 'f', 1)
                .arg(kLines[i]));
    }

    // Each line is done when it has hung up and returned to waiting.
    const bool done = waitFor(
        [&] {
            for (int row = 1; row <= kLines.size(); ++row)
                if (grid.status(row) != QLatin1String("Waiting for Call .... "))
                    return false;
            return true;
        },
        120000);
    if (!done)
        say(QStringLiteral("The calls did not finish in time."));

    lines.clear();

    // The fax machine: the second line waits for faxes, the first sends it a letter.
    const QString faxFolder = QDir(home).filePath(QStringLiteral("Faxes"));
    const bool faxed = done && sendLetter(client, gridExport, grid, home, faxFolder);

    Database db;
    Result<QList<recmessage::CallRow>> logged = Status(err::Fail, QString());
    if (Status s = db.OpenDatabase(home); s)
        logged = recmessage::listDay(db, QDate::currentDate());
    db.CloseDatabase();
    say(QString());
    say(QStringLiteral("Logged calls of %1:").arg(datetext::shortDate(QDate::currentDate())));
    if (!logged) {
        say(QStringLiteral("  cannot read the database: %1").arg(logged.status().toString()));
    } else {
        for (const recmessage::CallRow& call : logged.value()) {
            const QFileInfo file(recordingPath(home, call.incomingCallFile));
            const double seconds =
                file.exists() ? (file.size() - wav::kMuLawHeaderSize) / 8000.0 : 0;
            say(QStringLiteral("  %1  %2  %3 s")
                    .arg(datetext::general(call.incomingCall), file.filePath())
                    .arg(seconds, 0, 'f', 1));
        }
    }

    Result<QStringList> faxes = Status(err::Fail, QString());
    if (Status s = db.OpenDatabase(home); s)
        faxes = recievefax::listAll(db, home);
    db.CloseDatabase();
    say(QString());
    say(QStringLiteral("Received faxes:"));
    int faxPages = 0;
    for (const QString& path : faxes ? faxes.value() : QStringList()) {
        Result<fax::TiffSummary> tiff = fax::inspectTiff(path);
        faxPages += tiff ? tiff->pages : 0;
        say(QStringLiteral("  %1  %2")
                .arg(path, tiff ? QStringLiteral("%1 page(s), %2 pixels wide")
                                      .arg(tiff->pages)
                                      .arg(tiff->widths.value(0))
                                : tiff.status().description()));
    }

    if (server.state() != QProcess::NotRunning) {
        server.terminate();
        server.waitForFinished(30000);
    }
    return done && faxed && faxPages == 1 && logged.isOk() && logged->size() >= kLines.size() ? 0
                                                                                              : 1;
}
