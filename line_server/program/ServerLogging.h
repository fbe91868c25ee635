#pragma once

// Where the line server's diagnostics go: its standard error, one line each. When that is
// the journal (systemd names it in JOURNAL_STREAM), each line starts with its syslog
// priority as "<N>", which the journal reads: errors, warnings and notices show as such in
// `journalctl`. At the default level the server says one line per call, fax and failure;
// QT_LOGGING_RULES (orvane.*.debug=true) shows the details.

#include <QString>
#include <QtGlobal>

namespace orvane {

void installServerLogging();

// The syslog priority of a message of `type` (3 error ... 7 debug).
int syslogPriority(QtMsgType type);
// `text` as the journal takes it: every line of it prefixed with the priority.
QByteArray journalLines(QtMsgType type, const QString& text);

} // namespace orvane
