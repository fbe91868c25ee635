#pragma once

// WAV files: reading any PCM or G.711 WAV (libsndfile), writing the fixed 44-byte mu-law
// layout of the recording files, and the quick RIFF/WAVE test used before a file is
// accepted as a greeting.

#include "platform/Status.h"

#include <QByteArray>
#include <QString>
#include <QVector>

namespace orvane::wav {

// A mono sound: the channels of a file are averaged.
struct PcmSound {
    int sampleRate = 0;
    QVector<qint16> samples;
};

Result<PcmSound> read(const QString& path);

// The recording file layout: "RIFF", 36 + n, "WAVE", a 16-byte "fmt " chunk for 8 kHz 8-bit
// mono mu-law (format tag 7), "data", n.
constexpr int kMuLawHeaderSize = 44;
constexpr quint16 kFormatTagMuLaw = 7;
QByteArray muLawHeader(quint32 dataBytes);
QByteArray muLawFile(const QByteArray& data);

// Only the RIFF chunk at the start and its form type are examined.
enum class WaveCheck { Wave, CannotOpen, NotWave };
WaveCheck isWaveFile(const QString& path);

} // namespace orvane::wav
