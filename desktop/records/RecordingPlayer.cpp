#include "desktop/records/RecordingPlayer.h"

#include "platform/RegularFile.h"
#include "platform/audio/Resampler.h"
#include "platform/audio/SpeakerPlaybackSink.h"
#include "platform/wav/WavFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

// A playback bar moves smoothly at a few updates a second.
constexpr int kPositionEveryMs = 200;

PlaybackSinkFactory& sinkFactory()
{
    static PlaybackSinkFactory f;
    return f;
}

std::unique_ptr<PlaybackSink> makeSink()
{
    if (sinkFactory())
        return sinkFactory()();
    return std::make_unique<SpeakerPlaybackSink>();
}

} // namespace

void setPlaybackSinkFactory(PlaybackSinkFactory factory)
{
    sinkFactory() = std::move(factory);
}

RecordingPlayer::RecordingPlayer(QObject* parent)
    : QObject(parent)
{
    m_tick.setInterval(kPositionEveryMs);
    connect(&m_tick, &QTimer::timeout, this, [this] { emit positionChanged(positionMs()); });
}

RecordingPlayer::~RecordingPlayer()
{
    m_tick.stop();
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
}

Status RecordingPlayer::play(const QString& path)
{
    stop();
    m_source.close();
    m_pcm.clear();
    m_path.clear();
    m_rate = 0;
    Result<wav::PcmSound> sound = wav::read(path);
    if (!sound)
        return sound.status();
    if (!m_sink) {
        m_sink = makeSink();
        connect(m_sink.get(), &PlaybackSink::drained, this, &RecordingPlayer::sinkDrained);
        connect(m_sink.get(), &PlaybackSink::failed, this, &RecordingPlayer::sinkFailed);
    }
    const int rate = m_sink->playbackRate(sound->sampleRate);
    if (rate != sound->sampleRate)
        sound->samples =
            resample(sound->samples.constData(), sound->samples.size(), sound->sampleRate, rate);
    m_pcm = QByteArray(reinterpret_cast<const char*>(sound->samples.constData()),
                       sound->samples.size() * qsizetype(sizeof(qint16)));
    m_source.setBuffer(&m_pcm);
    m_source.open(QIODevice::ReadOnly);
    m_rate = rate;
    m_path = path;
    if (Status s = startAt(0); !s)
        return s;
    setState(State::Playing);
    m_tick.start();
    emit positionChanged(0);
    return {};
}

Status RecordingPlayer::startAt(qint64 byte)
{
    m_sink->stop();
    m_startByte = byte;
    m_source.seek(byte);
    const Status s = m_sink->start(&m_source, m_rate);
    m_sinkRunning = s.isOk();
    return s;
}

void RecordingPlayer::pause()
{
    if (m_state != State::Playing)
        return;
    m_sink->suspend();
    m_tick.stop();
    setState(State::Paused);
    emit positionChanged(positionMs());
}

void RecordingPlayer::resume()
{
    if (m_state != State::Paused)
        return;
    if (m_sinkRunning) {
        m_sink->resume();
    } else if (Status s = startAt(m_startByte); !s) {
        // The sink was let go for a seek while paused, and will not start again.
        sinkFailed(s.description());
        return;
    }
    setState(State::Playing);
    m_tick.start();
}

void RecordingPlayer::stop()
{
    if (m_state == State::Stopped)
        return;
    m_sink->stop();
    m_sinkRunning = false;
    m_startByte = 0;
    m_tick.stop();
    setState(State::Stopped);
    emit positionChanged(0);
}

void RecordingPlayer::seek(qint64 ms)
{
    if (m_state == State::Stopped)
        return;
    const qint64 frames =
        qBound<qint64>(0, ms * m_rate / 1000, m_pcm.size() / qint64(sizeof(qint16)));
    const qint64 byte = frames * qint64(sizeof(qint16));
    if (m_state == State::Playing) {
        if (Status s = startAt(byte); !s) {
            sinkFailed(s.description());
            return;
        }
    } else {
        // Paused: no sound until resume() starts there.
        m_sink->stop();
        m_sinkRunning = false;
        m_startByte = byte;
    }
    emit positionChanged(positionMs());
}

