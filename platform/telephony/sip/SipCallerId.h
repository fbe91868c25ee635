#pragma once

// Who is calling, from an INVITE: P-Asserted-Identity (set by a trusted proxy), else
// Remote-Party-ID, else From. A caller that withholds its identity (Privacy: id or full, a
// Remote-Party-ID with privacy=full, an anonymous From) is "Withheld". The texts come from
// a stranger: they are cleaned and bounded (callerText) before anything keeps them.
//
// Thread: any (pure functions on the message's text).

#include <QByteArray>
#include <QString>

struct sip_msg;

namespace orvane::sip {

struct CallerId {
    QString number; // the user part of the address (or a tel: number); "Withheld"
    QString name;   // the display name, if any

    bool operator==(const CallerId&) const = default;
};

inline constexpr const char* kWithheld = "Withheld";

// From the values of the headers (empty when a header is absent).
CallerId callerIdOf(const QByteArray& assertedIdentity, const QByteArray& remotePartyId,
                    const QByteArray& from, const QByteArray& privacy);
// From an INVITE as libre read it.
CallerId callerIdOf(const struct sip_msg* invite);

} // namespace orvane::sip
