#pragma once

// Hears a fax machine calling: its calling tone (CNG, 1100 Hz, half a second on, three
// off), by spandsp's detector. Voice, music and silence are not it.
//
// Thread: one at a time (the call's audio clock).

#include <QtGlobal>

#include <memory>

namespace orvane::fax {

class CallingToneDetector {
public:
    CallingToneDetector();
    ~CallingToneDetector();
    CallingToneDetector(const CallingToneDetector&) = delete;
    CallingToneDetector& operator=(const CallingToneDetector&) = delete;

    // `count` mu-law bytes from the caller; true once the tone has been heard.
    bool hear(const quint8* ulaw, qsizetype count);
    bool heard() const { return m_heard; }

private:
    struct State;
    std::unique_ptr<State> m_state;
    bool m_heard = false;
};

} // namespace orvane::fax
