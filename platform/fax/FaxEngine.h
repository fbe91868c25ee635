#pragma once

// One fax session over a call's audio: T.30 with the V.27ter, V.29 and V.17 modems of
// spandsp, fed sample for sample by the call's audio device. Sending reads a TIFF-F file,
// receiving writes one.
//
// Thread: exchange() runs on the audio device's clock thread; progress() and hangUp() from
// any thread. The session's state is behind one lock, held only for a step of audio.

#include "platform/fax/TiffFax.h"

#include <QMutex>
#include <QString>

#include <functional>
#include <memory>

namespace orvane::fax {

struct FaxOptions {
    bool v17 = true;      // offer 14,400 bit/s; without it 9,600 is the fastest
    bool ecm = true;      // error correction mode
    QString ident;        // our station identity, at most 20 characters
    TiffLimits limits;    // what a received fax may hold
    int maxMinutes = 120; // line time after which a session is given up
    // Line time the far end has to show itself a fax machine: a voice caller can keep the
    // modems' own timers from running out by talking.
    int negotiateSeconds = 40;
};

struct FaxProgress {
    // How a finished session went.
    enum class Outcome {
        Running,
        Completed, // every page went through
        NotFax,    // the far end never answered as a fax machine
        Dropped,   // the far end hung up or the call broke off during the exchange
        Failed,    // anything else: a bad document, a failed exchange, a fax over the limits
    };

    bool negotiated = false; // the far end answered as a fax machine (phase B)
    int pagesDone = 0;       // pages sent, or received
    bool lastPageIn = false; // receiving: the sender said the last page was its last
    int bitRate = 0;
    bool t38 = false;      // carried as T.38 packets, not as audio
    bool switched = false; // the call changed transport on the way (see FaxCallSession)
    bool ecm = false;      // the pages went with error correction
    int ecmRetries = 0;    // error-corrected frames sent again
    qint64 samples = 0;    // line time so far, 8,000 a second
    Outcome outcome = Outcome::Running;
    QString reason; // what went wrong, for the log
};

class FaxEngine {
public:
    enum class Role { Send, Receive };

    // `file`: the TIFF-F document to send, or the file to receive into. `finished` runs
    // once, on the thread that ends the session (the audio thread, or hangUp()'s caller),
    // and must be quick.
    FaxEngine(Role role, const QString& file, const FaxOptions& options,
              std::function<void()> finished);
    // The same session carried as T.38: IFP packets instead of audio. `sendIfp` runs, under
    // the engine's lock on the thread that steps it, with each IFP to send and how many
    // times spandsp wants it sent (it repeats the ones that matter most).
    using IfpSink = std::function<void(const QByteArray& ifp, int count)>;
    FaxEngine(Role role, const QString& file, const FaxOptions& options,
              std::function<void()> finished, IfpSink sendIfp);
    ~FaxEngine();
    FaxEngine(const FaxEngine&) = delete;
    FaxEngine& operator=(const FaxEngine&) = delete;

    // One step of the call: mu-law from the far end in, mu-law to it out.
    void exchange(const quint8* in, quint8* out, qsizetype count);
    // T.38: `samples` of line time have passed (the session's timers run on it).
    void step(qsizetype samples);
    // T.38: an IFP from the far end, with its UDPTL sequence number.
    void takeIfp(quint16 sequence, const QByteArray& ifp);
    bool isT38() const { return bool(m_sendIfp); }
    FaxProgress progress() const;
    // The call is gone: a session still running ends as a dropped call.
    void hangUp();

    Role role() const { return m_role; }

private:
    struct Session;
    struct Handlers; // spandsp's callbacks
    friend struct Handlers;
    void finishLocked(FaxProgress::Outcome outcome, const QString& reason);
    // Configures the T.30 side of the session, whatever carries it.
    void setUpT30(const FaxOptions& options);
    // The line time of a step, and the session's own deadlines.
    void advanceLocked(qsizetype samples);
    void checkLimitsLocked();
    // What spandsp counted of the transfer so far.
    void takeStatisticsLocked();

    const Role m_role;
    const FaxOptions m_options;
    std::function<void()> m_finished;
    IfpSink m_sendIfp;
    mutable QMutex m_mutex;
    std::unique_ptr<Session> m_session;
    FaxProgress m_progress;
    bool m_notify = false; // finished, and `m_finished` still to run
};

} // namespace orvane::fax
