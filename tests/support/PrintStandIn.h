#pragma once

// A stand-in for lp, first on PATH for this process and the programs it starts: it notes
// the arguments of every print request, one per line, in a file beside it.

#include <QString>

namespace orvane::test {

// Writes the stand-in into `folder` and puts the folder first on PATH. Returns the path of
// the file it notes into (absent until something is printed).
QString installPrintStandIn(const QString& folder);
// From now on the stand-in in `folder` refuses every request, saying `says`; an empty text
// makes it print again.
void makePrintStandInFail(const QString& folder, const QString& says);

} // namespace orvane::test
