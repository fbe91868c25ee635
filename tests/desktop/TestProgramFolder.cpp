// The program folder as a first start makes it: the default greeting is the installed one
// (telephone sound: 8 kHz mono mu-law, the sentence before the tone), a greeting that is
// there is kept, and an installation without its greeting is said while the rest is made.

#include "database/Database.h"
#include "desktop/common/ProgramFolder.h"
#include "platform/wav/WavFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

quint16 le16(const QByteArray& b, int at)
{
    return quint16(quint8(b.at(at)) | quint8(b.at(at + 1)) << 8);
}

quint32 le32(const QByteArray& b, int at)
{
    return quint32(le16(b, at)) | quint32(le16(b, at + 2)) << 16;
}

} // namespace

class TestProgramFolder : public QObject {
    Q_OBJECT

    QTemporaryDir m_root;
    int m_homes = 0;

    // A program folder no test has used yet.
    QString freshHome()
    {
        const QString home = m_root.filePath(QStringLiteral("home%1").arg(++m_homes));
        qputenv("ORVANE_HOME", QFile::encodeName(home));
        return home;
    }

private Q_SLOTS:
    void init() { qunsetenv("ORVANE_DATA_DIR"); }
    void cleanup() { qunsetenv("ORVANE_DATA_DIR"); }

    void aFreshFolderGetsTheInstalledGreeting()
    {
        const QString home = freshHome();
        const Status prepared = programfolder::prepare();
        QVERIFY2(prepared, qPrintable(prepared.toString()));
        QCOMPARE(programfolder::greetingFile(), QDir(home).filePath("greeting/greeting.wav"));
        // The build tree has the installation's layout: share/orvane beside bin/.
        const QString installed =
            QDir(programfolder::dataFolders().first()).filePath("greeting.wav");
        QVERIFY2(QFileInfo(installed).isFile(), qPrintable(installed));
        const QByteArray greeting = contents(programfolder::greetingFile());
        QCOMPARE(greeting, contents(installed));

        // The recording files' layout: mu-law, mono, 8 kHz, the data chunk the rest.
        QVERIFY(greeting.size() > wav::kMuLawHeaderSize);
        QCOMPARE(greeting.left(4), QByteArray("RIFF"));
        QCOMPARE(greeting.mid(8, 4), QByteArray("WAVE"));
        QCOMPARE(le16(greeting, 20), wav::kFormatTagMuLaw);
        QCOMPARE(le16(greeting, 22), quint16(1));
        QCOMPARE(le32(greeting, 24), quint32(8000));
        QCOMPARE(le32(greeting, 40), quint32(greeting.size() - wav::kMuLawHeaderSize));
        // Spoken, then the tone: far longer than the 0.8 s of pause and tone alone, and
        // with sound before the tone.
        Result<wav::PcmSound> sound = wav::read(programfolder::greetingFile());
        QVERIFY2(sound, qPrintable(sound.status().toString()));
        QCOMPARE(sound->sampleRate, 8000);
        QVERIFY2(sound->samples.size() > 2 * 8000,
                 qPrintable(QString::number(sound->samples.size())));
        const qsizetype speechEnds = sound->samples.size() - 6400;
        int loud = 0;
        for (qsizetype i = 0; i < speechEnds; ++i)
            loud += qAbs(sound->samples.at(i)) > 1000;
        QVERIFY2(loud > 1000, "no speech before the tone");

        // The rest of a first start.
        QVERIFY(QFileInfo(QDir(home).filePath("Rec-Files")).isDir());
        QVERIFY(QFileInfo(QDir(home).filePath("velmoc.mdb")).isFile());
        QVERIFY(QFileInfo(programfolder::helpPage()).isFile());
    }

    void aGreetingThatIsThereIsKept()
    {
        freshHome();
        QVERIFY(programfolder::prepare());
        QFile own(programfolder::greetingFile());
        QVERIFY(own.open(QIODevice::WriteOnly | QIODevice::Truncate));
        own.write("the user's own");
        own.close();
        QVERIFY(programfolder::prepare());
        QCOMPARE(contents(programfolder::greetingFile()), QByteArray("the user's own"));
    }

    void theDataFolderCanBeNamed()
    {
        QTemporaryDir data;
        QFile installed(data.filePath("greeting.wav"));
        QVERIFY(installed.open(QIODevice::WriteOnly));
        installed.write("another installation's greeting");
        installed.close();
        qputenv("ORVANE_DATA_DIR", QFile::encodeName(data.path()));
        QCOMPARE(programfolder::dataFolders(), QStringList{data.path()});
        freshHome();
        QVERIFY(programfolder::prepare());
        QCOMPARE(contents(programfolder::greetingFile()),
                 QByteArray("another installation's greeting"));
    }

    void anInstallationWithoutItsGreetingIsSaid()
    {
        QTemporaryDir empty;
        qputenv("ORVANE_DATA_DIR", QFile::encodeName(empty.path()));
        const QString home = freshHome();
        const Status prepared = programfolder::prepare();
        QVERIFY(!prepared);
        QVERIFY2(prepared.description().contains(empty.path()), qPrintable(prepared.description()));
        // No greeting at all rather than a stand-in that would be kept from then on; the
        // folder is usable all the same.
        QVERIFY(!QFile::exists(programfolder::greetingFile()));
        QVERIFY(QFileInfo(QDir(home).filePath("velmoc.mdb")).isFile());
        QVERIFY(QFileInfo(programfolder::helpPage()).isFile());
        // Once the installation is whole again, the next start copies it.
        qunsetenv("ORVANE_DATA_DIR");
        QVERIFY(programfolder::prepare());
        QVERIFY(QFileInfo(programfolder::greetingFile()).size() > wav::kMuLawHeaderSize);
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "TestProgramFolder.moc"
