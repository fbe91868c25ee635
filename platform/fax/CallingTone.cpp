#include "platform/fax/CallingTone.h"

#include "platform/audio/G711.h"

#include <spandsp.h>

namespace orvane::fax {

struct CallingToneDetector::State {
    modem_connect_tones_rx_state_t* rx = nullptr;
    bool* heard = nullptr;
    ~State()
    {
        if (rx)
            modem_connect_tones_rx_free(rx);
    }
};

CallingToneDetector::CallingToneDetector()
    : m_state(std::make_unique<State>())
{
    m_state->heard = &m_heard;
    m_state->rx = modem_connect_tones_rx_init(
        nullptr, MODEM_CONNECT_TONES_FAX_CNG,
        [](void* user, int tone, int, int) {
            if (tone == MODEM_CONNECT_TONES_FAX_CNG)
                *static_cast<bool*>(user) = true;
        },
        &m_heard);
}

CallingToneDetector::~CallingToneDetector() = default;

bool CallingToneDetector::hear(const quint8* ulaw, qsizetype count)
{
    if (m_heard || !m_state->rx)
        return m_heard;
    int16_t samples[160];
    for (qsizetype at = 0; at < count && !m_heard; at += 160) {
        const int n = int(qMin<qsizetype>(160, count - at));
        g711::decodeUlaw(ulaw + at, samples, n);
        modem_connect_tones_rx(m_state->rx, samples, n);
    }
    return m_heard;
}

} // namespace orvane::fax
