#pragma once

// Values of the telephony service that the line server relies on, under the names and
// numbers the telephony world publishes them with.

namespace orvane::tapi {

// Event kinds (TAPI_EVENT).
constexpr int TE_TAPIOBJECT = 0x1;
constexpr int TE_ADDRESS = 0x2;
constexpr int TE_CALLNOTIFICATION = 0x4;
constexpr int TE_CALLSTATE = 0x8;
constexpr int TE_CALLMEDIA = 0x10;
// Every event kind from the telephony-object event up to and including the generate event.
constexpr int EVENT_FILTER_ALL = 0x1FFFF;

// Address events.
constexpr int AE_STATE = 0;
constexpr int AE_CAPSCHANGE = 1;
constexpr int AE_RINGING = 2;

// Address states (TapiEvent::addressState of AE_STATE): a line whose account cannot be
// used (a registration refused or unanswered) is out of service until it can again.
constexpr int AS_INSERVICE = 0;
constexpr int AS_OUTOFSERVICE = 1;

// Call states.
constexpr int CS_IDLE = 0;
constexpr int CS_INPROGRESS = 1;
constexpr int CS_CONNECTED = 2;
constexpr int CS_DISCONNECTED = 3;
constexpr int CS_OFFERING = 4;
constexpr int CS_HOLD = 5;
constexpr int CS_QUEUED = 6;

// Call privileges.
constexpr int CP_OWNER = 0;
constexpr int CP_MONITOR = 1;

// Disconnect codes.
constexpr int DC_NORMAL = 0;
constexpr int DC_NOANSWER = 1;
constexpr int DC_REJECTED = 2;

// Why a call ended (TapiEvent::cause of CS_DISCONNECTED).
constexpr int CEC_NONE = 0;
constexpr int CEC_DISCONNECT_NORMAL = 1;
constexpr int CEC_DISCONNECT_BUSY = 2;
constexpr int CEC_DISCONNECT_BADADDRESS = 3;
constexpr int CEC_DISCONNECT_NOANSWER = 4;
constexpr int CEC_DISCONNECT_CANCELLED = 5;
constexpr int CEC_DISCONNECT_REJECTED = 6;
constexpr int CEC_DISCONNECT_FAILED = 7;
constexpr int CEC_DISCONNECT_BLOCKED = 8;

// Media types.
constexpr int TAPIMEDIATYPE_AUDIO = 0x8;

// What the line media component is asked for when it names a call's wave device.
constexpr int LINE_MEDIA_WAVE_DEVICE = 2;

// Names of the conference pseudo-lines, which never carry a call of their own.
inline constexpr const char* H323_LINE = "H323 Line";
inline constexpr const char* IPCONF_LINE = "IPCONF LINE";

} // namespace orvane::tapi
