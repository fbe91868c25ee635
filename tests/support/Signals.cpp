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

bool writePcmWav(const QString& path, const QVector<qint16>& samples, int rate)
{
    QByteArray out;
    auto le32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    auto le16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    const quint32 bytes = quint32(samples.size() * 2);
    out.append("RIFF", 4);
    le32(36 + bytes);
    out.append("WAVEfmt ", 8);
    le32(16);
    le16(1);
    le16(1);
    le32(quint32(rate));
    le32(quint32(rate * 2));
    le16(2);
    le16(16);
    out.append("data", 4);
    le32(bytes);
    for (qint16 s : samples)
        le16(quint16(s));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
}

bool writeFloatWav(const QString& path, const QVector<qint16>& samples, int rate, int bits)
{
    QByteArray data;
    for (qint16 s : samples) {
        if (bits == 64) {
            char b[8];
            qToLittleEndian(s / 32768.0, b);
            data.append(b, 8);
        } else {
            char b[4];
            qToLittleEndian(float(s / 32768.0), b);
            data.append(b, 4);
        }
    }
    QByteArray out;
    auto le32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    auto le16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    const quint16 width = quint16(bits / 8);
    out.append("RIFF", 4);
    le32(quint32(4 + 24 + 12 + 8 + data.size()));
    out.append("WAVEfmt ", 8);
    le32(16);
    le16(3); // IEEE float
    le16(1);
    le32(quint32(rate));
    le32(quint32(rate * width));
    le16(width);
    le16(quint16(bits));
    out.append("fact", 4);
    le32(4);
    le32(quint32(samples.size()));
    out.append("data", 4);
    le32(quint32(data.size()));
    out.append(data);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
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
