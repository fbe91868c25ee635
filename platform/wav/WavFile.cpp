#include "platform/wav/WavFile.h"

#include "platform/RegularFile.h"

#include <QFile>
#include <QtEndian>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <unistd.h>

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

struct Reader::File {
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> handle{nullptr, sf_close};
};

Reader::~Reader() = default;

Result<std::unique_ptr<Reader>> Reader::open(const QString& path)
{
    // Opened without ever blocking, and only when it is a regular file.
    Result<int> fd = openRegularFile(path);
    if (!fd)
        return fd.status();
    SF_INFO info{};
    std::unique_ptr<Reader> reader(new Reader);
    reader->m_file = std::make_unique<File>();
    reader->m_file->handle.reset(sf_open_fd(fd.value(), SFM_READ, &info, SF_TRUE));
    if (!reader->m_file->handle) {
        QString why = QString::fromUtf8(sf_strerror(nullptr)).trimmed();
        if (why.endsWith(QLatin1Char('.')))
            why.chop(1);
        return Status(err::Fail, QStringLiteral("%1 is not a wave file (%2)").arg(path, why));
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    if (major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX)
        return Status(err::Fail, QStringLiteral("%1 is not a wave file").arg(path));
    if (info.channels < 1 || info.channels > 64 || info.samplerate < 1000 ||
        info.samplerate > 384000)
        return Status(err::Fail, QStringLiteral("%1 has an unusable format").arg(path));
    if (info.frames > qint64(kMaxSeconds) * info.samplerate)
        return Status(err::InvalidArg,
                      QStringLiteral("%1 lasts %2 minutes; a sound of at most %3 minutes is played")
                          .arg(path)
                          .arg(double(info.frames) / info.samplerate / 60.0, 0, 'f', 1)
                          .arg(kMaxSeconds / 60));
    reader->m_path = path;
    reader->m_sampleRate = info.samplerate;
    reader->m_channels = info.channels;
    reader->m_left = qMax<qint64>(0, info.frames);
    return reader;
}

Result<qsizetype> Reader::read(QVector<qint16>& out, qsizetype frames)
{
    // In blocks of a bounded size, however many channels and frames there are.
    constexpr qsizetype kBlockFrames = 4096;
    qsizetype total = 0;
    while (total < frames && m_left > 0) {
        const qsizetype want = qsizetype(qMin<qint64>(qMin(frames - total, kBlockFrames), m_left));
        m_block.resize(want * m_channels);
        // Read as float, whatever the file holds: libsndfile scales every integer and G.711
        // format to -1..1 exactly, and float files (which read as shorts would round to
        // silence) keep their own loudness.
        const sf_count_t got = sf_readf_float(m_file->handle.get(), m_block.data(), want);
        if (sf_error(m_file->handle.get()) != SF_ERR_NO_ERROR)
            return Status(err::Fail,
                          QStringLiteral("Cannot read %1: %2")
                              .arg(m_path, QString::fromUtf8(sf_strerror(m_file->handle.get()))));
        if (got <= 0) {
            m_left = 0;
            break;
        }
        m_left -= got;
        total += qsizetype(got);
        const qsizetype at = out.size();
        out.resize(at + qsizetype(got));
        for (sf_count_t f = 0; f < got; ++f) {
            double sum = 0;
            for (int c = 0; c < m_channels; ++c)
                sum += m_block[qsizetype(f * m_channels + c)];
            const double scaled = std::round(sum / m_channels * 32768.0);
            // A float file may hold anything, NaN included: what is no sample is silence.
            out[at + qsizetype(f)] =
                std::isfinite(scaled) ? qint16(std::clamp(scaled, -32768.0, 32767.0)) : 0;
        }
    }
    return total;
}

Result<PcmSound> read(const QString& path)
{
    Result<std::unique_ptr<Reader>> reader = Reader::open(path);
    if (!reader)
        return reader.status();
    PcmSound sound;
    sound.sampleRate = reader.value()->sampleRate();
    for (;;) {
        Result<qsizetype> got = reader.value()->read(sound.samples, 4096);
        if (!got)
            return got.status();
        if (got.value() == 0)
            return sound;
    }
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

Result<QByteArray> pcm16File(const PcmSound& sound)
{
    const qint64 dataBytes = qint64(sound.samples.size()) * qint64(sizeof(qint16));
    if (sound.sampleRate < 1 || sound.sampleRate > 384000)
        return Status(
            err::InvalidArg,
            QStringLiteral("A wave file cannot hold sound at %1 Hz").arg(sound.sampleRate));
    // The RIFF size (36 + data) must fit its 32 bits.
    if (dataBytes > qint64(0xFFFFFFFFu) - 36)
        return Status(err::InvalidArg, QStringLiteral("The sound is too long for a wave file"));
    QByteArray f;
    f.reserve(kMuLawHeaderSize + qsizetype(dataBytes));
    f.append("RIFF", 4);
    putLe32(f, quint32(36 + dataBytes));
    f.append("WAVE", 4);
    f.append("fmt ", 4);
    putLe32(f, 16);
    putLe16(f, 1); // PCM
    putLe16(f, 1); // channels
    putLe32(f, quint32(sound.sampleRate));
    putLe32(f, quint32(sound.sampleRate) * 2); // bytes per second
    putLe16(f, 2);                             // block alignment
    putLe16(f, 16);                            // bits per sample
    f.append("data", 4);
    putLe32(f, quint32(dataBytes));
    for (qint16 sample : sound.samples)
        putLe16(f, quint16(sample));
    return f;
}

WaveCheck isWaveFile(const QString& path)
{
    Result<int> fd = openRegularFile(path); // a FIFO would keep us waiting
    QFile file;
    if (!fd)
        return WaveCheck::CannotOpen;
    if (!file.open(fd.value(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd.value());
        return WaveCheck::CannotOpen;
    }
    const QByteArray head = file.read(12);
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return WaveCheck::NotWave;
    return WaveCheck::Wave;
}

} // namespace orvane::wav
