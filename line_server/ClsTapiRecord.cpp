// Recording the caller, and finishing the recording on the line's timer: save the file,
// hang up, log the call.

#include "line_server/ClsTapi.h"
#include "line_server/LineLog.h"
#include "line_server/StatusTexts.h"
#include "line_server/modData.h"

#include <QTimer>

namespace orvane {

namespace {
// Beyond the recording time itself, how long the line waits for the device's last bytes.
constexpr int kRecordingGraceMs = 2000;
} // namespace

Status ClsTapi::RecordCall()
{
    Result<WaveRecorder::Start> started =
        m_recorder.StartRecording(m_settings.recordTime, m_waveDeviceId);
    if (!started)
        return started.status();
    if (started.value() == WaveRecorder::Start::DeviceFailed) {
        m_outlet.messageBox(QString::fromLatin1(linemessage::RecorderMissing),
                            QString::fromLatin1(linemessage::Title));
        return {};
    }
    m_timer1->start();
    // The line waits out the recording; whatever happens on the line meanwhile (a hang-up)
    // is handled after it.
    m_recorder.waitDone(int(m_settings.recordTime) * 1000 + kRecordingGraceMs);
    return {};
}

void ClsTapi::timer1Tick()
{
    if (m_faxActive) {
        faxTick();
        return;
    }
    if (!m_recorder.recordDone())
        return;
    finishRecording();
}

void ClsTapi::finishRecording()
{
    m_recorder.StopRecording();
    m_timer1->stop();
    const QString name = modData::MakeRecordingName(m_row);
    const Result<QString> saved =
        m_recorder.SaveRecording(modData::recordingsFolder(m_appPath), name);
    if (m_callControl && m_callControl->state() != tapi::CS_DISCONNECTED)
        m_callControl->disconnect(tapi::DC_NORMAL);
    m_callControl.reset();
    m_callInfo.reset();
    if (!saved) {
        qCCritical(lineLog).noquote()
            << "row" << m_row << "could not save the recording of"
            << m_callTime.toString(Qt::ISODate) << ":" << saved.status().toString();
    } else if (Status logged = modData::LogRecordedCall(m_appPath, m_callTime, saved.value());
               !logged) {
        qCCritical(lineLog).noquote() << "row" << m_row << "kept" << saved.value()
                                      << "but could not log it:" << logged.toString();
    }
    m_recorder.reset();
}

} // namespace orvane
