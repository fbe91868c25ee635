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
// A fax machine called an answering line (lines that listen for one).
inline constexpr const char* ReceivingFax = "Receiving Fax .... ";
inline constexpr const char* WaitingAgain = "Waiting for Call .... ";
inline constexpr const char* CannotAnswer = "Cannot Answer Calls ...";
// The greeting could not be played: the caller hears a stand-in.
inline constexpr const char* PlayingStandIn = "Playing Default Greeting .... ";
// A recording could not be saved, or its call not listed, yet: kept and tried again.
inline constexpr const char* RecordingNotSaved = "Recording Not Saved ....";
inline constexpr const char* CallNotLogged = "Call Not Logged ....";

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

// Messages of problems the line works around; %1 is the line's name.
inline constexpr const char* CannotTakeCalls = "%1 cannot take calls: %2";
inline constexpr const char* GreetingFailed =
    "%1 could not play its greeting: %2. The caller heard %3 instead and was recorded.";
inline constexpr const char* RecordingNotSaved =
    "%1 could not save the recording of the call at %2: %3. The recording is kept and "
    "saved as soon as it can be.";
inline constexpr const char* CallNotLogged =
    "%1 saved the recording %2 of the call at %3 but could not list it: %4. It is listed "
    "as soon as the database can be written.";
inline constexpr const char* FaxNotSent = "%1 could not send the fax to %2: %3.";
inline constexpr const char* FaxReceivingEnded = "%1 stopped receiving faxes: %2.";
inline constexpr const char* FaxNotPrinted =
    "%1 received the fax %2 but could not print it: %3. The fax is kept.";
inline constexpr const char* FaxNotLogged =
    "%1 received the fax %2 but could not list it: %3. It is listed with the next fax.";

} // namespace orvane::linemessage
