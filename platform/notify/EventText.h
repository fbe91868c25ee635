#pragma once

// How a new message or fax is put in words, the same in a notification, in
// `orvanectl watch` and in the lists: "New message from 5550100 on Front desk (0:42)".

#include <QString>

namespace orvane::eventtext {

// "0:42", "12:05", "1:02:03"; empty for a negative (unknown) length.
QString lengthText(int seconds);
// "Alice Example (5550100)", "5550100", "Alice Example", or empty when neither is known.
QString callerShown(const QString& number, const QString& name);
// "New message from 5550100 on Front desk (0:42)"; the parts that are unknown are left out.
QString messageSummary(const QString& number, const QString& name, const QString& line,
                       int seconds);
// "New fax from 5550100 on Front desk (3 pages)", likewise.
QString faxSummary(const QString& number, const QString& line, int pages);

} // namespace orvane::eventtext
