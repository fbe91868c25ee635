#pragma once

// The fax component: one fax job at a time on one telephone line. A send job prepares the
// document, dials the number and sends the pages; a receive job answers the next call on
// the line and receives one fax into a folder, printing it on arrival if asked to. The job's
// state is a status text (FaxStatus.h); its final texts say how it ended.
//
// Thread: created and used on one thread with an event loop (a line's thread); the audio
// runs on the call's own clock thread. Document conversion runs on a worker thread.

#include "platform/Status.h"
#include "platform/audio/WaveDevice.h"
#include "platform/fax/Fax.h"
#include "platform/fax/FaxCallSession.h"
#include "platform/fax/FaxDocument.h"
#include "platform/fax/FaxEngine.h"
#include "platform/telephony/Telephony.h"

#include <QFutureWatcher>
#include <QObject>
#include <QTemporaryDir>

#include <memory>

namespace orvane::fax {

class FaxMachine : public QObject, public Fax, private TapiEventReceiver {
    Q_OBJECT

public:
    // The telephony provider of the configuration, or the given one.
    explicit FaxMachine(std::unique_ptr<Telephony> telephony = {}, QObject* parent = nullptr);
    ~FaxMachine() override;

    // The six operations.
    void chooseLine(const QString& addressName) override;
    // Starts sending `document` to `number`; returns at once. `folder` keeps a copy of the
    // pages as sent, when it is given and the fax went out.
    Status send(const QString& number, const QString& document, const QString& folder) override;
    QString status() const override;
    // Starts waiting for one fax on the line; returns at once. `printFlag` 1 prints it.
    Status receive(const QString& folder, int printFlag) override;
    // The file name (without folder) of the fax just received.
    QString receivedFile() const override { return m_receivedFile; }
    // Ends the job: a finished job is closed, a running one is hung up.
    void end() override;

    bool running() const override { return m_running; }
    void setOptions(const FaxOptions& options) { m_options = options; }
    // The last failure's explanation, also written to standard error.
    QString lastReason() const override { return m_reason; }
    QString outcome() const override;
    QVariantMap outcomeFacts() const override;
    void onPrintFailed(std::function<void(const QString&, const QString&)> handler) override;
    // Line time of the last fax exchange, in samples (8,000 a second).
    qint64 lastLineSamples() const { return m_lastProgress.samples; }
    // How the last fax exchange went: its transport, speed, pages and error correction.
    FaxProgress lastProgress() const { return m_lastProgress; }

signals:
    // A job has reached a final status.
    void finished(const QString& status);
    // A fax received with the print flag could not be printed (the fax itself is kept).
    void printFailed(const QString& path, const QString& reason);

private:
    enum class Mode { None, Send, Receive };

    void tapiEvent(const TapiEvent& event) override;
    void callStateChanged(const TapiEvent& event);
    Status ensureLine();
    void documentReady(QFutureWatcher<Result<PreparedDocument>>* watcher);
    void keepSentCopy();
    void dial();
    void answerOffered();
    void startExchange();
    void exchangeFinished();
    void keepReceivedFax(const FaxProgress& progress);
    void finish(const char* status, const QString& reason = {});
    void setStatus(const QString& status);
    void hangUpAndRelease();
    void print(const QString& path);
    void printingFailed(const QString& path, const QString& reason);
    // Ending a receive job that is taking a fax: the pages that came are kept as an
    // incomplete fax, a part without a page goes.
    void keepPagesSoFar();

    std::unique_ptr<Telephony> m_telephony;
    bool m_initialized = false;
    QString m_line;
    QString m_boundLine;
    qint32 m_cookie = 0;
    FaxOptions m_options;

    Mode m_mode = Mode::None;
    bool m_running = false;
    QString m_status;
    QString m_reason;

    // Sending.
    QString m_number;
    QString m_keepFolder;
    std::unique_ptr<QTemporaryDir> m_work;
    QFutureWatcher<Result<PreparedDocument>>* m_prepare = nullptr;
    QString m_tiff;
    int m_pages = 0;

    // Receiving.
    QString m_folder;
    int m_printFlag = 0;
    QString m_partPath;
    QString m_receivedFile;

    // The call and its fax session.
    std::shared_ptr<TelephonyCall> m_call;
    std::shared_ptr<FaxCallSession> m_session;
    FaxProgress m_lastProgress;
};

} // namespace orvane::fax
