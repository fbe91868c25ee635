// answering.conf: the standing lines as a user writes them, as orvanectl writes them back,
// and every mistake named with its line.

#include "Signals.h"
#include "line_server/client/AnsweringConf.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace orvane;
using namespace orvane::answering;

class TestAnsweringConf : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aFileAsAUserWritesIt()
    {
        const QByteArray text = "# my lines\n"
                                "program_folder = /srv/answering\n"
                                "\n"
                                "[Front desk]\n"
                                "rings = 2\n"
                                "PLAYTYPE = mess\n"
                                "PlayMessage = Press #1 = sales; we call back.  \n"
                                "RecordTime = 60\n"
                                "Volume = 100\n"
                                "Rate = -10\n"
                                "Voice = 3\n"
                                "; a remark\n"
                                "[Back office]\n"
                                "[Fax]\n"
                                "Fax = Receive\n"
                                "FaxFolder = /srv/faxes\n"
                                "FaxPrint = yes\n";
        const Result<AnsweringFile> file = parseAnsweringFile(text);
        QVERIFY2(file.isOk(), qPrintable(file.status().toString()));
        QCOMPARE(file->programFolder, QStringLiteral("/srv/answering"));
        QCOMPARE(file->lines.size(), 3);
        const StandingLine& desk = file->lines[0];
        QCOMPARE(desk.line, QStringLiteral("Front desk"));
        QCOMPARE(desk.rings, 2);
        QCOMPARE(desk.playType, QStringLiteral("MESS"));
        // A value runs to the end of its line, # and = included.
        QCOMPARE(desk.playMessage, QStringLiteral("Press #1 = sales; we call back."));
        QCOMPARE(desk.recordTime, 60);
        QCOMPARE(desk.volume, 100);
        QCOMPARE(desk.rate, -10);
        QCOMPARE(desk.voice, 3);
        // A line with nothing set answers as the desktop does by default.
        const StandingLine& office = file->lines[1];
        QCOMPARE(office.kind, StandingLine::Kind::Answer);
        QCOMPARE(office.rings, 3);
        QCOMPARE(office.recordTime, 5);
        QCOMPARE(office.volume, 50);
        QCOMPARE(office.playType, QStringLiteral("FILE"));
        QVERIFY(office.playFile.isEmpty());
        const StandingLine& fax = file->lines[2];
        QCOMPARE(fax.kind, StandingLine::Kind::ReceiveFax);
        QCOMPARE(fax.faxFolder, QStringLiteral("/srv/faxes"));
        QVERIFY(fax.faxPrint);
    }

    void whatIsWrittenIsReadBackTheSame()
    {
        AnsweringFile file;
        file.programFolder = "/home/ann/Orvane";
        StandingLine a;
        a.line = "Simulated Line 1";
        a.rings = 15;
        a.playFile = "/home/ann/hello world.wav";
        a.recordTime = 1;
        a.volume = 1;
        a.rate = 10;
        StandingLine b;
        b.line = "Line [2]";
        b.playType = "MESS";
        b.playMessage = "We are out # back soon";
        StandingLine c;
        c.line = "Fax";
        c.kind = StandingLine::Kind::ReceiveFax;
        c.faxFolder = "/tmp/f";
        file.lines = {a, b, c};
        const Result<AnsweringFile> back = parseAnsweringFile(formatAnsweringFile(file));
        QVERIFY2(back.isOk(), qPrintable(back.status().toString()));
        QCOMPARE(back.value(), file);

        // A text of several lines is kept on one line of the file.
        file.lines = {b};
        file.lines[0].playMessage = "First line.\nSecond line.";
        const Result<AnsweringFile> joined = parseAnsweringFile(formatAnsweringFile(file));
        QVERIFY(joined.isOk());
        QCOMPARE(joined->lines.first().playMessage, QStringLiteral("First line. Second line."));
    }

    void mistakesAreNamedWithTheirLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("rings beyond 15") << QByteArray("[A]\nRings = 16\n")
                                         << "answering.conf, line 2: \"16\" is not a valid rings";
        QTest::newRow("no rings") << QByteArray("[A]\n\nRings = 0\n") << "line 3:";
        QTest::newRow("record time") << QByteArray("[A]\nRecordTime = 61\n") << "line 2:";
        QTest::newRow("volume 0") << QByteArray("[A]\nVolume = 0\n") << "1 to 100";
        QTest::newRow("rate") << QByteArray("[A]\nRate = 11\n") << "-10 to 10";
        QTest::newRow("not a number") << QByteArray("[A]\nRings = three\n") << "line 2:";
        QTest::newRow("play type") << QByteArray("[A]\nPlayType = WAV\n") << "FILE or MESS";
        QTest::newRow("relative greeting")
            << QByteArray("[A]\nPlayFile = greeting.wav\n") << "an absolute path";
        QTest::newRow("spoken without text")
            << QByteArray("\n[A]\nPlayType = MESS\n") << "line 2: line \"A\" speaks";
        QTest::newRow("unknown key")
            << QByteArray("[A]\nRingz = 3\n") << "line 2: unknown setting \"ringz\"";
        QTest::newRow("line setting before a line")
            << QByteArray("Rings = 3\n") << "line 1: \"rings\" is no setting of the whole file";
        QTest::newRow("same line twice") << QByteArray("[A]\n[A]\n") << "line 2: the name";
        QTest::newRow("unclosed name") << QByteArray("[A\n") << "line 1: a section name ends";
        QTest::newRow("no equals") << QByteArray("[A]\nRings 3\n") << "line 2: expected key";
        QTest::newRow("fax without folder")
            << QByteArray("[F]\nFax = receive\n") << "line 1: the fax line \"F\" needs";
        QTest::newRow("fax send") << QByteArray("[F]\nFax = send\n") << "receive is expected";
        QTest::newRow("print") << QByteArray("[F]\nFaxPrint = maybe\n") << "yes or no";
        QTest::newRow("relative program folder")
            << QByteArray("program_folder = here\n") << "line 1: program_folder must be";
        QTest::newRow("text too long")
            << QByteArray("[A]\nPlayMessage = ") + QByteArray(10001, 'a') << "at most 10000";
    }

    void mistakesAreNamedWithTheirLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        const Result<AnsweringFile> file = parseAnsweringFile(text);
        QVERIFY(!file.isOk());
        QVERIFY2(file.status().description().contains(expected),
                 qPrintable(file.status().description()));
    }

    void theFileIsReadOnlyWhenItIsAFileAndWrittenWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("conf/answering.conf");
        qputenv("ORVANE_ANSWERING_CONF", QFile::encodeName(path));
        // None yet: no standing lines.
        Result<AnsweringFile> none = readAnsweringFile();
        QVERIFY(none.isOk());
        QVERIFY(none->lines.isEmpty());

        AnsweringFile file;
        StandingLine line;
        line.line = "Simulated Line 2";
        file.lines = {line};
        QVERIFY(writeAnsweringFile(file)); // makes its folder
        QCOMPARE(readAnsweringFile().value(), file);
        // Nothing half-written or left beside it.
        QCOMPARE(QDir(dir.filePath("conf")).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"answering.conf"});

        QVERIFY(QFile::remove(path));
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        const Result<AnsweringFile> fifo = readAnsweringFile();
        QVERIFY(!fifo.isOk());
        QVERIFY2(fifo.status().description().contains("FIFO"),
                 qPrintable(fifo.status().description()));
        QVERIFY(QFile::remove(path));
        QFile large(path);
        QVERIFY(large.open(QIODevice::WriteOnly));
        QVERIFY(large.resize(kMaxAnsweringFileBytes + 1));
        large.close();
        QVERIFY(!readAnsweringFile().isOk());
        qunsetenv("ORVANE_ANSWERING_CONF");
    }
};

QTEST_GUILESS_MAIN(TestAnsweringConf)
#include "TestAnsweringConf.moc"
