#pragma once

// The SIP side of the process: one libre event loop on one thread serves every configured
// line (its SIP socket, its registration, its calls and their RTP). Other threads reach it
// only through its queue: run() and call() hand it work and, for call(), wait for the
// answer.
//
// Thread: the public functions from any thread; everything libre on the loop's thread.

#include "platform/Status.h"
#include "platform/telephony/EventHub.h"
#include "platform/telephony/sip/SipLinesConfig.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

struct mqueue;
struct tmr;
struct sa;
struct dnsc;

namespace orvane::sip {

class SipCall;
class MediaLoop;
struct SipLine;
struct SipPort;

// libre's digest-credentials handler for a line (`arg` is its SipLine).
int lineCredentials(char** user, char** password, const char* realm, void* arg);

class SipStack {
public:
    static SipStack& instance();

    // Starts the loop and every line of the file (once; later calls return the first result).
    Status start(const LinesFile& file);
    bool running() const;
    // Whether the line's socket opened (after start()).
    Status lineStatus(const QString& name) const;
    // Waits (until `timeoutMs` after the REGISTER went out) for the line's registration to
    // be granted or refused; a line without a registrar needs none. A registration refused
    // earlier is tried anew. Fails with the reason: refused (and how), or no answer in time.
    Status awaitRegistration(const QString& name, int timeoutMs);
    // Ends every call and line and stops the loop; called when the application ends.
    void stop();
    // Whether the server is ending (the application quits): calls that ring now, and new
    // ones, are refused with 503 so that a proxy in front takes them to another server.
    bool stopping() const { return m_stopping.load(); }
    // The server begins to end: from now on it is stopping(), and the calls that ring now
    // are refused (503) at once.
    void refuseRingingCalls();

    EventHub& events() { return m_events; }

    // Runs `work` on the loop's thread, later.
    void run(std::function<void()> work);
    // Runs `work` on the loop's thread and returns its result (at once when called there).
    template <typename T>
    T call(const std::function<T()>& work)
    {
        if (onLoopThread())
            return work();
        auto promise = std::make_shared<std::promise<T>>();
        std::future<T> result = promise->get_future();
        run([work, promise] { promise->set_value(work()); });
        return result.get();
    }
    bool onLoopThread() const;

    // --- the loop's thread only ------------------------------------------------------
    quint64 nextCallId() { return m_nextCall++; }
    dnsc* dns() const { return m_dns; }
    // The call's audio is moved until it is over: by the media loop with the fewest calls,
    // or (no media loops, an encrypted call) by the stack's own media clock. A clock per
    // loop, not a timer per call: a timer a call would cost every re-arm a walk past every
    // other call's timers.
    void keepMedia(const std::shared_ptr<SipCall>& call);
    // The open line of that name, or null.
    SipLine* line(const QString& name) const;
    // Whether a new INVITE from `source` is within the address's rate.
    bool admitFrom(const ::sa& source);
    // The calls the server carries now: ringing, in progress, or recording after the end.
    int callsNow() const;
    const CallLimits& limits() const { return m_limits; }
    // A REGISTER for the line went out.
    void registrationPending(const QString& name);
    // The registrar's answer for a line: granted, or refused with the reason. A line that
    // goes out of service or back in tells its watchers (AE_STATE).
    void registrationOutcome(const QString& name, bool granted, const QString& problem);

private:
    SipStack() = default;
    void loop(std::promise<Status> started);
    QString lineRegistrar(const QString& name) const;
    static void onWork(int id, void* data, void* arg);
    static void onMediaClock(void* arg);
    void startMediaLoops();
    // A media loop is done with the call: its audio is over.
    void mediaOver(const std::shared_ptr<SipCall>& call);

    mutable QMutex m_mutex;
    QMutex m_startMutex;
    std::thread m_thread;
    std::thread::id m_loopThread;
    mqueue* m_queue = nullptr;
    dnsc* m_dns = nullptr;
    bool m_started = false;
    std::atomic<bool> m_stopping{false};
    Status m_startStatus;
    QList<LineConfig> m_config;
    CallLimits m_limits;
    struct InviteBucket {
        double tokens = 0;
        qint64 lastNs = 0;
    };
    QHash<QByteArray, InviteBucket> m_inviteBuckets; // by source address (loop thread)
    QList<SipLine*> m_lines;
    QList<SipPort*> m_ports;
    QHash<SipPort*, Status> m_portStatus;
    QHash<QString, Status> m_lineStatus;
    struct Registration {
        enum Kind { None, Pending, Granted, Refused } kind = None;
        QString problem;
        qint64 askedAtMs = 0; // when the REGISTER went out: lines bound together wait once
    };
    QHash<QString, Registration> m_registrations; // under m_mutex
    QWaitCondition m_registrationChanged;
    QList<std::shared_ptr<SipCall>> m_media; // calls whose audio runs on this loop
    std::vector<std::unique_ptr<MediaLoop>> m_mediaLoops;
    QHash<SipCall*, std::shared_ptr<SipCall>> m_elsewhere; // on a media loop
    ::tmr* m_mediaClock = nullptr;                         // the loop's; made when the loop starts
    EventHub m_events;
    quint64 m_nextCall = 1;
};

} // namespace orvane::sip
