// The message library and the choice of greeting (frmPlay, frmNewMess), sound on the PC,
// and the recorded calls browser (frmRecordList), driven by their control names, with the
// messages recorded and the sound captured.

#include "DesktopTesting.h"
#include "Signals.h"
#include "database/MessagePlayTable.h"
#include "database/RecMessageTable.h"
#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/records/LocalSound.h"
#include "desktop/records/RecordingPlayer.h"
#include "desktop/records/frmNewMess.h"
#include "desktop/records/frmPlay.h"
#include "desktop/records/frmRecordList.h"
#include "platform/audio/G711.h"
#include "platform/audio/PacedPlaybackSink.h"
#include "platform/wav/WavFile.h"

#include <QAudioDevice>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QMediaDevices>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>

using namespace orvane;

namespace {

const QString kDebianWav = QStringLiteral("/usr/share/sounds/alsa/Front_Center.wav");

// Sound that would have gone to the speakers.
struct CapturedSound {
    std::shared_ptr<QVector<qint16>> samples = std::make_shared<QVector<qint16>>();
    int plays = 0;
};

class SharedCapture : public CaptureAudioOutput {
public:
    SharedCapture(CapturedSound& into)
        : CaptureAudioOutput(8000)
        , m_into(into)
    {}
    Status finish() override
    {
        *m_into.samples += samples();
        ++m_into.plays;
        return {};
    }

private:
    CapturedSound& m_into;
};

void click(QWidget* window, const char* button)
{
    auto* b = window->findChild<QPushButton*>(button);
    QVERIFY2(b, button);
    b->click();
}

QString writeCall(const QDateTime& when, const QString& name, double toneHz, double seconds = 0.5)
{
    const QVector<qint16> tone = test::tone(toneHz, seconds, 8000);
    QByteArray ulaw(tone.size(), 0);
    g711::encodeUlaw(tone.constData(), reinterpret_cast<quint8*>(ulaw.data()), tone.size());
    QFile f(QDir(programfolder::path()).filePath("Rec-Files/" + name));
    f.open(QIODevice::WriteOnly);
    f.write(wav::muLawFile(ulaw));
    Database db;
    db.OpenDatabase(programfolder::path());
    recmessage::logCall(db, when, name);
    return f.fileName();
}

} // namespace

class TestRecords : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    CapturedSound m_sound;
    // The recorded calls play here (the latest player's sink), at `m_speed` times real time.
    QPointer<PacedPlaybackSink> m_sink;
    double m_speed = 50;

    QString lastMessage() const
    {
        return m_messages->shown.isEmpty() ? QString() : m_messages->shown.last().text;
    }
    QString lastTitle() const
    {
        return m_messages->shown.isEmpty() ? QString() : m_messages->shown.last().title;
    }

    // The browser shown on `day`, as the user picks it; its grid.
    MSFlexGrid* showDay(frmRecordList& browser, const QDate& day)
    {
        browser.openOnToday();
        browser.show();
        browser.findChild<QDateEdit*>("DTPicker1")->setDate(day);
        click(&browser, "cmdShow");
        return browser.findChild<MSFlexGrid*>("MSFlexGrid1");
    }

    // Sets or clears the immutable flag; false when the file system has none.
    static bool immutable(const QString& path, bool on)
    {
        return QProcess::execute("chattr", {on ? "+i" : "-i", path}) == 0;
    }

    void clearLibrary()
    {
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        const Result<QList<messageplay::MessageRow>> all = messageplay::listAll(db);
        for (const auto& m : all.value())
            messageplay::remove(db, m.id);
    }

    // Types `text` into the message dialog that the click opens and submits it; returns the
    // messages shown meanwhile.
    QStringList submitMessage(frmPlay& play, const char* button, const QString& text)
    {
        const qsizetype before = m_messages->shown.size();
        test::whenModal<frmNewMess>([text](frmNewMess* dialog) {
            dialog->findChild<QLineEdit*>("txtMess")->setText(text);
            dialog->findChild<QPushButton*>("cmdSubmit")->click();
            if (dialog->isVisible()) // refused: the dialog stays, the test cancels it
                dialog->findChild<QPushButton*>("cmdCancel")->click();
        });
        click(&play, button);
        return m_messages->texts().mid(before);
    }

