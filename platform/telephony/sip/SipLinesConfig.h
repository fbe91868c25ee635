#pragma once

// The SIP lines of this user: one section per line in lines.conf, the section's name being
// the line's name (the address name the rest of the system knows it by).
//
// Lines starting with # or ; are comments, as is what follows " #" after a value.
//
// Settings of the whole line server come before the first line:
//
//   max_calls = 1000      calls at once on this server; a call beyond them is refused
//                         at once with 503 and Retry-After (never left ringing)
//   invite_rate = 1000    new calls a second from one address, with a burst as large;
//                         beyond it 503 as well
//
//   [Front desk]
//   uri = sip:frontdesk@pbx.example.org      the line's own address (required)
//   registrar = sip:pbx.example.org          where it registers (optional)
//   user = frontdesk                         digest user (default: the uri's user)
//   password = secret                        digest password
//   port = 5062                              local SIP port (default 5060); lines may share a
//                                            port when their users differ
//   address = 192.168.1.20                   local address to use (default: this machine's)
//   ring_interval_ms = 6000                  one ring event per interval while it rings
//   expires = 3600                           registration lifetime asked for, in seconds
//   stop_on_hangup = no                      yes: a recording ends when the caller hangs up,
//                                            so the line is free for the next at once

#include "platform/Status.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace orvane::sip {

struct LineConfig {
    QString name;
    QString uri;
    QString user; // the uri's user part: the number the line answers to
    QString domain;
    QString registrar;
    QString authUser;
    QString password;
    quint16 port = 5060;
    QString address;
    int ringIntervalMs = 6000;
    int expires = 3600;
    bool stopOnHangup = false;
};

// How much the line server takes on at once (the settings before the first line).
struct CallLimits {
    int maxCalls = 1000;
    int inviteRate = 1000;
    int retryAfterSeconds = 5; // what a refused caller is told to wait
};

struct LinesFile {
    QList<LineConfig> lines;
    CallLimits limits;
    // What the user should know that does not stop the lines (passwords that other users
    // can read), each with what fixes it.
    QStringList warnings;
};

// The largest lines.conf read; a larger one is a mistake (a few hundred lines take a few KB).
constexpr qint64 kMaxLinesFileBytes = 1024 * 1024;

// $ORVANE_LINES_CONF, or lines.conf in the user's Orvane configuration folder.
QString linesConfigPath();
// Every line of the text and the server's settings, or the first mistake with its line
// number.
Result<LinesFile> parseLinesFile(const QByteArray& text);
Result<QList<LineConfig>> parseLinesConfig(const QByteArray& text);
// The file at linesConfigPath(); no lines when there is no such file. Anything there that
// is not a regular file of at most kMaxLinesFileBytes is a mistake.
Result<LinesFile> readLinesFile();

} // namespace orvane::sip
