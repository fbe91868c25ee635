#pragma once

// The program folder: where velmoc.mdb, Rec-Files/, greeting/greeting.wav and
// help/help.htm live. $ORVANE_HOME when set, otherwise ~/.local/share/Orvane. The line
// server is given this folder for every line.

#include "platform/Status.h"

#include <QString>

namespace orvane::programfolder {

QString path();
QString greetingFile(); // the default greeting
QString helpPage();

// Creates on first use what the program needs there: the folder, the database with its
// tables, Rec-Files/, the default greeting (spoken by the speech service, then a tone) and
// the help page. What exists is left as it is.
Status prepare();

} // namespace orvane::programfolder
