#pragma once

// What a caller's number or name may be once it leaves the provider: a caller sends what
// it likes, and the text ends up in the log, in messages, in notifications and in the
// environment of hooks. Control characters go, blanks are folded, the length is bounded.

#include <QString>

namespace orvane {

// The longest caller text kept (a SIP display name is rarely more than 40 characters).
constexpr qsizetype kMaxCallerText = 64;

QString callerText(const QString& raw);

// The keys a caller pressed, as kept: phone keys only (0-9 * # A-D), at most 32.
constexpr qsizetype kMaxKeys = 32;
QString keysText(const QString& raw);

} // namespace orvane
