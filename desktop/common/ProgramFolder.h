#pragma once

// The program folder: where velmoc.mdb, Rec-Files/, greeting/greeting.wav and
// help/help.htm live. $ORVANE_HOME when set, otherwise ~/.local/share/Orvane. The line
// server is given this folder for every line.

#include "platform/Status.h"

#include <QString>
#include <QStringList>

namespace orvane::programfolder {

QString path();
QString greetingFile(); // the default greeting
QString helpPage();

// Where the installed default greeting is looked for, in order: $ORVANE_DATA_DIR alone when
// set; else share/orvane beside the program's bin/ folder (the build tree has the same
// layout), then the folder the installation puts it in.
QStringList dataFolders();

// Creates on first use what the program needs there: the folder, the database with its
// tables, Rec-Files/, the default greeting (a copy of the installed one, spoken by the
// speech service and then a tone) and the help page. What exists is left as it is.
Status prepare();

} // namespace orvane::programfolder
