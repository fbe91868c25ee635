#pragma once

// A line's registration with its registrar. REGISTER goes to the registrar (through the
// outbound proxy when the line has one) with our Contact and "Supported: path"; a challenge
// is answered once with the line's password; 423 takes the registrar's Min-Expires; a grant
// is renewed before it lapses, a failure tried again later. The grant's Service-Route is
// kept for the requests the line sends; its Via's received and rport say our address as the
// registrar sees it: when that is not ours (we are behind NAT) it becomes the Contact and
// the line registers again with it. Between renewals a keep-alive holds the flow open
// (OPTIONS over UDP, a blank line over TCP and TLS).
//
// Thread: the SIP loop's.

#include "platform/telephony/sip/SipLinesConfig.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace orvane::sip {

class SipRegistration {
public:
    // `outcome` after each answer that decides the registration: granted, or why not.
    using Outcome = std::function<void(bool granted, const QString& problem)>;

    SipRegistration(struct sip* sip, const LineConfig& config, Outcome outcome);
    ~SipRegistration(); // unregisters
    SipRegistration(const SipRegistration&) = delete;
    SipRegistration& operator=(const SipRegistration&) = delete;

    void start();

    // Where the registrar's answers came from: the peers that may send the line calls.
    const QList<struct sa>& peers() const { return m_peers; }
    // Our address as the registrar sees it, when that is not ours; unset otherwise.
    const struct sa& publicAddress() const { return m_public; }
    // The registrar's Service-Route, to put before the requests the line sends.
    const QStringList& serviceRoute() const { return m_serviceRoute; }
    bool granted() const { return m_granted; }
    // Our address as a STUN server saw it, for the Contact until the registrar says one.
    void setStunAddress(const struct sa& address) { m_stunAddress = address; }

private:
    void send(uint32_t expires);
    void retryLater();
    void keepAlive();
    void granted(const struct sip_msg* msg);
    void failed(const QString& problem);
    // Our Contact header for a request over `tp` from `local`.
    QByteArray contactHeader(enum sip_transp tp, const struct sa& local) const;
    // Learns our address as the registrar saw it; true when it changed.
    bool learnPublicAddress(const struct sip_msg* msg);

    static int onSend(enum sip_transp tp, const struct sa* src, const struct sa* dst,
                      struct mbuf* mb, void* arg);
    static void onResponse(int err, const struct sip_msg* msg, void* arg);
    static void onTimer(void* arg);
    static void onKeepAlive(void* arg);
    static void onKeepAliveAnswer(int err, const struct sip_msg* msg, void* arg);
    static int credentials(char** user, char** password, const char* realm, void* arg);

    struct sip* m_sip;
    const LineConfig m_config;
    Outcome m_outcome;
    struct sip_dialog* m_dialog = nullptr;
    struct sip_auth* m_auth = nullptr;
    struct sip_request* m_request = nullptr;
    struct sip_request* m_ping = nullptr;
    void* m_flow = nullptr; // the TCP or TLS connection the grant came over
    struct sa m_flowPeer;
    enum sip_transp m_flowTransport = SIP_TRANSP_NONE;
    struct tmr m_timer;
    struct tmr m_keepAlive;
    uint32_t m_expires;    // asked for
    uint32_t m_asking = 0; // in the request out now
    int m_challenges = 0;  // answered for the request out now
    int m_failures = 0;
    bool m_granted = false;
    struct sa m_local;
    struct sa m_public;
    struct sa m_stunAddress;
    QList<struct sa> m_peers;
    QStringList m_serviceRoute;
};

} // namespace orvane::sip
