#pragma once

// One fax session on a call: the fax engine on the call's audio, or on its T.38 packets
// when the line carries them. The session follows the call's transport: when the far end
// switches the call to T.38 (or back), the session starts again on the new transport,
// with the same document or into the same file. The receiving side asks for T.38 as the
// session starts: it runs on a call known to bring a fax (a receive job's, or one whose
// calling tone was heard). A far end that refuses keeps the fax on audio.
//
// Thread: created and used on any thread but the device's clock; `finished` runs on the
// thread that ends the session (the clock's, or hangUp()'s caller) and must be quick.

#include "platform/Status.h"
#include "platform/audio/FaxPacketLine.h"
#include "platform/audio/WaveDevice.h"
#include "platform/fax/FaxEngine.h"

#include <QMutex>

#include <atomic>
#include <memory>

namespace orvane::fax {

class FaxCallSession : public std::enable_shared_from_this<FaxCallSession> {
public:
    static Result<std::shared_ptr<FaxCallSession>> start(const std::shared_ptr<WaveDevice>& device,
                                                         FaxEngine::Role role, const QString& file,
                                                         const FaxOptions& options,
                                                         std::function<void()> finished);
    ~FaxCallSession();
    FaxCallSession(const FaxCallSession&) = delete;
    FaxCallSession& operator=(const FaxCallSession&) = delete;

    FaxProgress progress() const;
    // The call is gone: a session still running ends as a dropped call.
    void hangUp();
    // The session lets go of the device: when this returns, its engine runs no more.
    void stop();

private:
    FaxCallSession(std::shared_ptr<WaveDevice> device, FaxEngine::Role role, QString file,
                   FaxOptions options, std::function<void()> finished);
    // Puts a new engine on the transport the call has now.
    Status run(FaxPacketLine::Transport transport);
    void transportChanged(FaxPacketLine::Transport transport);
    std::shared_ptr<FaxEngine> engine() const;

    const std::shared_ptr<WaveDevice> m_device;
    FaxPacketLine* const m_packets;
    const FaxEngine::Role m_role;
    const QString m_file;
    const FaxOptions m_options;
    const std::function<void()> m_finished;

    // Held while the session moves between transports, and while it stops: the two never
    // cross. Taken before the device's lock, never under it.
    QMutex m_moving;
    mutable QMutex m_mutex;
    std::shared_ptr<FaxEngine> m_engine; // under m_mutex, as all below
    FaxPacketLine::Transport m_on = FaxPacketLine::Transport::Audio;
    qint64 m_samplesBefore = 0; // line time of the engines before the current one
    bool m_stopped = false;
    bool m_hungUp = false;
    // Which engine may tell that the session finished: the current one only.
    std::atomic<int> m_generation{0};
};

} // namespace orvane::fax
