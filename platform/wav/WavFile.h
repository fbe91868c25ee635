#pragma once

// WAV files: reading any PCM, float or G.711 WAV (libsndfile), whole or a block at a time,
// writing the fixed 44-byte mu-law layout of the recording files and 16-bit PCM (a
// recording exported for programs that take no mu-law), and the quick RIFF/WAVE test used
// before a file is accepted as a greeting.

#include "platform/Status.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <memory>

namespace orvane::wav {

// The longest sound read. A longer file (or one whose header claims to be longer, as a
// sparse file of gigabytes may) is refused before any of it is read: ten minutes is far
// beyond any greeting, and at telephone rate its sound stays under 10 MB.
constexpr int kMaxSeconds = 600;

// A mono sound: the channels of a file are averaged.
struct PcmSound {
    int sampleRate = 0;
    QVector<qint16> samples;
};

// A wave file read a block at a time, so that memory stays bounded whatever its size.
class Reader {
public:
    // Only a regular wave file of at most kMaxSeconds opens; otherwise the reason.
    static Result<std::unique_ptr<Reader>> open(const QString& path);
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    int sampleRate() const { return m_sampleRate; }
    // Up to `frames` more mono samples appended to `out`; 0 at the end.
    Result<qsizetype> read(QVector<qint16>& out, qsizetype frames);

private:
    Reader() = default;
    struct File;
    std::unique_ptr<File> m_file;
    QString m_path;
    int m_sampleRate = 0;
    int m_channels = 0;
    qint64 m_left = 0; // frames still to read
    QVector<float> m_block;
};

// The whole file (at most kMaxSeconds).
Result<PcmSound> read(const QString& path);

// The recording file layout: "RIFF", 36 + n, "WAVE", a 16-byte "fmt " chunk for 8 kHz 8-bit
// mono mu-law (format tag 7), "data", n.
constexpr int kMuLawHeaderSize = 44;
constexpr quint16 kFormatTagMuLaw = 7;
QByteArray muLawHeader(quint32 dataBytes);
QByteArray muLawFile(const QByteArray& data);

// A 16-bit PCM mono file of `sound`: the same 44-byte layout with format tag 1, the samples
// little-endian. Fails for a rate no wave file can hold or a sound too long for one.
Result<QByteArray> pcm16File(const PcmSound& sound);

// Only the RIFF chunk at the start and its form type are examined.
enum class WaveCheck { Wave, CannotOpen, NotWave };
WaveCheck isWaveFile(const QString& path);

} // namespace orvane::wav
