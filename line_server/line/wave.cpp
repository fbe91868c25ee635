#include "line_server/line/wave.h"

#include "platform/FreeName.h"

#include "platform/audio/WaveDevice.h"
#include "platform/wav/WavFile.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <unistd.h>

namespace orvane {

WaveRecorder::WaveRecorder() = default;

WaveRecorder::~WaveRecorder()
{
    StopRecording();
}

Result<WaveRecorder::Start> WaveRecorder::StartRecording(qint16 seconds,
                                                         std::shared_ptr<WaveDevice> device)
{
    StopRecording();
    m_recordDone = 0;
    m_device = std::move(device);
    if (!m_device)
        return Start::DeviceFailed;

    // AddWaveInBuffer: one buffer for the whole recording, in 32-bit arithmetic.
    const qint32 bytes = qint32(seconds) * 8000;
    if (bytes < 0) {
        m_device.reset();
        return Status(err::OutOfMemory, QStringLiteral("AddWaveInBuffer: Can Not Allocate Memory"));
    }
    // Zero-filled, and a failure is an answer rather than an exception.
    m_buffer.reset(static_cast<quint8*>(std::calloc(size_t(qMax(bytes, 1)), 1)));
    if (!m_buffer) {
        m_device.reset();
        return Status(err::OutOfMemory, QStringLiteral("AddWaveInBuffer: Can Not Allocate Memory"));
    }
    m_header = std::make_unique<WaveInBuffer>();
    m_header->data = m_buffer.get();
    m_header->length = bytes;
    if (Status s = m_device->startRecording(m_header.get(), [this] { WaveInProc(); }); !s) {
        m_device.reset();
        m_header.reset();
        m_buffer.reset();
        return Status(
            s.code(),
            QStringLiteral("AddWaveInBuffer: Error in waveInAddBuffer (%1)").arg(s.description()));
    }
    return Start::Started;
}

void WaveRecorder::WaveInProc()
{
    // The device's clock thread: mark the buffer done, nothing more.
    QMutexLocker lock(&m_doneMutex);
    m_recordDone = 1;
    m_doneChanged.wakeAll();
}

bool WaveRecorder::waitDone(int timeoutMs)
{
    QMutexLocker lock(&m_doneMutex);
    QDeadlineTimer deadline(timeoutMs);
    while (m_recordDone.load() == 0 && !m_cutShort) {
        if (!m_doneChanged.wait(&m_doneMutex, deadline))
            break;
    }
    return m_recordDone.load() != 0;
}

void WaveRecorder::cutShort()
{
    QMutexLocker lock(&m_doneMutex);
    m_cutShort = true;
    m_doneChanged.wakeAll();
}

void WaveRecorder::StopRecording()
{
    if (!m_device)
        return;
    m_device->stopRecording(); // a running recording returns its buffer as it stands
    m_device.reset();
}

qsizetype WaveRecorder::bytesRecorded() const
{
    return m_header ? m_header->bytesRecorded : 0;
}

QByteArray WaveRecorder::recordedView() const
{
    return m_buffer ? QByteArray::fromRawData(reinterpret_cast<const char*>(m_buffer.get()),
                                              bytesRecorded())
                    : QByteArray();
}

Result<QString> saveRecordingFile(const QString& folder, const QString& name,
                                  const QByteArray& data, QString* keptPart)
{
    QDir dir(folder);
    if (!dir.exists() && !dir.mkpath(QStringLiteral(".")))
        return Status(err::Fail, QStringLiteral("Cannot create the folder %1").arg(folder));

    QTemporaryFile part(dir.filePath(QStringLiteral(".recording-XXXXXX.part")));
    if (!part.open())
        return Status(err::Fail,
                      QStringLiteral("Cannot write in %1: %2").arg(folder, part.errorString()));
    part.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                        QFileDevice::ReadOther);
    // A file that is not whole (a full disk) goes again with the part; the recording stays
    // in memory for the next try.
    const QByteArray header = wav::muLawHeader(quint32(data.size()));
    if (part.write(header) != header.size() || part.write(data) != data.size() || !part.flush() ||
        ::fsync(part.handle()) != 0)
        return Status(
            err::Fail,
            QStringLiteral("Cannot write the recording in %1: %2").arg(folder, part.errorString()));

    const QString partPath = part.fileName();
    part.setAutoRemove(false);
    part.close();

    // The recording is whole on disk: from here on it is never removed, only named.
    const Result<QString> kept = keepUnderFreeName(partPath, folder, name);
    if (!kept && keptPart)
        *keptPart = partPath;
    if (!kept)
        return Status(err::Fail, QStringLiteral("Cannot name the recording %1 (it is kept as "
                                                "%2): %3")
                                     .arg(name, partPath, kept.status().description()));
    return kept.value();
}

void WaveRecorder::reset()
{
    StopRecording();
    m_header.reset();
    m_buffer.reset();
    m_recordDone = 0;
}

} // namespace orvane
