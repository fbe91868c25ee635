#pragma once

// What a line tells its client besides the status grid: the message boxes the desktop
// shows for it, and the end of a fax send job. A line never waits for either.

#include <QString>

namespace orvane {

class LineOutlet {
public:
    virtual ~LineOutlet() = default;
    virtual void messageBox(const QString& text, const QString& title) = 0;
    virtual void raiseTest2() = 0;
};

} // namespace orvane
