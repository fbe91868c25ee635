#pragma once

// The status texts of a fax job. A job is over when its status is one of the final texts;
// the others describe a job under way.

#include <QString>

namespace orvane::faxstatus {

// Final.
inline constexpr const char* Busy = "Busy";
inline constexpr const char* Unavailable = "Unavailable";
inline constexpr const char* NoAnswer = "No Answer";
inline constexpr const char* BadAddress = "Bad Address";
inline constexpr const char* NoDialTone = "No Dial Tone";
inline constexpr const char* Disconnected = "Disconnected";
inline constexpr const char* FatalError = "Fatal Error";
inline constexpr const char* Completed = "Completed";
inline constexpr const char* NotAFaxCall = "Not a Fax Call";
inline constexpr const char* CallBlacklisted = "Call Blacklisted";
inline constexpr const char* Offline = "Offline";
inline constexpr const char* Aborting = "Aborting";
inline constexpr const char* CallDelayed = "Call Delayed";

// Under way.
inline constexpr const char* Idle = "Idle ....";
inline constexpr const char* Preparing = "Preparing document ....";
inline constexpr const char* Dialing = "Dialing %1 ...."; // the number
inline constexpr const char* Connected = "Connected ....";
inline constexpr const char* SendingPage = "Sending page %1 of %2 ...."; // page, pages
inline constexpr const char* Waiting = "Waiting for fax call ....";
inline constexpr const char* Answering = "Answering call ....";
inline constexpr const char* ReceivingPage = "Receiving page %1 ....";

bool isFinal(const QString& status);

} // namespace orvane::faxstatus
