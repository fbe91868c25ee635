#pragma once

// One simulated call as the machine sees it. Its state belongs to the Simulator and is
// changed under the lock of the call's line.

#include "platform/telephony/Telephony.h"
#include "platform/telephony/sim/Simulator.h"

#include <QByteArray>

namespace orvane::sim {

class SimFaxCaller;

class SimCall : public TelephonyCall, public std::enable_shared_from_this<SimCall> {
public:
    SimCall(quint64 id, QString line, QString callerNumber)
        : m_id(id)
        , m_line(std::move(line))
        , m_callerNumber(std::move(callerNumber))
    {}

    quint64 id() const override { return m_id; }
    QString addressName() const override { return m_line; }
    QString callerNumber() const override { return m_callerNumber; }
    int privilege() const override { return m_privilege; }
    int state() const override { return m_state.load(); }
    Status answer() override { return Simulator::instance().answer(*this); }
    Status disconnect(int code) override
    {
        return Simulator::instance().disconnect(*this, code, false);
    }

private:
    friend class Simulator;
    friend class SimLineMedia;

    const quint64 m_id;
    const QString m_line;
    const QString m_callerNumber;
    int m_privilege = tapi::CP_OWNER;
    std::atomic<int> m_state{tapi::CS_OFFERING};
    CallRecord m_record;
    bool m_faultNoDevice = false;
    bool m_faultNoMedia = false;
    QByteArray m_callerAudio;                  // mu-law
    std::shared_ptr<SimFaxCaller> m_faxCaller; // a fax machine calls instead of a talker
    bool m_callerWaits = true;
    QString m_capturePath;
    // A call between two simulated lines: the placing side is `m_outgoing`, its events go
    // only to `m_owner`'s registrations. Each side is given the other before either is
    // heard of, and it never changes.
    bool m_outgoing = false;
    const void* m_owner = nullptr;
    std::weak_ptr<SimCall> m_peer;
    std::shared_ptr<SimWaveDevice> m_device;
    std::atomic<qint32> m_deviceId{0};
    // Simulator thread only: the ring timer, which becomes the countdown to the caller's
    // hang-up once the call is answered.
    QTimer* m_timer = nullptr;
    int m_rings = 0;
    int m_hangUpAfterMs = -1;
    bool m_hangUpArmed = false;
};

} // namespace orvane::sim
