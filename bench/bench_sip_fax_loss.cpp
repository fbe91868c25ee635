// Faxes between SIP lines on a network that loses packets: pairs of lines of one process,
// in a network namespace of the bench's own whose loopback drops a share of the media
// datagrams at random (nftables; SIP itself is spared). Each try sends a one-page letter
// from one line to the other, carried two ways:
//   audio  both lines have fax_transport = audio: G.711 RTP, lost packets are silence;
//   t38    both lines have fax_transport = auto: the receiving line asks for T.38, and the
//          fax goes as UDPTL datagrams with redundancy.
// The tries of one loss rate run at the same time, in real time. Prints completed/tried for
// each transport and loss rate. Needs root (a namespace, nftables).
//
//   build/bin/bench_sip_fax_loss [tries]

#include "LossyLoopback.h"
#include "Signals.h"
#include "SipCaller.h"
#include "platform/fax/FaxMachine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

using namespace orvane;
using namespace orvane::fax;

namespace {

struct Pair {
    QString transport;
    QString from, to, number;
    std::unique_ptr<FaxMachine> sender, receiver;
    QElapsedTimer clock;
    double seconds = 0;
};

bool done(const Pair& p)
{
    return !p.sender->running() && !p.receiver->running();
}

} // namespace

int main(int argc, char** argv)
{
    const QString noNamespace = test::enterLossyLoopback();
    QCoreApplication app(argc, argv);
    if (!noNamespace.isEmpty()) {
        std::fprintf(stderr, "bench_sip_fax_loss: %s\n", qPrintable(noNamespace));
        return 1;
    }
    const int tries = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    QTemporaryDir dir;
    QString why;
    if (!dir.isValid() || !test::setLoopbackLoss(0, &why)) {
        std::fprintf(stderr, "bench_sip_fax_loss: %s\n", qPrintable(why));
        return 1;
    }
    // One pair of lines per try and transport; the receiving lines share one port.
    const quint16 in = test::freeUdpPort();
    QString lines;
    std::vector<Pair> pairs;
    int number = 3000;
    for (const char* transport : {"audio", "t38"}) {
        for (int t = 0; t < tries; ++t) {
            Pair p;
            p.transport = QString::fromLatin1(transport);
            p.from = QStringLiteral("%1 out %2").arg(p.transport).arg(t);
            p.to = QStringLiteral("%1 in %2").arg(p.transport).arg(t);
            p.number = QString::number(++number);
            const char* setting = p.transport == QLatin1String("audio") ? "audio" : "auto";
            lines += QStringLiteral("[%1]\nuri = sip:%2@127.0.0.1:%3\nport = %4\n"
                                    "address = 127.0.0.1\nfax_transport = %5\n\n")
                         .arg(p.from)
                         .arg(number + 1000)
                         .arg(in)
                         .arg(test::freeUdpPort())
                         .arg(QLatin1String(setting));
            lines += QStringLiteral("[%1]\nuri = sip:%2@127.0.0.1:%3\nport = %3\n"
                                    "address = 127.0.0.1\nfax_transport = %4\n\n")
                         .arg(p.to, p.number)
                         .arg(in)
                         .arg(QLatin1String(setting));
            pairs.push_back(std::move(p));
        }
    }
    const QString letter = dir.filePath(QStringLiteral("letter.txt"));
    if (!test::useLinesFile(dir.filePath(QStringLiteral("lines.conf")), lines) ||
        !test::writeFile(letter, "Dear reader,\nthis page crosses a network that loses packets.\n"))
        return 1;
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.*.info=false\norvane.*.warning=false"));

    std::printf("A one-page letter between two SIP lines, %d tries per row at once, media "
                "datagrams lost at random\n",
                tries);
    std::printf("%-6s %7s %10s %10s\n", "", "loss", "completed", "seconds");
    for (const double loss : {0.0, 0.5, 1.0, 2.0}) {
        if (!test::setLoopbackLoss(loss, &why)) {
            std::fprintf(stderr, "bench_sip_fax_loss: %s\n", qPrintable(why));
            return 1;
        }
        for (Pair& p : pairs) {
            const QString folder = dir.filePath(QStringLiteral("in-") + p.to);
            p.receiver = std::make_unique<FaxMachine>();
            p.receiver->chooseLine(p.to);
            p.sender = std::make_unique<FaxMachine>();
            p.sender->chooseLine(p.from);
            p.receiver->receive(folder, 2);
            p.sender->send(p.number, letter, QString());
            p.clock.start();
            p.seconds = 0;
        }
        (void)QTest::qWaitFor(
            [&] {
                bool all = true;
                for (Pair& p : pairs) {
                    if (done(p) && p.seconds == 0)
                        p.seconds = double(p.clock.elapsed()) / 1000.0;
                    all = all && done(p);
                }
                return all;
            },
            10 * 60 * 1000);
        for (const char* transport : {"audio", "t38"}) {
            int completed = 0;
            double seconds = 0;
            for (Pair& p : pairs) {
                if (p.transport != QLatin1String(transport))
                    continue;
                const bool whole = p.sender->status() == QLatin1String("Completed") &&
                                   p.receiver->status() == QLatin1String("Completed") &&
                                   p.sender->lastProgress().t38 == (p.transport != "audio");
                completed += whole;
                seconds += whole ? p.seconds : 0;
            }
            std::printf("%-6s %6.1f%% %7d/%d %10.1f\n", transport, loss, completed, tries,
                        completed ? seconds / completed : 0.0);
            std::fflush(stdout);
        }
        for (Pair& p : pairs) {
            p.sender.reset();
            p.receiver.reset();
        }
    }
    test::setLoopbackLoss(0, &why);
    return 0;
}
