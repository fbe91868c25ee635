// G.711, resampling and WAV files: the audio every call and recording passes through.

#include "Signals.h"
#include "platform/RegularFile.h"
#include "platform/audio/G711.h"
#include "platform/audio/Resampler.h"
#include "platform/wav/WavFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cmath>
#include <sys/stat.h>

using namespace orvane;

class TestAudio : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void muLawKeepsSoundWithinItsStep()
    {
        QCOMPARE(g711::linearToUlaw(0), g711::ULAW_SILENCE);
        QCOMPARE(g711::ulawToLinear(g711::ULAW_SILENCE), qint16(0));
        for (int x = -32768; x <= 32767; x += 7) {
            const int back = g711::ulawToLinear(g711::linearToUlaw(qint16(x)));
            // mu-law's step grows with the level: about 1/16 of it, at least a few units.
            const int allowed = qMax(8, std::abs(x) / 16 + 8);
            QVERIFY2(std::abs(back - std::clamp(x, -32635, 32635)) <= allowed,
                     qPrintable(QString("%1 -> %2").arg(x).arg(back)));
            if (std::abs(x) > 16)
                QCOMPARE(back < 0, x < 0);
        }
    }

    void everyMuLawByteSurvivesARoundTrip()
    {
        for (int b = 0; b < 256; ++b) {
            const quint8 byte = quint8(b);
            const quint8 again = g711::linearToUlaw(g711::ulawToLinear(byte));
            // 0x7F and 0xFF are both zero; every other code is its own.
            if (b != 0x7F)
                QCOMPARE(again, byte);
        }
    }

    void aLawConvertsBothWays()
    {
        QCOMPARE(g711::alawToLinear(g711::linearToAlaw(0)) / 16, 0);
        for (int x = -32000; x <= 32000; x += 1000) {
            const int viaAlaw = g711::alawToLinear(g711::linearToAlaw(qint16(x)));
            QVERIFY(std::abs(viaAlaw - x) <= std::abs(x) / 16 + 16);
            const int viaBoth = g711::ulawToLinear(g711::alawToUlaw(g711::linearToAlaw(qint16(x))));
            QVERIFY(std::abs(viaBoth - x) <= std::abs(x) / 8 + 32);
        }
    }

    void resamplingKeepsLengthAndPitch()
    {
        const QVector<qint16> in = test::tone(440, 1.0, 22050);
        const QVector<qint16> out = orvane::resample(in.constData(), in.size(), 22050, 8000);
        QCOMPARE(out.size(), 8000);
        QVERIFY(test::tonePower(out, 440, 8000) > 0.8);
        QVERIFY(test::tonePower(out, 1000, 8000) < 0.01);
        // Nothing is lost at the start or the end: the tone fills the middle and the edges.
        const QVector<qint16> head = out.mid(100, 800), tail = out.mid(7000, 800);
        QVERIFY(test::tonePower(head, 440, 8000) > 0.7);
        QVERIFY(test::tonePower(tail, 440, 8000) > 0.7);
    }

    void resamplingInBlocksGivesTheWholeSound()
    {
        const QVector<qint16> in = test::tone(440, 1.3, 44100);
        const QVector<qint16> whole = orvane::resample(in.constData(), in.size(), 44100, 8000);
        for (qsizetype block : {1, 999, 44100, 100000}) {
            StreamResampler resampler(44100, 8000);
            QVector<qint16> pieces;
            for (qsizetype at = 0; at < in.size(); at += block)
                pieces += resampler.process(in.constData() + at, qMin(block, in.size() - at));
            pieces += resampler.finish();
            QCOMPARE(pieces.size(), whole.size());
            QVERIFY2(pieces == whole, qPrintable(QString("blocks of %1").arg(block)));
        }
        // The same rate passes through untouched.
        StreamResampler same(8000, 8000);
        QCOMPARE(same.process(in.constData(), 100), in.mid(0, 100));
        QVERIFY(same.finish().isEmpty());
    }

    void recordingHeaderHasTheFixedLayout()
    {
        const QByteArray h = wav::muLawHeader(80000);
        QCOMPARE(h.size(), 44);
        QCOMPARE(h.left(4), QByteArray("RIFF"));
        QCOMPARE(qFromLittleEndian<quint32>(h.constData() + 4), 80036u);
        QCOMPARE(h.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(qFromLittleEndian<quint32>(h.constData() + 16), 16u);
        QCOMPARE(qFromLittleEndian<quint16>(h.constData() + 20), quint16(7));
        QCOMPARE(qFromLittleEndian<quint16>(h.constData() + 22), quint16(1));
        QCOMPARE(qFromLittleEndian<quint32>(h.constData() + 24), 8000u);
        QCOMPARE(qFromLittleEndian<quint32>(h.constData() + 28), 8000u);
        QCOMPARE(qFromLittleEndian<quint16>(h.constData() + 32), quint16(1));
        QCOMPARE(qFromLittleEndian<quint16>(h.constData() + 34), quint16(8));
        QCOMPARE(h.mid(36, 4), QByteArray("data"));
        QCOMPARE(qFromLittleEndian<quint32>(h.constData() + 40), 80000u);
    }

    void readsPcmAndMuLawFiles()
    {
        QTemporaryDir dir;
        const QString pcmPath = dir.filePath("tone.wav");
        QVERIFY(test::writePcmWav(pcmPath, test::tone(700, 0.5, 16000), 16000));
        Result<wav::PcmSound> pcm = wav::read(pcmPath);
        QVERIFY2(pcm.isOk(), qPrintable(pcm.status().toString()));
        QCOMPARE(pcm->sampleRate, 16000);
        QCOMPARE(pcm->samples.size(), 8000);

        // A recording file is readable as a greeting.
        QVector<qint16> t = test::tone(500, 0.25, 8000);
        QByteArray ulaw(t.size(), 0);
        g711::encodeUlaw(t.constData(), reinterpret_cast<quint8*>(ulaw.data()), t.size());
        const QString muPath = dir.filePath("rec.wav");
        QFile f(muPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(wav::muLawFile(ulaw));
        f.close();
        Result<wav::PcmSound> mu = wav::read(muPath);
        QVERIFY2(mu.isOk(), qPrintable(mu.status().toString()));
        QCOMPARE(mu->samples.size(), t.size());
        QVERIFY(test::tonePower(mu->samples, 500, 8000) > 0.9);
    }

    void floatFilesKeepTheirLoudness_data()
    {
        QTest::addColumn<int>("bits");
        QTest::newRow("32-bit float") << 32;
        QTest::newRow("64-bit float") << 64;
    }

    void floatFilesKeepTheirLoudness()
    {
        QFETCH(int, bits);
        QTemporaryDir dir;
        const QString path = dir.filePath("float.wav");
        const QVector<qint16> t = test::tone(440, 0.5, 22050, 12000);
        QVERIFY(test::writeFloatWav(path, t, 22050, bits));
        Result<wav::PcmSound> sound = wav::read(path);
        QVERIFY2(sound.isOk(), qPrintable(sound.status().toString()));
        QCOMPARE(sound->sampleRate, 22050);
        QCOMPARE(sound->samples.size(), t.size());
        // Sample for sample what was written, not silence.
        int worst = 0;
        for (qsizetype i = 0; i < t.size(); ++i)
            worst = qMax(worst, qAbs(sound->samples[i] - t[i]));
        QVERIFY2(worst <= 2, qPrintable(QString::number(worst)));
    }

    void unreadableFilesFail()
    {
        QTemporaryDir dir;
        QCOMPARE(wav::read(dir.filePath("missing.wav")).status().code(), err::FileNotFound);
        QFile text(dir.filePath("text.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("this is not sound\n");
        text.close();
        QVERIFY(!wav::read(text.fileName()).isOk());
    }

    void aFileReadInBlocksIsTheWholeFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("tone.wav");
        const QVector<qint16> t = test::tone(300, 1.1, 11025);
        QVERIFY(test::writePcmWav(path, t, 11025));
        Result<std::unique_ptr<wav::Reader>> reader = wav::Reader::open(path);
        QVERIFY2(reader.isOk(), qPrintable(reader.status().toString()));
        QCOMPARE(reader.value()->sampleRate(), 11025);
        QVector<qint16> blocks;
        for (;;) {
            Result<qsizetype> got = reader.value()->read(blocks, 5000);
            QVERIFY(got.isOk());
            QVERIFY(got.value() <= 5000);
            if (got.value() == 0)
                break;
        }
        QCOMPARE(blocks, wav::read(path)->samples);
        QCOMPARE(blocks.size(), t.size());
    }

    // Files no greeting can be: each refused at once, saying why, and nothing read or
    // waited for (a FIFO would block its reader for good, a device never ends, a sparse
    // file can claim gigabytes).
    void filesThatAreNoSoundAreRefusedAtOnce()
    {
        QTemporaryDir dir;
        const QString huge = dir.filePath("huge.wav");
        QVERIFY(test::writeSparseWav(huge, 0x7FFFFF00u)); // 2 GB: 37 hours at 8 kHz
        Result<wav::PcmSound> sound = wav::read(huge);
        QCOMPARE(sound.status().code(), err::InvalidArg);
        QVERIFY2(sound.status().description().contains("lasts 2237.0 minutes") &&
                     sound.status().description().contains("at most 10 minutes"),
                 qPrintable(sound.status().description()));
        // Ten minutes exactly is still a sound.
        const QString longest = dir.filePath("longest.wav");
        QVERIFY(test::writeSparseWav(longest, 600 * 8000 * 2));
        QVERIFY(wav::Reader::open(longest).isOk());

        const QString fifo = dir.filePath("fifo.wav");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QDir().mkpath(dir.filePath("folder.wav")));
        const struct {
            QString path;
            const char* told;
        } odd[] = {{fifo, "is a named pipe (FIFO), not a file"},
                   {dir.filePath("folder.wav"), "is a folder, not a file"},
                   {QStringLiteral("/dev/zero"), "is a device, not a file"}};
        for (const auto& o : odd) {
            const Status s = wav::read(o.path).status();
            QCOMPARE(s.code(), err::InvalidArg);
            QVERIFY2(s.description() == o.path + " " + o.told, qPrintable(s.description()));
            QCOMPARE(checkRegularFile(o.path).description(), s.description());
            QCOMPARE(wav::isWaveFile(o.path), wav::WaveCheck::CannotOpen);
        }
        QCOMPARE(checkRegularFile(dir.filePath("none")).code(), err::FileNotFound);
        QVERIFY(checkRegularFile(longest));
    }

    void aConfigurationFileIsReadWithinItsBound()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("small.conf");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("0123456789");
        f.close();
        QCOMPARE(readRegularFile(path, 10).value(), QByteArray("0123456789"));
        const Status over = readRegularFile(path, 9).status();
        QCOMPARE(over.code(), err::InvalidArg);
        QVERIFY2(over.description().contains("has 10 bytes; at most 9"),
                 qPrintable(over.description()));
        QVERIFY(readRegularFile(QStringLiteral("/dev/zero"), 1 << 20)
                    .status()
                    .description()
                    .endsWith("is a device, not a file"));
    }

    void waveCheckLooksOnlyAtTheRiffHeader()
    {
        QTemporaryDir dir;
        auto write = [&](const char* name, const QByteArray& bytes) {
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
            return f.fileName();
        };
        QCOMPARE(wav::isWaveFile(dir.filePath("none.wav")), wav::WaveCheck::CannotOpen);
        QCOMPARE(wav::isWaveFile(write("text.wav", "hello world, no riff")),
                 wav::WaveCheck::NotWave);
        QCOMPARE(wav::isWaveFile(write("avi.wav", QByteArray("RIFF\x10\0\0\0AVI LIST", 16))),
                 wav::WaveCheck::NotWave);
        // A damaged format chunk still passes: only playing can show the damage.
        QCOMPARE(wav::isWaveFile(write("bad.wav", QByteArray("RIFF\x04\0\0\0WAVEjunkjunk", 20))),
                 wav::WaveCheck::Wave);
        QCOMPARE(wav::isWaveFile(write("short.wav", "RIFF")), wav::WaveCheck::NotWave);
    }
};

QTEST_GUILESS_MAIN(TestAudio)
#include "TestAudio.moc"
