#pragma once

// Test sounds: tones written as WAV files, and a Goertzel detector that finds a tone's
// power in a stretch of samples.

#include <QString>
#include <QVector>

namespace orvane::test {

QVector<qint16> tone(double hz, double seconds, int rate = 8000, double amplitude = 8000);
// Writes 16-bit PCM mono.
bool writePcmWav(const QString& path, const QVector<qint16>& samples, int rate);
// Writes IEEE float mono, 32 or 64 bits a sample.
bool writeFloatWav(const QString& path, const QVector<qint16>& samples, int rate, int bits);
// A 16-bit PCM mono WAV whose data chunk claims `dataBytes`, the file a sparse one of that
// size: gigabytes that take no room on disk.
bool writeSparseWav(const QString& path, quint32 dataBytes, int rate = 8000);
// The relative power of `hz` in `samples` (0..1 of the total power).
double tonePower(const QVector<qint16>& samples, double hz, int rate);
// The largest tonePower of `hz` in any stretch of 0.2 s: how clearly the tone is there
// somewhere, however much else surrounds it.
double tonePeak(const QVector<qint16>& samples, double hz, int rate);
QByteArray readFile(const QString& path);
// Writes `bytes` as the whole file at `path`; false when it cannot.
bool writeFile(const QString& path, const QByteArray& bytes);
// The mu-law data of a recording file (after its 44-byte header), decoded.
QVector<qint16> decodeMuLawFile(const QByteArray& file);

} // namespace orvane::test
