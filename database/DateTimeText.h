#pragma once

// Dates and times as the user reads them and as the database keeps them. Shown: the
// user's short date and the time with seconds, from the system locale, never naming a
// time zone. Stored: ISO 8601 local time, which sorts and compares as text and does not
// change meaning when the user changes regional settings.

#include <QDateTime>
#include <QString>

namespace orvane::datetext {

// The general date-and-time text: short date, a space, the time with seconds.
QString general(const QDateTime& when);
// The short date.
QString shortDate(const QDate& day);

// "YYYY-MM-DDTHH:MM:SS" and back; an invalid text gives an invalid QDateTime.
QString toStored(const QDateTime& when);
QDateTime fromStored(const QString& text);
// The stored text of the first second of `day`.
QString dayStart(const QDate& day);

} // namespace orvane::datetext
