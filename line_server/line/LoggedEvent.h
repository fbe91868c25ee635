#pragma once

// What a line has just written into the log: a recorded call or a received fax. The line
// server tells its clients on the bus, runs the user's hook and, when no desktop is
// there to do it, notifies the user.

#include <QDateTime>
#include <QString>

namespace orvane {

struct LoggedEvent {
    enum class Kind { Message, Fax };
    Kind kind = Kind::Message;
    // The row's key: a recording's bare file name (rec_message), a fax's full path
    // (recieve_fax).
    QString key;
    QString path; // the file's full path
    QDateTime time;
    QString line; // the line's name as the user chose it
    QString callerNumber;
    QString callerName;
    QString keys;     // a message's: the keys the caller pressed
    int seconds = -1; // a message's length; -1 unknown
    int pages = -1;   // a fax's pages; -1 unknown
};

} // namespace orvane
