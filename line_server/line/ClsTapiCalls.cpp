// Call handling: the events of the line's telephony object become the answering sequence.

#include "database/DateTimeText.h"
#include "line_server/line/ClsTapi.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/StatusTexts.h"
#include "platform/audio/WaveDevice.h"

namespace orvane {

void ClsTapi::gobjTapiWithEvents_Event(const TapiEvent& event)
{
    const Status s = handleEvent(event);
    if (s)
        return;

    qCInfo(lineLog).noquote() << "row" << m_row << "call abandoned:" << s.toString();
    if (s.code() == err::NoDevice) {
        m_outlet.messageBox(QString::fromLatin1(linemessage::NoDevice),
                            QString::fromLatin1(linemessage::Title));
        if (m_call.control)
            m_call.control->disconnect(tapi::DC_NORMAL);
        m_ready = false;
        // The one place where the row is set after the write.
        m_grid.setTextMatrix(m_row, 2, QString::fromLatin1(status::CannotAnswer));
        m_grid.setRow(m_row);
        m_outlet.statusWritten(lineName(), QString::fromLatin1(status::CannotAnswer));
        m_sticky = StickyStatus::CannotAnswer;
    } else if (s.code() == err::CannotCreate) {
        m_outlet.messageBox(QString::fromLatin1(linemessage::CannotPlay),
                            QString::fromLatin1(linemessage::Title));
        if (m_call.control)
            m_call.control->disconnect(tapi::DC_NORMAL);
        m_ready = false;
    }
    // Any other failure leaves the call to the caller.
    releaseCall();
}

bool ClsTapi::ofAnotherCall(const TapiEvent& event) const
{
    return event.call && m_call.info && event.call != m_call.info;
}

void ClsTapi::addressStateChanged(const TapiEvent& event)
{
    if (event.addressState == tapi::AS_OUTOFSERVICE) {
        m_outOfService = true;
        m_statusText = QString::fromLatin1(status::Error);
        if (!m_call.info)
            writeStatus(status::RegisterFailed);
        qCWarning(lineLog).noquote() << "row" << m_row << "out of service:" << event.reason;
        if (event.reason != m_lastServiceProblem) {
            m_lastServiceProblem = event.reason;
            m_outlet.messageBox(
                QString::fromLatin1(linemessage::CannotTakeCalls).arg(lineName(), event.reason),
                QString::fromLatin1(linemessage::Title));
        }
    } else if (event.addressState == tapi::AS_INSERVICE && m_outOfService) {
        m_outOfService = false;
        m_lastServiceProblem.clear();
        m_statusText = QString::fromLatin1(status::NoError);
        qCInfo(lineLog).noquote() << "row" << m_row << "back in service";
        if (!m_call.info && m_sticky != StickyStatus::KeepingProblem)
            writeStatus(status::WaitingFirst);
    }
}

Status ClsTapi::handleEvent(const TapiEvent& event)
{
    switch (event.kind) {
    case tapi::TE_ADDRESS:
        if (event.addressEvent == tapi::AE_STATE) {
            addressStateChanged(event);
            return {};
        }
        if (event.addressEvent == tapi::AE_RINGING) {
            if (ofAnotherCall(event))
                return {};
            ++m_ringCounter;
            // Equality: a counter beyond Rings never answers, and Rings 0 never does.
            if (m_ringCounter == m_settings.rings)
                return answerAtRing();
        }
        return {};

    case tapi::TE_CALLNOTIFICATION: {
        m_sticky = StickyStatus::None;
        releaseCall();
        // When the call came, not when the line got round to it: a line still busy with
        // the last caller takes the next one's notification late.
        m_call.time = event.raisedAtMs > 0 ? QDateTime::fromMSecsSinceEpoch(event.raisedAtMs)
                                           : QDateTime::currentDateTime();
        writeStatus(QLatin1String(status::IncomingCall) + datetext::general(m_call.time));
        m_call.info = event.call;
        if (!m_call.info)
            return Status(err::InvalidArg, QStringLiteral("A call notification without a call"));
        if (m_call.info->privilege() == tapi::CP_MONITOR) {
            m_outlet.messageBox(QString::fromLatin1(linemessage::MonitorOnly),
                                QString::fromLatin1(linemessage::Title));
            releaseCall();
            return {};
        }
        m_call.control = m_call.info;
        prepareGreeting();
        return {};
    }

    case tapi::TE_CALLSTATE:
        if (ofAnotherCall(event))
            return {};
        return CallStateChanged(qint16(event.callState));

    default:
        return {};
    }
}

Status ClsTapi::answerAtRing()
{
    if (!m_call.control)
        return Status(err::InvalidState, QStringLiteral("A ring without a call to answer"));
    if (Status s = m_call.control->answer(); !s)
        return s;
    m_call.answered = true;
    writeStatus(status::CallConnected);
    if (!m_call.media) {
        Result<std::unique_ptr<LineMedia>> media = m_telephony->createLineMedia();
        if (!media)
            return media.status();
        m_call.media = std::move(media.value());
    }
    Result<qint32> id = m_call.media->waveDeviceId(m_call.control, tapi::LINE_MEDIA_WAVE_DEVICE);
    if (!id)
        return id.status();
    Result<qint32> format = m_call.media->formatType(id.value());
    if (!format)
        return format.status();
    // Held from here to the hang-up; a device that is already gone is found missing when
    // the greeting opens it, and the call handling answers that.
    m_call.device = WaveDeviceRegistry::find(id.value());
    m_call.format = format.value();
    return {};
}

Status ClsTapi::CallStateChanged(int state)
{
    switch (state) {
    case tapi::CS_DISCONNECTED:
        m_ringCounter = 0;
        m_ready = true;
        if (m_sticky == StickyStatus::None)
            writeStatus(waitingStatus());
        releaseCall();
        return {};

    case tapi::CS_CONNECTED:
        if (!m_ready)
            return {};
        listenForFax();
        // A call that came as T.38 is a fax machine's: no greeting is said to it.
        if (faxHeard())
            return receiveFax();
        // The greeting plays to its end before the recording starts, even if the caller
        // has hung up meanwhile.
        if (Status played = playGreeting(); !played)
            return played;
        if (faxHeard())
            return receiveFax();
        writeStatus(status::RecordingFile);
        return RecordCall();

    case tapi::CS_OFFERING:
        m_ringCounter = 0;
        m_ready = true;
        return {};

    default:
        return {};
    }
}

} // namespace orvane