private Q_SLOTS:
    void aCallsDetailsHaveColumnsOfTheirOwn()
    {
        const QDate day(2026, 2, 4);
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        QVERIFY(recmessage::logCall(db, QDateTime(day, QTime(8, 15)), "keys.wav",
                                    {"5550100", "Ann", "Front desk", 75, "#12"}));
        QVERIFY(recmessage::logCall(db, QDateTime(day, QTime(8, 30)), "plain.wav"));
        db.CloseDatabase();
        frmRecordList browser;
        MSFlexGrid* grid = showDay(browser, day);
        QCOMPARE(grid->rows(), 3);
        const QStringList headers{"Caller", "Line", "Length", "Keys"};
        for (int c = 0; c < headers.size(); ++c)
            QCOMPARE(grid->textMatrix(0, 3 + c), headers[c]);
        QCOMPARE(grid->textMatrix(1, 3), QStringLiteral("Ann (5550100)"));
        QCOMPARE(grid->textMatrix(1, 5), QStringLiteral("1:15"));
        QCOMPARE(grid->textMatrix(1, 6), QStringLiteral("#12"));
        // A row from before such details were kept shows them blank.
        QVERIFY(grid->textMatrix(2, 6).isEmpty());
    }

    void initTestCase()
    {
        qputenv("ORVANE_HOME", QFile::encodeName(m_home.path()));
        m_messages = std::make_unique<test::MessageRecorder>();
        QVERIFY(programfolder::prepare());
        resetAnsweringSettings(programfolder::greetingFile());
        setSpeakerOutputFactory([this] { return std::make_unique<SharedCapture>(m_sound); });
        setPlaybackSinkFactory([this] {
            auto sink = std::make_unique<PacedPlaybackSink>(m_speed);
            m_sink = sink.get();
            return sink;
        });
    }

    void cleanupTestCase()
    {
        setSpeakerOutputFactory({});
        setPlaybackSinkFactory({});
    }

    void init()
    {
        m_messages->shown.clear();
        m_messages->answer = QMessageBox::Ok;
        *m_sound.samples = {};
        m_sound.plays = 0;
    }

    void cleanup() { test::forgetModalWatches(); }

    void anEmptyLibraryAnswersEveryRowCommand()
    {
        clearLibrary();
        frmPlay play;
        play.openWindow();
        play.show();
        auto* grid = play.findChild<MSFlexGrid*>("MSFlexGrid1");
        QCOMPARE(grid->rows(), 2);
        QCOMPARE(grid->textMatrix(1, 1), QStringLiteral("No Records"));
        QVERIFY(grid->textMatrix(1, 0).isEmpty());
        QCOMPARE(grid->textMatrix(0, 0), QStringLiteral("SNo."));
        QCOMPARE(grid->textMatrix(0, 1), QStringLiteral("Message"));
        QVERIFY(grid->isColumnHidden(2));

        click(&play, "cmdMod");
        QCOMPARE(lastMessage(), QStringLiteral("Select Row Please"));
        QCOMPARE(lastTitle(), QStringLiteral("Answering-Machine"));
        test::clickRow(grid, 1);
        click(&play, "cmdOk");
        QCOMPARE(lastMessage(), QStringLiteral("No Message to Play "));
        QCOMPARE(lastTitle(), QStringLiteral("Answering-Machine"));
        test::clickRow(grid, 1);
        click(&play, "cmdMod");
        QCOMPARE(lastMessage(), QStringLiteral("No Records To Delete"));
        test::clickRow(grid, 1);
        click(&play, "cmdDelete");
        QCOMPARE(lastMessage(), QStringLiteral("No Records To Delete"));
        test::clickRow(grid, 1);
        click(&play, "cmdPlaySp");
        QCOMPARE(lastMessage(), QStringLiteral("No Records To Play"));
        // Each command took the selection back.
        click(&play, "cmdDelete");
        QCOMPARE(lastMessage(), QStringLiteral("Select Row Please"));
        QVERIFY(play.isVisible());
    }

    void messagesKeepToTheirCharacters()
    {
        QVERIFY(isValidMessageText("Hello, world. Call 555 0100"));
        for (const char* refused : {"It's me", "well-known", "caf\xc3\xa9", "Hi!", "a\tb", "end?"})
            QVERIFY2(!isValidMessageText(QString::fromUtf8(refused)), refused);
    }

    void theMessageDialogChecksAndStoresTrimmed()
    {
        clearLibrary();
        frmPlay play;
        play.openWindow();
        play.show();
        QCOMPARE(submitMessage(play, "cmdNew", "It's me"),
                 QStringList{"Only alphabets,digits,spaces,dot and comma allowed "});
        QCOMPARE(submitMessage(play, "cmdNew", "Last char!"),
                 QStringList{"Only alphabets,digits,spaces,dot and comma allowed "});
        QCOMPARE(submitMessage(play, "cmdNew", "    "), QStringList{"Enter Message to Record"});
        QCOMPARE(submitMessage(play, "cmdNew", "   Please leave a message."), QStringList());
        QCOMPARE(submitMessage(play, "cmdNew", "Back on Monday, 9 to 5."), QStringList());
        auto* grid = play.findChild<MSFlexGrid*>("MSFlexGrid1");
        QCOMPARE(grid->rows(), 3);
        QCOMPARE(grid->textMatrix(1, 1), QStringLiteral("Please leave a message."));
        QCOMPARE(grid->textMatrix(2, 0), QStringLiteral("2"));

        // Modify: the dialog opens on the message and stores the change.
        test::clickRow(grid, 2);
        test::whenModal<frmNewMess>([](frmNewMess* dialog) {
            auto* text = dialog->findChild<QLineEdit*>("txtMess");
            QCOMPARE(text->text(), QStringLiteral("Back on Monday, 9 to 5."));
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Modify Message : "));
            text->setText("Back on Tuesday.");
            dialog->findChild<QPushButton*>("cmdSubmit")->click();
        });
        click(&play, "cmdMod");
        QCOMPARE(grid->textMatrix(2, 1), QStringLiteral("Back on Tuesday."));

        // Delete: at once, without asking; the rest is numbered again.
        test::clickRow(grid, 1);
        click(&play, "cmdDelete");
        QCOMPARE(grid->rows(), 2);
        QCOMPARE(grid->textMatrix(1, 0), QStringLiteral("1"));
        QCOMPARE(grid->textMatrix(1, 1), QStringLiteral("Back on Tuesday."));
        QVERIFY(m_messages->shown.isEmpty() || lastMessage() != "Select Row Please");
    }

    void choosingAMessageKeepsTheFile()
    {
        frmPlay play;
        play.openWindow();
        play.show();
        const QString file = AnsweringSettings.PlayFile;
        auto* grid = play.findChild<MSFlexGrid*>("MSFlexGrid1");
        test::clickRow(grid, 1);
        click(&play, "cmdOk");
        QCOMPARE(play.result(), int(QDialog::Accepted));
        QCOMPARE(AnsweringSettings.PlayType, QStringLiteral("MESS"));
        QCOMPARE(AnsweringSettings.PlayMessage, grid->textMatrix(1, 1));
        QCOMPARE(AnsweringSettings.PlayFile, file);
    }

    void onlyAWaveFileIsTakenAsGreeting_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("message");
        QTest::newRow("text named x.wav")
            << QByteArray("just some text\n") << true << "Not a valid Wave file";
        QTest::newRow("RIFF but AVI")
            << QByteArray("RIFF\x20\0\0\0AVI LIST....", 20) << true << "Not a valid Wave file";
        QTest::newRow("missing") << QByteArray() << false << "Cannot Open the file Specified";
    }

    void onlyAWaveFileIsTakenAsGreeting()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, exists);
        QFETCH(QString, message);
        const QString path = m_home.filePath("x.wav");
        QFile::remove(path);
        if (exists) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        resetAnsweringSettings(programfolder::greetingFile());
        frmPlay play;
        play.openWindow();
        play.show();
        play.findChild<QTabWidget*>("SSTab1")->setCurrentIndex(1);
        play.findChild<QLineEdit*>("txtPlay")->setText(path);
        click(&play, "cmdOk");
        QCOMPARE(lastMessage(), message);
        QCOMPARE(lastTitle(), QStringLiteral("Answering Machine"));
        QVERIFY(play.isVisible());
        QCOMPARE(AnsweringSettings.PlayFile, programfolder::greetingFile());
        QCOMPARE(AnsweringSettings.PlayType, QStringLiteral("FILE"));
    }

    void aWaveFileFromDebianIsTakenAndPlays()
    {
        if (!QFile::exists(kDebianWav))
            QSKIP("alsa-utils' sounds are not installed");
        frmPlay play;
        play.openWindow();
        play.show();
        play.findChild<QTabWidget*>("SSTab1")->setCurrentIndex(1);
        play.findChild<QLineEdit*>("txtPlay")->setText("");
        click(&play, "cmdOk");
        QCOMPARE(lastMessage(), QStringLiteral("Select File to Play "));
        play.findChild<QLineEdit*>("txtPlay")->setText(kDebianWav);
        click(&play, "cmdPlaySp");
        QCOMPARE(m_sound.plays, 1);
        const Result<wav::PcmSound> original = wav::read(kDebianWav);
        const double seconds = double(original->samples.size()) / original->sampleRate;
        QVERIFY(qAbs(m_sound.samples->size() / 8000.0 - seconds) < 0.05);
        click(&play, "cmdOk");
        QCOMPARE(play.result(), int(QDialog::Accepted));
        QCOMPARE(AnsweringSettings.PlayFile, kDebianWav);
        QCOMPARE(AnsweringSettings.PlayType, QStringLiteral("FILE"));
    }

    void aMessageIsTriedWithTheAnsweringVoice()
    {
        PlayMessageOnSpeaker("Testing, one, two.", 0, 50, 0);
        QCOMPARE(m_sound.plays, 1);
        QVERIFY(m_sound.samples->size() > 4000);
        PlayMessageOnSpeaker("Testing.", 0, 50, 9999); // no such voice
        QCOMPARE(lastMessage(), QStringLiteral("Unable to play message."));
        QCOMPARE(m_messages->shown.last().icon, QMessageBox::Warning);
        PlayFileOnSpeaker(m_home.filePath("nothing.wav"));
        QCOMPARE(lastMessage(), QStringLiteral("Unable to play file."));
    }

    void withoutAnAudioOutputPlayingSaysSo()
    {
        if (!QMediaDevices::audioOutputs().isEmpty())
            QSKIP("this machine has an audio output");
        setSpeakerOutputFactory({});
        PlayFileOnSpeaker(kDebianWav);
        setSpeakerOutputFactory([this] { return std::make_unique<SharedCapture>(m_sound); });
        QCOMPARE(lastMessage(), QStringLiteral("Unable to play file."));
        QCOMPARE(lastTitle(), QStringLiteral("Answering Machine"));
    }

    void theBrowserListsPlaysAndDeletesTheCallsOfADay()
    {
        const QDate today = QDate::currentDate(), yesterday = today.addDays(-1);
        const QString a = writeCall(QDateTime(today, QTime(9, 0)), "a.wav", 500);
        const QString b = writeCall(QDateTime(today, QTime(10, 0)), "b.wav", 700);
        const QString c = writeCall(QDateTime(today, QTime(11, 0)), "c.wav", 900);
        const QString old = writeCall(QDateTime(yesterday, QTime(23, 59, 59)), "old.wav", 300);
        frmRecordList browser;
        browser.openOnToday();
        browser.show();
        auto* grid = browser.findChild<MSFlexGrid*>("MSFlexGrid1");
        QCOMPARE(browser.findChild<QPushButton*>("cmdPlay")->text(), QStringLiteral("Play"));
        QCOMPARE(grid->rows(), 4);
        QCOMPARE(grid->textMatrix(0, 1), QStringLiteral("Time Incoming Call"));
        QCOMPARE(grid->textMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(grid->textMatrix(2, 2), QStringLiteral("b.wav"));

        // Another day.
        browser.findChild<QDateEdit*>("DTPicker1")->setDate(yesterday);
        click(&browser, "cmdShow");
        QCOMPARE(grid->rows(), 2);
        QCOMPARE(grid->textMatrix(1, 2), QStringLiteral("old.wav"));
        browser.findChild<QDateEdit*>("DTPicker1")->setDate(today);
        click(&browser, "cmdRefresh");

        // Play.
        click(&browser, "cmdPlay");
        QCOMPARE(lastMessage(), QStringLiteral("Select Row Please"));
        test::clickRow(grid, 2);
        click(&browser, "cmdPlay");
        // The file that plays is not deleted under it; once it has played, it may be.
        QVERIFY(!browser.findChild<QPushButton*>("cmdDelete")->isEnabled());
        QTRY_COMPARE(browser.player().state(), RecordingPlayer::State::Stopped);
        QVERIFY(test::tonePower(m_sink->played(), 700, 8000) > 0.8);
        QVERIFY(browser.findChild<QPushButton*>("cmdDelete")->isEnabled());

        // Delete, answered No: nothing goes, and the selection is taken back.
        m_messages->answer = QMessageBox::No;
        test::clickRow(grid, 2);
        click(&browser, "cmdDelete");
        QCOMPARE(lastMessage(), QStringLiteral("Are You Sure You want to Delete SNo -> 2"));
        QCOMPARE(m_messages->shown.last().icon, QMessageBox::NoIcon);
        QCOMPARE(lastTitle(), QStringLiteral("Orvane")); // the program's title
        QCOMPARE(m_messages->shown.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(QFile::exists(b));
        click(&browser, "cmdDelete");
        QCOMPARE(lastMessage(), QStringLiteral("Select Row Please"));
        // Yes: the file and its row go; the rest is numbered again.
        m_messages->answer = QMessageBox::Yes;
        test::clickRow(grid, 2);
        click(&browser, "cmdDelete");
        QVERIFY(!QFile::exists(b));
        QCOMPARE(grid->rows(), 3);
        QCOMPARE(grid->textMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(grid->textMatrix(2, 2), QStringLiteral("c.wav"));

        // Delete All works on the listed day, even with another day picked meanwhile. A call
        // logged while the question is open was never seen, and stays.
        browser.findChild<QDateEdit*>("DTPicker1")->setDate(yesterday);
        QString d;
        m_messages->whileShown = [&] {
            d = writeCall(QDateTime(today, QTime(12, 0)), "d.wav", 1100);
            browser.callLogged(d, QDateTime(today, QTime(12, 0)));
        };
        click(&browser, "cmdDeleteAll");
        QCOMPARE(lastMessage(), QStringLiteral("Are You Sure You want to Delete All Records"));
        QCOMPARE(lastTitle(), QStringLiteral("Orvane"));
        QVERIFY(!QFile::exists(a) && !QFile::exists(c));
        QVERIFY(QFile::exists(old));
        QVERIFY(QFile::exists(d));
        QCOMPARE(grid->rows(), 2);
        QCOMPARE(grid->textMatrix(1, 2), QStringLiteral("d.wav"));
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        QCOMPARE(recmessage::listDay(db, yesterday).value().size(), 1);
        QCOMPARE(recmessage::listDay(db, today).value().size(), 1);
        // Now it is seen: Delete All takes it.
        click(&browser, "cmdDeleteAll");
        QVERIFY(!QFile::exists(d));
        QCOMPARE(grid->textMatrix(1, 1), QStringLiteral("No Records"));

        // The empty day's answers.
        m_messages->shown.clear();
        click(&browser, "cmdDeleteAll");
        QCOMPARE(lastMessage(), QStringLiteral("No Records To Delete"));
        test::clickRow(grid, 1);
        click(&browser, "cmdPlay");
        QCOMPARE(lastMessage(), QStringLiteral("No Records To Play"));
        test::clickRow(grid, 1);
        click(&browser, "cmdDelete");
        QCOMPARE(lastMessage(), QStringLiteral("No Records To Delete"));
    }

    void theCommandsActOnTheHighlightedRow()
    {
        // Thirty calls on one day: more than the grid shows at once.
        const QDate day(2026, 2, 3);
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        for (int i = 0; i < 30; ++i)
            QVERIFY(recmessage::logCall(db, QDateTime(day, QTime(9, i)),
                                        QStringLiteral("call-%1.wav").arg(i + 1)));
        db.CloseDatabase();
        frmRecordList browser;
        MSFlexGrid* grid = showDay(browser, day);
        QCOMPARE(grid->rows(), 31);
        QVERIFY(grid->selectedItems().isEmpty()); // nothing is shown chosen before the user

        // A click on the header is no choice of a row.
        QHeaderView* header = grid->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
        m_messages->answer = QMessageBox::No;
        click(&browser, "cmdDelete");
        QCOMPARE(lastMessage(), QStringLiteral("Select Row Please"));

        // Click row 2, then the arrow keys: the command acts on the row highlighted.
        test::clickRow(grid, 2);
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->row(), 4);
        QCOMPARE(grid->currentRow(), 3); // the table's own rows start under the header
        click(&browser, "cmdDelete");
        QCOMPARE(lastMessage(), QStringLiteral("Are You Sure You want to Delete SNo -> 4"));
        // The command took the choice back, highlight and all.
        QVERIFY(grid->selectedItems().isEmpty());
        // The keys alone choose a row too.
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
        QVERIFY(!grid->selectedItems().isEmpty());
        const int chosen = grid->row();
        QCOMPARE(chosen, grid->currentRow() + 1);
        click(&browser, "cmdDelete");
        QCOMPARE(lastMessage(),
                 QStringLiteral("Are You Sure You want to Delete SNo -> %1").arg(chosen));

        // Scrolled to the end, the header is still where it was, above the rows.
        const QPoint headerAt = header->mapTo(grid, QPoint(0, 0));
        grid->scrollToBottom();
        QCOMPARE(header->mapTo(grid, QPoint(0, 0)), headerAt);
        QVERIFY(header->isVisible());
        QCOMPARE(grid->textMatrix(0, 2), QStringLiteral("Recorded File"));
        QVERIFY(grid->cellRect(1, 1).bottom() < 0); // the first rows scrolled away

        // Tab leaves the grid for the next control.
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_Tab);
        QVERIFY(!grid->hasFocus());
    }

    // A delete that cannot be done whole is not done at all, and the user is told: the list
    // never names a file that is gone, and no file goes while its row stays. Root may write
    // anywhere, so the refusals come from the immutable flag.
    void aCallIsDeletedWithItsFileOrNotAtAll()
    {
        const QDate day(2026, 2, 11);
        const QString a = writeCall(QDateTime(day, QTime(9, 0)), "keep-a.wav", 500);
        const QString b = writeCall(QDateTime(day, QTime(9, 30)), "keep-b.wav", 600);
        const QString recFiles = QFileInfo(a).path();
        const QString dbFile = Database::filePath(programfolder::path());
        auto rows = [day] {
            Database db;
            db.OpenDatabase(programfolder::path());
            return recmessage::listDay(db, day).value().size();
        };
        frmRecordList browser;
        MSFlexGrid* grid = showDay(browser, day);
        m_messages->answer = QMessageBox::Yes;

        for (const QString& locked : {recFiles, dbFile}) {
            if (!immutable(locked, true))
                QSKIP("This file system keeps no immutable flag (chattr)");
            auto unlock = qScopeGuard([&] { immutable(locked, false); });
            test::clickRow(grid, 1);
            click(&browser, "cmdDelete");
            QVERIFY2(lastMessage().endsWith("Nothing was deleted."),
                     qPrintable(locked + ": " + lastMessage()));
            QCOMPARE(lastTitle(), QStringLiteral("Answering Machine"));
            click(&browser, "cmdDeleteAll");
            QVERIFY2(lastMessage().endsWith("Nothing was deleted."), qPrintable(lastMessage()));
            QVERIFY(QFile::exists(a) && QFile::exists(b));
            QCOMPARE(rows(), 2);
            QCOMPARE(grid->rows(), 3);
            QCOMPARE(QDir(recFiles).entryList({".deleting-*"}, QDir::Files | QDir::Hidden),
                     QStringList());
        }
        // Once it can be done, it is.
        m_messages->shown.clear();
        test::clickRow(grid, 1);
        click(&browser, "cmdDelete");
        QVERIFY(!QFile::exists(a) && QFile::exists(b));
        QCOMPARE(rows(), 1);
        QCOMPARE(m_messages->texts(), QStringList({"Are You Sure You want to Delete SNo -> 1"}));
        // A message of the library that cannot be deleted says so too.
        clearLibrary();
        {
            Database db;
            QVERIFY(db.OpenDatabase(programfolder::path()));
            QVERIFY(messageplay::add(db, "Back at nine."));
        }
        frmPlay play;
        play.openWindow();
        play.show();
        if (!immutable(dbFile, true))
            QSKIP("This file system keeps no immutable flag (chattr)");
        {
            auto unlock = qScopeGuard([&] { immutable(dbFile, false); });
            test::clickRow(play.findChild<MSFlexGrid*>("MSFlexGrid1"), 1);
            click(&play, "cmdDelete");
            QVERIFY2(lastMessage().startsWith("The message cannot be deleted"),
                     qPrintable(lastMessage()));
        }
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        QCOMPARE(messageplay::listAll(db).value().size(), 1);
    }

    void aNameThatIsNotARecordingIsNeitherPlayedNorDeleted()
    {
        const QDate day(2026, 1, 15);
        const QString outside = QDir(programfolder::path()).filePath("precious.wav");
        QFile precious(outside);
        QVERIFY(precious.open(QIODevice::WriteOnly));
        precious.write("not to be lost");
        precious.close();
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        QVERIFY(recmessage::logCall(db, QDateTime(day, QTime(8, 0)), "../precious.wav"));
        db.CloseDatabase();
        frmRecordList browser;
        MSFlexGrid* grid = showDay(browser, day);
        test::clickRow(grid, 1);
        click(&browser, "cmdPlay");
        QVERIFY(lastMessage().contains("is not the name of a recording"));
        QVERIFY(!m_sink || m_sink->starts() == 0);
        m_messages->answer = QMessageBox::Yes;
        test::clickRow(grid, 1);
        click(&browser, "cmdDelete");
        QVERIFY(QFile::exists(outside));
        QCOMPARE(grid->textMatrix(1, 1), QStringLiteral("No Records"));
    }

    void aCallPlaysWhileTheWindowStaysUsableAndStopsMidway()
    {
        const QDate day(2026, 3, 3);
        writeCall(QDateTime(day, QTime(9, 0)), "long.wav", 500, 4.0);
        m_speed = 1; // real time: the sound outlasts what the test does meanwhile
        auto restore = qScopeGuard([this] { m_speed = 50; });
        frmRecordList browser;
        MSFlexGrid* grid = showDay(browser, day);
        test::clickRow(grid, 1);
        click(&browser, "cmdPlay");
        // The click came back at once, with the sound still playing.
        QCOMPARE(browser.player().state(), RecordingPlayer::State::Playing);
        QCOMPARE(browser.player().durationMs(), 4000);
        QTRY_VERIFY(browser.player().positionMs() > 0);

        click(&browser, "cmdPause");
        QCOMPARE(browser.player().state(), RecordingPlayer::State::Paused);
        QCOMPARE(browser.findChild<QPushButton*>("cmdPause")->text(), QStringLiteral("&Resume"));
        // The slider moves the place: past the middle, and it goes on from there.
        auto* slider = browser.findChild<QSlider*>("sldPosition");
        slider->setSliderDown(true);
        slider->setValue(3000);
        slider->setSliderDown(false);
        QCOMPARE(browser.player().positionMs(), 3000);
        click(&browser, "cmdPause");
        QCOMPARE(browser.player().state(), RecordingPlayer::State::Playing);

        click(&browser, "cmdStop");
        QCOMPARE(browser.player().state(), RecordingPlayer::State::Stopped);
        const qsizetype heard = m_sink->played().size();
        QVERIFY2(heard < 3 * 8000, qPrintable(QString::number(heard))); // not the whole call
        QVERIFY(!m_sink->active());
        QVERIFY(browser.findChild<QPushButton*>("cmdDelete")->isEnabled());

        // Closing the window while it plays stops the sound.
        test::clickRow(grid, 1);
        click(&browser, "cmdPlay");
        QCOMPARE(browser.player().state(), RecordingPlayer::State::Playing);
        click(&browser, "cmdCancel");
        QCOMPARE(browser.player().state(), RecordingPlayer::State::Stopped);
        QVERIFY(!m_sink->active());
    }
};

QTEST_MAIN(TestRecords)
#include "TestRecords.moc"
