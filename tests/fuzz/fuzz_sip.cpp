// Fuzz target: a whole SIP request from the network, as a line server takes it before any
// socket or line is involved: libre's parser, the checks every request passes (and the 400
// that answers one that fails them), and for an INVITE the offer it carries, read and
// answered as a call would.

#include "FuzzCheck.h"

#include "platform/telephony/sip/ReCompat.h"
#include "platform/telephony/sip/SipRequest.h"
#include "platform/telephony/sip/SipSdp.h"

#include <re.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    struct mbuf* mb = mbuf_alloc(size + 1);
    if (!mb)
        return 0;
    mbuf_write_mem(mb, data, size);
    mb->pos = 0;
    struct sip_msg* msg = nullptr;
    if (sip_msg_decode(&msg, mb) == 0 && msg->req) {
        const QString problem = orvane::sip::malformation(msg);
        if (!problem.isEmpty()) {
            const QByteArray answer = orvane::sip::badRequest(msg, problem);
            // A whole 400, whose headers end where the message does.
            FUZZ_CHECK(answer.startsWith("SIP/2.0 400 Bad Request\r\n"));
            FUZZ_CHECK(answer.endsWith("Content-Length: 0\r\n\r\n"));
            FUZZ_CHECK(answer.count("\r\n\r\n") == 1);
        } else {
            // What the checks let through has what a reply needs.
            FUZZ_CHECK(pl_isset(&msg->via.sentby) && pl_isset(&msg->callid) &&
                       pl_isset(&msg->cseq.met));
            const QByteArray offer = orvane::sip::messageBody(msg);
            if (pl_strcmp(&msg->met, "INVITE") == 0 && !offer.isEmpty()) {
                const orvane::sip::Codec codec = orvane::sip::chooseCodec(offer);
                orvane::sip::SdpNegotiation negotiation;
                struct sa local;
                sa_set_str(&local, "127.0.0.1", 20000);
                const bool prepared = negotiation.prepare(local, offer).isOk();
                // Only an offer with a law and a real address and port is answered.
                if (prepared) {
                    FUZZ_CHECK(codec != orvane::sip::Codec::None);
                    FUZZ_CHECK(orvane::sip::mediaWellFormed(offer));
                    const orvane::Result<QByteArray> answer = negotiation.encode(false);
                    FUZZ_CHECK(answer.isOk() && answer->startsWith("v=0"));
                }
            }
        }
    }
    mem_deref(msg);
    mem_deref(mb);
    return 0;
}
