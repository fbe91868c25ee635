#pragma once

// This process in a network namespace of its own, whose loopback loses a share of the UDP
// datagrams to the media ports (RTP, RTCP and T.38; SIP is left alone), at random, as
// nftables drops them on the way in. The kernel here has no netem; nftables' random numbers
// do the same for loss.
//
// enter() must run before the process starts any thread: only the calling thread moves, and
// the threads and processes it starts afterwards inherit its namespace.

#include "Command.h"

#include <QString>

#include <sched.h>

#include <cerrno>
#include <cstring>

namespace orvane::test {

// Empty when the process is in its new namespace; else why not. Plain system calls only: it
// runs before the application object exists.
inline QString enterLossyLoopback()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return QStringLiteral("this machine refuses a network namespace (%1)")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return {};
}

// Loopback up, and from now on `percent` of the datagrams to the media ports lost (0: none).
inline bool setLoopbackLoss(double percent, QString* why)
{
    if (!runCommand(QStringLiteral("ip"), {"link", "set", "lo", "up"}, why))
        return false;
    QByteArray rules = "flush ruleset\n";
    if (percent > 0)
        rules += "table inet loss {\n chain in {\n  type filter hook input priority 0;\n"
                 "  udp dport 16384-32767 numgen random mod 100000 < " +
                 QByteArray::number(qRound(percent * 1000)) + " drop\n }\n}\n";
    CommandOptions nft;
    nft.input = rules;
    return runCommand(QStringLiteral("nft"), {"-f", "-"}, why, nft);
}

} // namespace orvane::test
