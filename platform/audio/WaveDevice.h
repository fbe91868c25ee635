#pragma once

// A call's audio device: what the line media component names by a wave device id. It
// carries 8 kHz audio both ways at the line's own pace, in the wire format its format
// code names (mu-law for every provider here; the recording files are mu-law as well).

#include "platform/Status.h"
#include "platform/audio/Sound.h"

#include <QtGlobal>

#include <functional>
#include <memory>

namespace orvane {

class FaxPacketLine;

// One recording buffer. The device fills `data` from the start and counts in
// `bytesRecorded`; the buffer stays the caller's.
struct WaveInBuffer {
    quint8* data = nullptr;
    qsizetype length = 0;
    qsizetype bytesRecorded = 0;
};

class WaveDevice {
public:
    virtual ~WaveDevice() = default;

    virtual qint32 formatType() const = 0;
    virtual int sampleRate() const = 0;

    // Wave-out. Queues bytes for the caller; blocks while the send queue is full, so a
    // writer runs at the pace of the line. Any thread.
    virtual Status write(const quint8* data, qsizetype size) = 0;
    // Wave-out of linear samples at the device's rate, put into the wire format as they go
    // out. The sound is kept, not copied, and queued whole: the writer waits only while
    // the send queue is full from before.
    virtual Status writeSound(Sound sound) = 0;
    // Returns when every byte written so far has gone out on the line.
    virtual Status drain() = 0;

    // Wave-in. Fills `buffer` with what the caller sends from now on; `done` runs once, on
    // the device's own clock thread, when the buffer is full or the recording is stopped.
    // It must be quick and must not call back into the device. One recording at a time.
    virtual Status startRecording(WaveInBuffer* buffer, std::function<void()> done) = 0;
    // Ends a running recording early. When this returns, `done` has run and will not run
    // again, so the buffer and whatever `done` touches may go.
    virtual void stopRecording() = 0;

    // Full duplex, sample for sample (a fax modem): while attached, `exchange` runs on the
    // device's clock thread at every step with what the far end sent (`in`) and fills what
    // goes to it (`out`), `count` bytes each; queued writes and recordings wait meanwhile.
    // It must be quick and must not call back into the device. One at a time.
    using Exchange = std::function<void(const quint8* in, quint8* out, qsizetype count)>;
    virtual Status attachExchange(Exchange exchange) = 0;
    // When this returns, the exchange has run for the last time.
    virtual void detachExchange() = 0;

    // Hears what the far end sends, beside everything else, on the device's clock thread
    // and under its lock (it must be quick and must not call back into the device). When
    // it returns true it is let go, and what the machine says and records ends at once, as
    // if cut short, so that the line can turn to something else (a fax machine heard
    // calling). An empty listener lets the last one go.
    using Listener = std::function<bool(const quint8* in, qsizetype count)>;
    virtual void setListener(Listener listener) = 0;
    // Whether a listener asked for the interruption since the device was made, or the
    // call turned to carrying a fax as T.38.
    virtual bool interrupted() const = 0;

    // The call's T.38 side, when its line can carry a fax as packets; else null.
    virtual FaxPacketLine* packetLine() { return nullptr; }
};

// Wave device ids of the process. Providers add their call devices; users look them up by
// the id the line media component gave. Thread-safe.
class WaveDeviceRegistry {
public:
    static qint32 add(const std::shared_ptr<WaveDevice>& device);
    static void remove(qint32 id);
    static std::shared_ptr<WaveDevice> find(qint32 id);
};

} // namespace orvane
