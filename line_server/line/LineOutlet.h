#pragma once

// What a line tells its client besides the status grid: the message boxes the desktop
// shows for it, the end of a fax send job, each status it writes (kept by the line
// server, so that it can say how every line is without asking the line), and each call or
// fax it has logged. A line never waits for any of them.

#include "line_server/line/LoggedEvent.h"

#include <QString>

namespace orvane {

class LineOutlet {
public:
    virtual ~LineOutlet() = default;
    virtual void messageBox(const QString& text, const QString& title) = 0;
    virtual void raiseTest2() = 0;
    // The line (its name) now shows `text` in its status cell.
    virtual void statusWritten(const QString& line, const QString& text) = 0;
    // A row is in the log (written once per call or fax, also when it was held back).
    virtual void logged(const LoggedEvent& event) = 0;
    // A fax exchange on the line (its name) has ended: how it went, in words and as named
    // values (fax/FaxOutcome.h).
    virtual void faxEnded(const QString& line, const QString& outcome,
                          const QVariantMap& facts) = 0;
};

} // namespace orvane
