#pragma once

// What a line writes into its status cell, exactly as the desktop shows it (trailing
// blanks included), and the texts of the messages a line sends to the desktop.

namespace orvane::status {

inline constexpr const char* WaitingFirst = "Waiting for call ....";
inline constexpr const char* RegisterFailed = "Error In Initializing Device .... ";
inline constexpr const char* NotRegistered = "Error In Initializing Device ....";
inline constexpr const char* Idle = "Idle ....";
inline constexpr const char* CouldNotStop = "Could not stop device ....";
inline constexpr const char* BindFailed = "Error In Initializing TAPI Lines .... ";
inline constexpr const char* IncomingCall = "Incoming Call "; // followed by the date and time
inline constexpr const char* CallConnected = "Call Connected ....";
inline constexpr const char* PlayingFile = "Playing File .... ";
inline constexpr const char* PlayingMessage = "Playing Message .... ";
inline constexpr const char* RecordingFile = "Recording File .... ";
inline constexpr const char* WaitingAgain = "Waiting for Call .... ";
inline constexpr const char* CannotAnswer = "Cannot Answer Calls ...";

// getMessage
inline constexpr const char* NoError = "NOERROR";
inline constexpr const char* Error = "ERROR";

} // namespace orvane::status

namespace orvane::linemessage {

inline constexpr const char* Title = "Answering Machine";
inline constexpr const char* MonitorOnly =
    "Modem/Telephony Card not properly installed. Please restart your computer";
inline constexpr const char* NoDevice =
    "Modem/Telephony Card not properly installed. You need to restart the Computer.";
inline constexpr const char* CannotPlay = "Unable To Play File/Message";
inline constexpr const char* RecorderMissing = "Voice Modem Not Properly Installed ";

} // namespace orvane::linemessage