qint64 RecordingPlayer::msOf(qint64 bytes) const
{
    return m_rate > 0 ? bytes / qint64(sizeof(qint16)) * 1000 / m_rate : 0;
}

qint64 RecordingPlayer::positionMs() const
{
    if (m_state == State::Stopped)
        return 0;
    const qint64 played = m_startByte + (m_sinkRunning ? m_sink->playedBytes() : 0);
    return msOf(qMin<qint64>(played, m_pcm.size()));
}

qint64 RecordingPlayer::durationMs() const
{
    return msOf(m_pcm.size());
}

void RecordingPlayer::setState(State state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void RecordingPlayer::sinkDrained()
{
    if (m_state == State::Stopped)
        return;
    m_sink->stop();
    m_sinkRunning = false;
    m_tick.stop();
    // The bar reaches the end before the player goes back to the start.
    m_startByte = m_pcm.size();
    emit positionChanged(durationMs());
    m_startByte = 0;
    setState(State::Stopped);
    emit finished();
}

void RecordingPlayer::sinkFailed(const QString& why)
{
    if (m_state == State::Stopped)
        return;
    stop();
    emit failed(why);
}

namespace {

// Whether two paths name one file (the same path, a link to it, or a hard link).
bool sameFile(const QString& a, const QString& b)
{
    struct stat sa {
    }, sb{};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

Status cannotWrite(const QString& target, const QString& why)
{
    return Status(err::Fail,
                  QCoreApplication::translate("orvane::RecordingPlayer", "Cannot write %1: %2")
                      .arg(target, why));
}

// The source's bytes into `out`, in blocks.
Status copyBytes(const QString& source, QSaveFile& out)
{
    Result<int> fd = openRegularFile(source);
    if (!fd)
        return fd.status();
    QFile in;
    if (!in.open(fd.value(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd.value());
        return Status(err::Fail,
                      QCoreApplication::translate("orvane::RecordingPlayer", "Cannot read %1: %2")
                          .arg(source, in.errorString()));
    }
    QByteArray block(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 got = in.read(block.data(), block.size());
        if (got < 0)
            return Status(err::Fail, QCoreApplication::translate("orvane::RecordingPlayer",
                                                                 "Cannot read %1: %2")
                                         .arg(source, in.errorString()));
        if (got == 0)
            return {};
        if (out.write(block.constData(), got) != got)
            return cannotWrite(out.fileName(), out.errorString());
    }
}

} // namespace

Status exportRecording(const QString& source, const QString& target, ExportFormat format)
{
    if (target.trimmed().isEmpty())
        return Status(err::InvalidArg,
                      QCoreApplication::translate("orvane::RecordingPlayer",
                                                  "No file was named to export to"));
    if (QFileInfo(target).isDir())
        return Status(err::InvalidArg, QCoreApplication::translate("orvane::RecordingPlayer",
                                                                   "%1 is a folder, not a file")
                                           .arg(target));
    if (sameFile(source, target))
        return Status(
            err::InvalidArg,
            QStringLiteral("%1 is the recording itself; it is not written over").arg(target));

    // A Pcm16 export reads and converts the whole sound before the target is touched.
    QByteArray converted;
    if (format == ExportFormat::Pcm16) {
        Result<wav::PcmSound> sound = wav::read(source);
        if (!sound)
            return sound.status();
        Result<QByteArray> file = wav::pcm16File(sound.value());
        if (!file)
            return file.status();
        converted = std::move(file.value());
    } else if (Status s = checkRegularFile(source); !s) {
        return s;
    }

    // Written beside the target and renamed onto it once complete: a failure leaves no part
    // of a file, and a file that was there stays as it was.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return cannotWrite(target, out.errorString());
    Status s;
    if (format == ExportFormat::Pcm16) {
        if (out.write(converted) != converted.size())
            s = cannotWrite(target, out.errorString());
    } else {
        s = copyBytes(source, out);
    }
    if (!s) {
        out.cancelWriting();
        return s;
    }
    if (!out.commit())
        return cannotWrite(target, out.errorString());
    return {};
}

} // namespace orvane
