#pragma once

// A thread that moves calls' media, so that a server's calls use more than one core: a
// libre loop of its own (re_thread_init) that reads the RTP sockets handed to it, and a
// media clock (every 20 ms) that steps each of its calls' audio. Everything else of a call
// (signalling, RTCP, T.38 datagrams) stays on the SIP loop, which hands a call over once
// its audio starts and takes it back when its audio is over.
//
// Thread: start(), stop(), run(), call() and calls() from any other thread; take() and
// the socket functions on the loop's own.

#include "platform/Status.h"

#include <QList>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <thread>

struct mqueue;
struct tmr;
struct udp_sock;

namespace orvane::sip {

class SipCall;

class MediaLoop {
public:
    MediaLoop() = default;
    ~MediaLoop();
    MediaLoop(const MediaLoop&) = delete;
    MediaLoop& operator=(const MediaLoop&) = delete;

    // The thread and its loop, able to watch `maxDescriptors` descriptors.
    Status start(int maxDescriptors);
    // Lets go of every socket it reads (their calls stay with the SIP loop, which ends
    // them) and ends the thread.
    void stop();

    // Runs `work` on the loop's thread, later.
    void run(std::function<void()> work);
    // Runs `work` there and waits for it.
    void call(const std::function<void()>& work);

    // The calls it moves now (for spreading calls over loops).
    int calls() const { return m_calls.load(std::memory_order_relaxed); }

    // --- the loop's thread -----------------------------------------------------------
    // Reads `socket` (the call's RTP) and steps `call` every 20 ms from now on. When its
    // step says its audio is over, the call goes back to the SIP loop (`over`, there).
    void take(const std::shared_ptr<SipCall>& call, struct udp_sock* socket,
              std::function<void(std::shared_ptr<SipCall>)> over);
    // Stops reading `socket`: its call lets go of it (the call is still stepped).
    void letGo(struct udp_sock* socket);

private:
    void loop(std::promise<Status> started, int maxDescriptors);
    static void onWork(int id, void* data, void* arg);
    static void onClock(void* arg);

    std::thread m_thread;
    std::thread::id m_loopThread;
    mqueue* m_queue = nullptr;
    ::tmr* m_clock = nullptr;
    struct Taken {
        std::shared_ptr<SipCall> call;
        struct udp_sock* socket;
        std::function<void(std::shared_ptr<SipCall>)> over;
    };
    QList<Taken> m_taken;
    std::atomic<int> m_calls{0};
};

} // namespace orvane::sip
