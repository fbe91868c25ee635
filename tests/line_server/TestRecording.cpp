// The recording module and the naming of recordings: the file a recording becomes, and
// how it avoids ever losing or overwriting one.

#include "Signals.h"
#include "line_server/line/modData.h"
#include "line_server/line/wave.h"
#include "platform/FreeName.h"
#include "platform/audio/G711.h"
#include "platform/audio/WaveDevice.h"
#include "platform/wav/WavFile.h"

#include <QDir>
#include <QMutex>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {

// A device that fills a recording at once with a known pattern, or refuses to record.
class InstantDevice : public WaveDevice {
public:
    bool refuse = false;
    qint32 formatType() const override { return 65; }
    int sampleRate() const override { return 8000; }
    Status write(const quint8*, qsizetype) override { return {}; }
    Status writeSound(Sound) override { return {}; }
    Status drain() override { return {}; }
    Status startRecording(WaveInBuffer* buffer, std::function<void()> done) override
    {
        if (refuse)
            return Status(err::Fail, "refused");
        for (qsizetype i = 0; i < buffer->length; ++i)
            buffer->data[i] = quint8(i % 251);
        buffer->bytesRecorded = buffer->length;
        done();
        return {};
    }
    void stopRecording() override {}
    Status attachExchange(Exchange) override { return Status(err::Fail, "not here"); }
    void detachExchange() override {}
    void setListener(Listener) override {}
    bool interrupted() const override { return false; }
};

} // namespace

