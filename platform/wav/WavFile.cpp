#include "platform/wav/WavFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace orvane::wav {

namespace {

void putLe32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void putLe16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

} // namespace

Result<PcmSound> read(const QString& path)
{
    if (!QFileInfo::exists(path))
        return Status(err::FileNotFound, QStringLiteral("The file %1 does not exist").arg(path));
    SF_INFO info{};
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file(
        sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), sf_close);
    if (!file)
        return Status(err::Fail, QStringLiteral("Cannot read %1: %2")
                                     .arg(path, QString::fromUtf8(sf_strerror(nullptr))));
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX)
        return Status(err::Fail, QStringLiteral("%1 is not a wave file").arg(path));
    if (info.channels < 1 || info.samplerate < 1000 || info.samplerate > 384000)
        return Status(err::Fail, QStringLiteral("%1 has an unusable format").arg(path));

    PcmSound sound;
    sound.sampleRate = info.samplerate;
    const int channels = info.channels;
    // Read as float, whatever the file holds: libsndfile scales every integer and G.711
    // format to -1..1 exactly, and float files (which read as shorts would round to
    // silence) keep their own loudness.
    QVector<float> block(4096 * channels);
    sound.samples.reserve(qsizetype(qMin<sf_count_t>(info.frames, 1 << 26)));
    for (;;) {
        const sf_count_t frames = sf_readf_float(file.get(), block.data(), 4096);
        if (frames <= 0)
            break;
        for (sf_count_t f = 0; f < frames; ++f) {
            double sum = 0;
            for (int c = 0; c < channels; ++c)
                sum += block[qsizetype(f * channels + c)];
            const double scaled = std::round(sum / channels * 32768.0);
            // A float file may hold anything, NaN included: what is no sample is silence.
            sound.samples.append(
                std::isfinite(scaled) ? qint16(std::clamp(scaled, -32768.0, 32767.0)) : 0);
        }
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR)
        return Status(err::Fail, QStringLiteral("Cannot read %1: %2")
                                     .arg(path, QString::fromUtf8(sf_strerror(file.get()))));
    return sound;
}

QByteArray muLawHeader(quint32 dataBytes)
{
    QByteArray h;
    h.reserve(kMuLawHeaderSize);
    h.append("RIFF", 4);
    putLe32(h, 36 + dataBytes);
    h.append("WAVE", 4);
    h.append("fmt ", 4);
    putLe32(h, 16);
    putLe16(h, kFormatTagMuLaw);
    putLe16(h, 1);    // channels
    putLe32(h, 8000); // samples per second
    putLe32(h, 8000); // bytes per second
    putLe16(h, 1);    // block alignment
    putLe16(h, 8);    // bits per sample
    h.append("data", 4);
    putLe32(h, dataBytes);
    return h;
}

QByteArray muLawFile(const QByteArray& data)
{
    return muLawHeader(quint32(data.size())) + data;
}

WaveCheck isWaveFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return WaveCheck::CannotOpen;
    const QByteArray head = file.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return WaveCheck::NotWave;
    return WaveCheck::Wave;
}

} // namespace orvane::wav
