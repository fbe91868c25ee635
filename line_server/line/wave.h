#pragma once

// Recording the caller: one buffer of `seconds` x 8000 bytes of 8 kHz mu-law from the
// call's audio device, and the recording file written from it (saveRecordingFile, which the
// line's RecordingKeeper calls with what was recorded).
//
// Thread: the line's thread, except the completion, which runs on the device's clock
// thread and only marks the recording done.

#include "platform/Status.h"

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <cstdlib>
#include <memory>

namespace orvane {

class WaveDevice;
struct WaveInBuffer;

// Writes `data` as the recording file `folder`/`name` (or `name` with a "-1", "-2"...
// suffix when that file exists), never leaving a partial file under a final name nor
// replacing a file. Returns the name written. When the finished file cannot be given its
// name, it stays under its hidden part name: the error says so, and `keptPart` gets it.
Result<QString> saveRecordingFile(const QString& folder, const QString& name,
                                  const QByteArray& data, QString* keptPart = nullptr);

class WaveRecorder {
public:
    WaveRecorder();
    ~WaveRecorder();

    enum class Start { Started, DeviceFailed };
    // Opens the device, queues the one buffer and starts recording. No device, or one that
    // cannot be started, gives DeviceFailed (nothing runs); a buffer that cannot be
    // allocated or queued is an error.
    Result<Start> StartRecording(qint16 seconds, std::shared_ptr<WaveDevice> device);
    // Waits until the buffer is full, at most `timeoutMs`, or until cutShort(). True when it
    // is full.
    bool waitDone(int timeoutMs);
    // From any thread: this and every later waitDone() returns at once (the line is going).
    void cutShort();
    bool recordDone() const { return m_recordDone.load() != 0; }
    bool isOpen() const { return m_device != nullptr; }
    // Resets and closes the device; the buffer keeps what was recorded.
    void StopRecording();
    // What was recorded so far, without a copy: valid until the recorder is reset or
    // records again (copy it to keep it).
    QByteArray recordedView() const;
    // The recording is over and saved (or abandoned): back to idle.
    void reset();

    qsizetype bytesRecorded() const;

private:
    void WaveInProc();

    std::shared_ptr<WaveDevice> m_device;
    std::unique_ptr<WaveInBuffer> m_header;
    std::unique_ptr<quint8, void (*)(void*)> m_buffer{nullptr, &std::free};
    std::atomic<int> m_recordDone{0};
    bool m_cutShort = false; // under m_doneMutex
    QMutex m_doneMutex;
    QWaitCondition m_doneChanged;
};

} // namespace orvane
