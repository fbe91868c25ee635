// orvane-make-greeting FILE: writes the default greeting, as the line server plays it to
// callers, into FILE: the sentence in the standard voice, a short pause and a 1 kHz tone, as
// 8 kHz mono mu-law in the layout of the recording files. Run by the build.

#include "platform/audio/AudioOutput.h"
#include "platform/audio/G711.h"
#include "platform/speech/Speech.h"
#include "platform/wav/WavFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <cstdio>

namespace {

const char* const kGreetingText =
    "Hello. You have reached the answering machine. Please leave your message after the tone.";
constexpr int kRate = 8000;

int fail(const QString& why)
{
    std::fprintf(stderr, "orvane-make-greeting: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane-make-greeting FILE\n");
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);

    // A greeting without its sentence would be a bare tone to every caller: better no build.
    orvane::Result<std::unique_ptr<orvane::Speech>> speech = orvane::createSpeech();
    if (!speech)
        return fail(QStringLiteral("no speech engine: %1").arg(speech.status().toString()));
    orvane::CaptureAudioOutput spoken(kRate);
    if (orvane::Status s =
            speech.value()->speak(QString::fromLatin1(kGreetingText), {0, 0, 100}, spoken);
        !s)
        return fail(QStringLiteral("the greeting cannot be spoken: %1").arg(s.toString()));

    QVector<qint16> samples = spoken.samples();
    samples.append(QVector<qint16>(kRate * 3 / 10, 0));
    for (int i = 0; i < kRate / 2; ++i)
        samples.append(qint16(8000 * std::sin(2 * M_PI * 1000 * i / double(kRate))));
    QByteArray ulaw(samples.size(), Qt::Uninitialized);
    orvane::g711::encodeUlaw(samples.constData(), reinterpret_cast<quint8*>(ulaw.data()),
                             samples.size());

    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return fail(QStringLiteral("cannot make the folder of %1").arg(file));
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(orvane::wav::muLawFile(ulaw)) < 0 ||
        !out.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(file, out.errorString()));
    return 0;
}
