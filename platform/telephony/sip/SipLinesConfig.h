#pragma once

// The SIP lines of this user: one section per line in lines.conf, the section's name being
// the line's name (the address name the rest of the system knows it by).
//
// Lines starting with # or ; are comments, as is what follows " #" after a value.
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

#include "platform/Status.h"

#include <QList>
#include <QString>

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
};

// $ORVANE_LINES_CONF, or lines.conf in the user's Orvane configuration folder.
QString linesConfigPath();
// Every line of the text, or the first mistake with its line number.
Result<QList<LineConfig>> parseLinesConfig(const QByteArray& text);
// The lines of the file at linesConfigPath(); an empty list when there is no such file.
Result<QList<LineConfig>> readLinesConfig();

} // namespace orvane::sip
