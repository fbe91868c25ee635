// Recording the caller, and finishing the recording on the line's timer: save the file,
// hang up, log the call.

#include "line_server/line/ClsTapi.h"
#include "line_server/line/FaxJob.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/StatusTexts.h"
#include "line_server/line/modData.h"
#include "platform/fax/CallingTone.h"
#include "platform/fax/FaxOnCall.h"
#include "platform/fax/FaxOutcome.h"
#include "platform/telephony/CallerText.h"

#include <QTimer>

namespace orvane {

namespace {
// Beyond the recording time itself, how long the line waits for the device's last bytes.
constexpr int kRecordingGraceMs = 2000;
} // namespace

Status ClsTapi::RecordCall()
{
    // A recording whose device never gave its buffer back is finished first, with what it
    // has, for the call it belongs to.
    if (m_recorder.isOpen() || m_recorder.recordDone())
        finishRecording();
    Result<WaveRecorder::Start> started =
        m_recorder.StartRecording(m_settings.recordTime, m_call.device);
    if (!started)
        return started.status();
    if (started.value() == WaveRecorder::Start::DeviceFailed) {
        m_outlet.messageBox(QString::fromLatin1(linemessage::RecorderMissing),
                            QString::fromLatin1(linemessage::Title));
        return {};
    }
    m_recordingCall = RecordingCall{m_call.control, m_call.time};
    m_timer1->start();
    // The line waits out the recording; whatever happens on the line meanwhile (a hang-up,
    // the next caller) is handled after it, and after the recording has been finished for
    // the call it belongs to.
    if (m_recorder.waitDone(int(m_settings.recordTime) * 1000 + kRecordingGraceMs)) {
        if (faxHeard()) {
            // A fax machine, not a voice: what was recorded of its tones is no message.
            m_recorder.StopRecording();
            m_timer1->stop();
            m_recordingCall.reset();
            m_recorder.reset();
            return receiveFax();
        }
        finishRecording();
    }
    return {};
}

void ClsTapi::listenForFax()
{
    if (!m_boundAddress || !m_boundAddress->detectFax || !m_call.device)
        return;
    auto detector = std::make_shared<fax::CallingToneDetector>();
    m_call.device->setListener(
        [detector](const quint8* in, qsizetype count) { return detector->hear(in, count); });
}

bool ClsTapi::faxHeard() const
{
    return m_call.device && m_call.device->interrupted();
}

Status ClsTapi::receiveFax()
{
    writeStatus(status::ReceivingFax);
    qCDebug(lineLog).noquote() << "row" << m_row << "a fax machine calls: taking its fax";
    const std::shared_ptr<TelephonyCall> call = m_call.control;
    const QString appPath = m_keeper.programFolder();
    Result<fax::FaxOnCall> got =
        fax::receiveFaxOnDevice(m_call.device, modData::faxesFolder(appPath), fax::FaxOptions());
    if (call && call->state() != tapi::CS_DISCONNECTED)
        call->disconnect(tapi::DC_NORMAL);
    releaseCall();
    if (!got) {
        qCWarning(lineLog).noquote()
            << "row" << m_row << "fax not received:" << got.status().toString();
        return {};
    }
    if (const QString outcome = fax::outcomeText(got->progress, fax::FaxEngine::Role::Receive);
        !outcome.isEmpty())
        m_outlet.faxEnded(lineName(), outcome, fax::outcomeFacts(got->progress));
    if (got->path.isEmpty()) {
        qCInfo(lineLog).noquote() << "row" << m_row << "no fax came:" << got->progress.reason;
        return {};
    }
    if (Status s = listReceivedFax(m_outlet, appPath, got->path, lineName()); !s) {
        // The fax itself is kept; the user learns why it is not in the list.
        qCCritical(lineLog).noquote()
            << "kept the fax" << got->path << "but could not log it:" << s.toString();
        m_outlet.messageBox(QString::fromLatin1(linemessage::FaxNotLogged)
                                .arg(lineName(), got->path, s.description()),
                            QString::fromLatin1(linemessage::Title));
    }
    return {};
}

void ClsTapi::timer1Tick()
{
    if (!m_recorder.recordDone())
        return;
    finishRecording();
}

void ClsTapi::finishRecording()
{
    m_recorder.StopRecording();
    m_timer1->stop();
    const RecordingCall owner =
        m_recordingCall.value_or(RecordingCall{m_call.control, m_call.time});
    m_recordingCall.reset();
    const QString name = modData::MakeRecordingName(m_row);

    // The caller is let go before the disk and the database are: neither keeps them
    // waiting on the line.
    if (owner.call && owner.call->state() != tapi::CS_DISCONNECTED)
        owner.call->disconnect(tapi::DC_NORMAL);
    // The line's current call is let go only if it is the recording's own.
    if (!m_call.control || m_call.control == owner.call)
        releaseCall();
    // The caller as the provider told it, cleaned: it is the caller's own text.
    const RecordingKeeper::Caller caller =
        owner.call ? RecordingKeeper::Caller{callerText(owner.call->callerNumber()),
                                             callerText(owner.call->callerName()),
                                             keysText(owner.call->keysPressed())}
                   : RecordingKeeper::Caller{};
    m_keeper.keep(owner.callTime, name, m_recorder.recordedView(), caller);
    m_recorder.reset();
}

} // namespace orvane
