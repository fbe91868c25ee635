#include "platform/fax/FaxCallSession.h"

#include "platform/audio/FaxPacketLine.h"

#include <QLoggingCategory>

namespace orvane::fax {

Q_DECLARE_LOGGING_CATEGORY(faxLog)

using Transport = FaxPacketLine::Transport;

FaxCallSession::FaxCallSession(std::shared_ptr<WaveDevice> device, FaxEngine::Role role,
                               QString file, FaxOptions options, std::function<void()> finished)
    : m_device(std::move(device))
    , m_packets(m_device->packetLine())
    , m_role(role)
    , m_file(std::move(file))
    , m_options(std::move(options))
    , m_finished(std::move(finished))
{}

FaxCallSession::~FaxCallSession()
{
    stop();
}

Result<std::shared_ptr<FaxCallSession>>
FaxCallSession::start(const std::shared_ptr<WaveDevice>& device, FaxEngine::Role role,
                      const QString& file, const FaxOptions& options,
                      std::function<void()> finished)
{
    if (!device)
        return Status(err::NoDevice, QStringLiteral("The call has no audio device"));
    std::shared_ptr<FaxCallSession> session(
        new FaxCallSession(device, role, file, options, std::move(finished)));
    FaxPacketLine* packets = session->m_packets;
    {
        QMutexLocker moving(&session->m_moving);
        if (Status s = session->run(packets ? packets->transport() : Transport::Audio); !s)
            return s;
    }
    if (!packets)
        return session;
    std::weak_ptr<FaxCallSession> weak = session;
    packets->setTransportListener([weak](Transport transport) {
        if (std::shared_ptr<FaxCallSession> self = weak.lock())
            self->transportChanged(transport);
    });
    // A change that came before the listener did.
    session->transportChanged(packets->transport());
    if (role == FaxEngine::Role::Receive)
        packets->askForT38();
    return session;
}

Status FaxCallSession::run(Transport transport)
{
    // Only the current engine tells that the session finished; one it replaced is quiet.
    const int generation = ++m_generation;
    auto finished = [this, generation] {
        if (m_generation == generation && m_finished)
            m_finished();
    };
    std::shared_ptr<FaxEngine> engine;
    if (transport == Transport::T38) {
        FaxPacketLine* packets = m_packets;
        engine = std::make_shared<FaxEngine>(
            m_role, m_file, m_options, finished,
            [packets](const QByteArray& ifp, int count) { packets->sendIfp(ifp, count); });
    } else {
        engine = std::make_shared<FaxEngine>(m_role, m_file, m_options, finished);
    }
    bool hungUp = false;
    {
        QMutexLocker lock(&m_mutex);
        if (m_stopped)
            return Status(err::InvalidState, QStringLiteral("The fax session has ended"));
        m_engine = engine;
        m_on = transport;
        hungUp = m_hungUp;
    }
    if (hungUp) {
        engine->hangUp();
        return {};
    }
    if (transport == Transport::T38)
        return m_packets->attachT38({[engine](qsizetype samples) { engine->step(samples); },
                                     [engine](quint16 sequence, const QByteArray& ifp) {
                                         engine->takeIfp(sequence, ifp);
                                     }});
    return m_device->attachExchange([engine](const quint8* in, quint8* out, qsizetype count) {
        engine->exchange(in, out, count);
    });
}

void FaxCallSession::transportChanged(Transport transport)
{
    QMutexLocker moving(&m_moving);
    {
        QMutexLocker lock(&m_mutex);
        // An answer that changes nothing (a refusal), or a session already over.
        if (m_stopped || transport == m_on || !m_engine ||
            m_engine->progress().outcome != FaxProgress::Outcome::Running)
            return;
    }
    if (m_on == Transport::T38)
        m_packets->detachT38();
    else
        m_device->detachExchange();
    {
        QMutexLocker lock(&m_mutex);
        m_samplesBefore += m_engine->progress().samples;
        m_engine.reset(); // its file is let go before the next engine takes it
    }
    qCDebug(faxLog).noquote() << "the fax session goes on as"
                              << (transport == Transport::T38 ? "T.38" : "audio");
    if (Status s = run(transport); !s)
        qCWarning(faxLog).noquote() << "the fax session cannot go on:" << s.toString();
}

std::shared_ptr<FaxEngine> FaxCallSession::engine() const
{
    QMutexLocker lock(&m_mutex);
    return m_engine;
}

FaxProgress FaxCallSession::progress() const
{
    std::shared_ptr<FaxEngine> current;
    qint64 before = 0;
    {
        QMutexLocker lock(&m_mutex);
        current = m_engine;
        before = m_samplesBefore;
    }
    FaxProgress progress = current ? current->progress() : FaxProgress();
    progress.samples += before;
    progress.switched = m_generation > 1;
    return progress;
}

void FaxCallSession::hangUp()
{
    {
        QMutexLocker lock(&m_mutex);
        m_hungUp = true; // an engine that takes over later starts hung up
    }
    if (std::shared_ptr<FaxEngine> current = engine())
        current->hangUp();
}

void FaxCallSession::stop()
{
    QMutexLocker moving(&m_moving);
    {
        QMutexLocker lock(&m_mutex);
        if (m_stopped)
            return;
        m_stopped = true;
    }
    if (m_packets) {
        m_packets->setTransportListener({});
        m_packets->detachT38();
    }
    m_device->detachExchange();
}

} // namespace orvane::fax