class TestRecording : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aRecordingIsOneBufferOfRecordTimeSeconds()
    {
        auto device = std::make_shared<InstantDevice>();
        WaveRecorder recorder;
        Result<WaveRecorder::Start> started = recorder.StartRecording(10, device);
        QVERIFY(started.isOk());
        QCOMPARE(started.value(), WaveRecorder::Start::Started);
        QVERIFY(recorder.waitDone(1000));
        QCOMPARE(recorder.bytesRecorded(), 80000);
        recorder.StopRecording();

        QTemporaryDir dir;
        const QString folder = dir.filePath("Rec-Files"); // missing: created
        Result<QString> saved = saveRecordingFile(folder, "call-1.wav", recorder.recordedView());
        QVERIFY2(saved.isOk(), qPrintable(saved.status().toString()));
        QCOMPARE(saved.value(), QStringLiteral("call-1.wav"));
        const QByteArray file = test::readFile(QDir(folder).filePath("call-1.wav"));
        QCOMPARE(file.size(), 80044);
        QCOMPARE(file.mid(44, 5), QByteArray("\x00\x01\x02\x03\x04", 5));
        // Nothing half-written is left beside it.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"call-1.wav"});
    }

    void anExistingFileIsNeverOverwritten()
    {
        QTemporaryDir dir;
        QFile old(dir.filePath("same.wav"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an earlier recording");
        old.close();
        auto device = std::make_shared<InstantDevice>();
        QStringList names;
        for (int i = 0; i < 2; ++i) {
            WaveRecorder recorder;
            QVERIFY(recorder.StartRecording(1, device).isOk());
            Result<QString> saved =
                saveRecordingFile(dir.path(), "same.wav", recorder.recordedView());
            QVERIFY(saved.isOk());
            names << saved.value();
        }
        QCOMPARE(names, QStringList({"same-1.wav", "same-2.wav"}));
        QCOMPARE(test::readFile(dir.filePath("same.wav")), QByteArray("an earlier recording"));
        QCOMPARE(test::readFile(dir.filePath("same-2.wav")).size(), 8044);
    }

    void aDeviceThatCannotRecordStartsNothing()
    {
        WaveRecorder recorder;
        QCOMPARE(recorder.StartRecording(5, nullptr).value(), WaveRecorder::Start::DeviceFailed);
        QVERIFY(!recorder.isOpen());

        auto device = std::make_shared<InstantDevice>();
        device->refuse = true;
        Result<WaveRecorder::Start> queued = recorder.StartRecording(5, device);
        QVERIFY(!queued.isOk());
        QVERIFY(queued.status().description().contains("waveInAddBuffer"));
        QVERIFY(!recorder.recordDone());
        // A negative time is a buffer that cannot be allocated.
        device->refuse = false;
        QVERIFY(recorder.StartRecording(-1, device)
                    .status()
                    .description()
                    .contains("Can Not Allocate Memory"));
    }

    void aFolderThatCannotBeWrittenIsAnError()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath("Rec-Files"));
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
        blocker.close();
        auto device = std::make_shared<InstantDevice>();
        WaveRecorder recorder;
        QVERIFY(recorder.StartRecording(1, device).isOk());
        QVERIFY(
            !saveRecordingFile(dir.filePath("Rec-Files"), "x.wav", recorder.recordedView()).isOk());
    }

    void everyWayOfKeepingAFileKeepsItWholeAndReplacesNothing_data()
    {
        QTest::addColumn<int>("method");
        QTest::newRow("hard link") << int(freename::Method::Link);
        QTest::newRow("rename without replacing") << int(freename::Method::Rename);
        QTest::newRow("exclusive copy") << int(freename::Method::Copy);
    }

    void everyWayOfKeepingAFileKeepsItWholeAndReplacesNothing()
    {
        QFETCH(int, method);
        QTemporaryDir dir;
        auto write = [&](const QString& name, const QByteArray& bytes) {
            QFile f(dir.filePath(name));
            return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
        };
        const QByteArray sound(100000, 'r');
        QVERIFY(write("call.wav", "the first call"));
        QVERIFY(write("call-1.wav", "the second call"));
        QVERIFY(write(".part", sound));
        Result<QString> kept =
            freename::keep(dir.filePath(".part"), dir.path(), "call.wav", freename::Method(method));
        QVERIFY2(kept.isOk(), qPrintable(kept.status().toString()));
        QCOMPARE(kept.value(), QStringLiteral("call-2.wav"));
        QCOMPARE(test::readFile(dir.filePath("call-2.wav")), sound);
        QCOMPARE(test::readFile(dir.filePath("call.wav")), QByteArray("the first call"));
        QCOMPARE(test::readFile(dir.filePath("call-1.wav")), QByteArray("the second call"));
        QVERIFY(!QFile::exists(dir.filePath(".part")));
    }

    void aFileSystemWithoutHardLinksStillKeepsTheFile()
    {
        // A part on another file system than its folder: neither a hard link nor a rename
        // can reach it (as a hard link cannot on FAT); the copy does.
        QTemporaryDir other(QStringLiteral("/dev/shm/orvane-test-XXXXXX"));
        QTemporaryDir dir;
        if (!other.isValid() || QStorageInfo(other.path()) == QStorageInfo(dir.path()))
            QSKIP("no second file system to keep a file across");
        const QString part = other.filePath("rec.part");
        QFile f(part);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(wav::muLawFile(QByteArray(8000, 'x')));
        f.close();
        Result<QString> kept = keepUnderFreeName(part, dir.path(), "call.wav");
        QVERIFY2(kept.isOk(), qPrintable(kept.status().toString()));
        QCOMPARE(test::readFile(dir.filePath("call.wav")).size(), 8044);
        QVERIFY(!QFile::exists(part));

        // Where no way works, the part is left as it was.
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("keep me");
        f.close();
        QVERIFY(!keepUnderFreeName(part, dir.filePath("no-such-folder"), "call.wav").isOk());
        QCOMPARE(test::readFile(part), QByteArray("keep me"));
    }

    void recordingNamesFollowTheDateTimeAndRow()
    {
        const QDateTime when(QDate(2026, 12, 6), QTime(10, 33, 12));
        const QString name = modData::MakeRecordingName(2, when);
        QVERIFY(name.endsWith("-2.wav"));
        QVERIFY(!name.contains(' ') && !name.contains(':') && !name.contains('/'));
        QVERIFY(name.contains("--")); // the space between date and time
        QVERIFY(name.contains("33-12"));
        QVERIFY(modData::MakeRecordingName(1, when) != modData::MakeRecordingName(2, when));
        QCOMPARE(modData::recordingsFolder("/p"), QStringLiteral("/p/Rec-Files"));
    }
};

QTEST_GUILESS_MAIN(TestRecording)
#include "TestRecording.moc"
