#include "platform/telephony/sip/MediaLoop.h"

#include "platform/SteadyClock.h"
#include "platform/telephony/sip/SipCall.h"

namespace orvane::sip {

namespace {
constexpr int kPacketMs = 20;
} // namespace

MediaLoop::~MediaLoop()
{
    stop();
}

Status MediaLoop::start(int maxDescriptors)
{
    std::promise<Status> started;
    std::future<Status> result = started.get_future();
    m_thread = std::thread(&MediaLoop::loop, this, std::move(started), maxDescriptors);
    const Status status = result.get();
    if (!status)
        m_thread.join();
    return status;
}

void MediaLoop::loop(std::promise<Status> started, int maxDescriptors)
{
    m_loopThread = std::this_thread::get_id();
    // A loop of this thread's own: its descriptors and timers are none of the SIP loop's.
    if (re_thread_init() != 0) {
        started.set_value(Status(err::Fail, QStringLiteral("Cannot start a media loop")));
        return;
    }
    fd_setsize(maxDescriptors);
    m_clock = new ::tmr;
    tmr_init(m_clock);
    if (mqueue_alloc(&m_queue, onWork, this) != 0) {
        delete std::exchange(m_clock, nullptr);
        re_thread_close();
        started.set_value(Status(err::Fail, QStringLiteral("Cannot start a media loop")));
        return;
    }
    started.set_value(Status());
    re_main(nullptr);
    tmr_cancel(m_clock);
    m_queue = static_cast<struct mqueue*>(mem_deref(m_queue));
    delete std::exchange(m_clock, nullptr);
    re_thread_close();
}

void MediaLoop::stop()
{
    if (!m_thread.joinable())
        return;
    run([this] {
        for (Taken& taken : m_taken)
            if (taken.socket)
                udp_thread_detach(std::exchange(taken.socket, nullptr));
        m_taken.clear();
        m_calls = 0;
        re_cancel();
    });
    m_thread.join();
}

void MediaLoop::run(std::function<void()> work)
{
    auto* job = new std::function<void()>(std::move(work));
    if (!m_queue || mqueue_push(m_queue, 0, job) != 0)
        delete job;
}

void MediaLoop::call(const std::function<void()>& work)
{
    if (std::this_thread::get_id() == m_loopThread) {
        work();
        return;
    }
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    run([&work, &done] {
        work();
        done.set_value();
    });
    finished.get();
}

void MediaLoop::onWork(int, void* data, void*)
{
    auto* job = static_cast<std::function<void()>*>(data);
    (*job)();
    delete job;
}

void MediaLoop::take(const std::shared_ptr<SipCall>& call, struct udp_sock* socket,
                     std::function<void(std::shared_ptr<SipCall>)> over)
{
    if (socket && udp_thread_attach(socket) != 0)
        socket = nullptr; // stepped all the same: the recording keeps its length
    m_taken.append({call, socket, std::move(over)});
    ++m_calls;
    if (m_taken.size() == 1)
        tmr_start(m_clock, kPacketMs, onClock, this);
}

void MediaLoop::letGo(struct udp_sock* socket)
{
    for (Taken& taken : m_taken)
        if (taken.socket == socket)
            udp_thread_detach(std::exchange(taken.socket, nullptr));
}

void MediaLoop::onClock(void* arg)
{
    auto* loop = static_cast<MediaLoop*>(arg);
    const qint64 now = steadyNowNs();
    // Each device moves what is due by the clock, so a late tick loses nothing.
    for (qsizetype i = 0; i < loop->m_taken.size();) {
        if (!loop->m_taken.at(i).call->stepMedia(now)) {
            ++i;
            continue;
        }
        Taken done = loop->m_taken.takeAt(i);
        --loop->m_calls;
        if (done.socket)
            udp_thread_detach(done.socket);
        done.over(std::move(done.call));
    }
    if (!loop->m_taken.isEmpty())
        tmr_start(loop->m_clock, kPacketMs, onClock, loop);
}

} // namespace orvane::sip
