#include "Signals.h"

#include "platform/audio/G711.h"

#include <QFile>
#include <QtEndian>

#include <cmath>

namespace orvane::test {

QVector<qint16> tone(double hz, double seconds, int rate, double amplitude)
{
    QVector<qint16> samples(qsizetype(seconds * rate));
    for (qsizetype i = 0; i < samples.size(); ++i)
        samples[i] = qint16(amplitude * std::sin(2 * M_PI * hz * double(i) / rate));
    return samples;
}

namespace {

template <typename T>
void appendLe(QByteArray& out, T value)
{
    char b[sizeof(T)];
    qToLittleEndian(value, b);
    out.append(b, sizeof(T));
}

// A mono WAV file of `frames` samples of `bits` each in the format `tag` (1 PCM, 3 float;
// float files carry the fact chunk), with `data` as its samples.
bool writeWav(const QString& path, quint16 tag, int bits, int rate, qsizetype frames,
              const QByteArray& data)
{
    const quint16 width = quint16(bits / 8);
    QByteArray fmt;
    appendLe<quint16>(fmt, tag);
    appendLe<quint16>(fmt, 1);
    appendLe<quint32>(fmt, quint32(rate));
    appendLe<quint32>(fmt, quint32(rate * width));
    appendLe<quint16>(fmt, width);
    appendLe<quint16>(fmt, quint16(bits));
    QByteArray chunks = "fmt ";
    appendLe<quint32>(chunks, quint32(fmt.size()));
    chunks += fmt;
    if (tag != 1) {
        chunks += "fact";
        appendLe<quint32>(chunks, 4);
        appendLe<quint32>(chunks, quint32(frames));
    }
    chunks += "data";
    appendLe<quint32>(chunks, quint32(data.size()));
    chunks += data;
    QByteArray out = "RIFF";
    appendLe<quint32>(out, quint32(4 + chunks.size()));
    out += "WAVE" + chunks;
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
}

} // namespace

bool writePcmWav(const QString& path, const QVector<qint16>& samples, int rate)
{
    QByteArray data;
    for (qint16 s : samples)
        appendLe<qint16>(data, s);
    return writeWav(path, 1, 16, rate, samples.size(), data);
}

bool writeFloatWav(const QString& path, const QVector<qint16>& samples, int rate, int bits)
{
    QByteArray data;
    for (qint16 s : samples) {
        if (bits == 64)
            appendLe<double>(data, s / 32768.0);
        else
            appendLe<float>(data, float(s / 32768.0));
    }
    return writeWav(path, 3, bits, rate, samples.size(), data);
}

bool writeSparseWav(const QString& path, quint32 dataBytes, int rate)
{
    // The header as a real file of that length has it, then a hole up to its end.
    QByteArray out = "RIFF";
    appendLe<quint32>(out, 36 + dataBytes);
    out += "WAVEfmt ";
    appendLe<quint32>(out, 16);
    appendLe<quint16>(out, 1);
    appendLe<quint16>(out, 1);
    appendLe<quint32>(out, quint32(rate));
    appendLe<quint32>(out, quint32(rate * 2));
    appendLe<quint16>(out, 2);
    appendLe<quint16>(out, 16);
    out += "data";
    appendLe<quint32>(out, dataBytes);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size() &&
           f.resize(out.size() + qint64(dataBytes));
}

double tonePower(const QVector<qint16>& samples, double hz, int rate)
{
    if (samples.isEmpty())
        return 0;
    const double k = 2 * std::cos(2 * M_PI * hz / rate);
    double s1 = 0, s2 = 0, total = 0;
    for (qint16 x : samples) {
        const double s = x + k * s1 - s2;
        s2 = s1;
        s1 = s;
        total += double(x) * x;
    }
    const double power = s1 * s1 + s2 * s2 - k * s1 * s2;
    // A pure tone of N samples gives power = total * N / 2.
    return total > 0 ? power / (total * double(samples.size()) / 2) : 0;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

double tonePeak(const QVector<qint16>& samples, double hz, int rate)
{
    const qsizetype window = rate / 5;
    double best = 0;
    for (qsizetype at = 0; at + window <= samples.size(); at += window / 2)
        best = std::max(best, tonePower(samples.mid(at, window), hz, rate));
    return best;
}

QVector<qint16> decodeMuLawFile(const QByteArray& file)
{
    const QByteArray data = file.mid(44);
    QVector<qint16> pcm(data.size());
    g711::decodeUlaw(reinterpret_cast<const quint8*>(data.constData()), pcm.data(), data.size());
    return pcm;
}

} // namespace orvane::test
