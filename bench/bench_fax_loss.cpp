// Faxes across a lossy network, at the level of the fax sessions themselves: a two-page
// letter from one fax engine to another, its packets lost at random at a set rate, carried
// two ways:
//   audio  G.711 as on a call, 20 ms a packet; a lost packet is 20 ms of silence (what the
//          jitter buffer plays for it);
//   t38    T.38 IFPs in UDPTL datagrams with three IFPs of redundancy; a lost datagram is
//          gone, and the next ones bring it back when they can.
// Line time is simulated (no real time passes); each try has its own loss pattern. Prints
// completed/tried for each transport and loss rate.
//
//   build/bin/bench_fax_loss [tries]

#include "platform/audio/G711.h"
#include "platform/fax/FaxEngine.h"
#include "platform/fax/TextPages.h"
#include "platform/fax/TiffFax.h"
#include "platform/fax/Udptl.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace orvane;
using namespace orvane::fax;

namespace {

constexpr double kMaxSeconds = 300;

bool finished(const FaxEngine& a, const FaxEngine& b)
{
    return a.progress().outcome != FaxProgress::Outcome::Running &&
           b.progress().outcome != FaxProgress::Outcome::Running;
}

bool completed(const FaxEngine& a, const FaxEngine& b)
{
    return a.progress().outcome == FaxProgress::Outcome::Completed &&
           b.progress().outcome == FaxProgress::Outcome::Completed;
}

bool sendAudio(const QString& sent, const QString& received, double loss, quint32 seed)
{
    QRandomGenerator random(seed);
    FaxEngine a(FaxEngine::Role::Send, sent, {}, {});
    FaxEngine b(FaxEngine::Role::Receive, received, {}, {});
    QByteArray toA(160, char(g711::ULAW_SILENCE)), toB(160, char(g711::ULAW_SILENCE));
    quint8 outA[160], outB[160];
    for (qint64 samples = 0; samples < qint64(kMaxSeconds * 8000) && !finished(a, b);
         samples += 160) {
        a.exchange(reinterpret_cast<const quint8*>(toA.constData()), outA, 160);
        b.exchange(reinterpret_cast<const quint8*>(toB.constData()), outB, 160);
        toA = random.generateDouble() < loss ? QByteArray(160, char(g711::ULAW_SILENCE))
                                             : QByteArray(reinterpret_cast<const char*>(outB), 160);
        toB = random.generateDouble() < loss ? QByteArray(160, char(g711::ULAW_SILENCE))
                                             : QByteArray(reinterpret_cast<const char*>(outA), 160);
    }
    return completed(a, b);
}

bool sendT38(const QString& sent, const QString& received, double loss, quint32 seed)
{
    QRandomGenerator random(seed);
    UdptlEncoder encoderA(3), encoderB(3);
    UdptlDecoder decoderA, decoderB;
    QList<QByteArray> fromA, fromB;
    const auto sink = [](UdptlEncoder& encoder, QList<QByteArray>& queue) {
        return [&encoder, &queue](const QByteArray& ifp, int count) {
            for (int i = 0; i < qMax(1, count); ++i)
                queue.append(encoder.encode(ifp));
        };
    };
    FaxEngine a(FaxEngine::Role::Send, sent, {}, {}, sink(encoderA, fromA));
    FaxEngine b(FaxEngine::Role::Receive, received, {}, {}, sink(encoderB, fromB));
    const auto deliver = [&](QList<QByteArray>& queue, UdptlDecoder& decoder, FaxEngine& to) {
        for (const QByteArray& datagram : std::exchange(queue, {}))
            if (random.generateDouble() >= loss)
                for (const UdptlDecoder::Ifp& ifp : decoder.decode(datagram))
                    to.takeIfp(ifp.sequence, ifp.data);
    };
    for (qint64 samples = 0; samples < qint64(kMaxSeconds * 8000) && !finished(a, b);
         samples += 160) {
        a.step(160);
        b.step(160);
        deliver(fromA, decoderB, b);
        deliver(fromB, decoderA, a);
    }
    return completed(a, b);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int tries = argc > 1 ? qMax(1, atoi(argv[1])) : 5;
    QTemporaryDir dir;
    Result<TextPages> layout = TextPages::create(Paper::A4);
    if (!layout || !dir.isValid())
        return 1;
    const QString sent = dir.filePath(QStringLiteral("letter.tif"));
    if (!writeTiffF(sent, layout->render(QStringLiteral("Dear reader,\nfirst page.\f"
                                                        "And the second page.\n"))))
        return 1;
    const QString received = dir.filePath(QStringLiteral("received.tif"));

    std::printf("A two-page letter, %d tries per row, loss at random per packet\n", tries);
    std::printf("%-6s %7s %10s\n", "", "loss", "completed");
    for (const char* transport : {"audio", "t38"}) {
        for (const double loss : {0.0, 0.005, 0.01, 0.02}) {
            int done = 0;
            for (int t = 0; t < tries; ++t) {
                QFile::remove(received);
                const quint32 seed = quint32(1000 + t);
                done += QByteArray(transport) == "t38" ? sendT38(sent, received, loss, seed)
                                                       : sendAudio(sent, received, loss, seed);
            }
            std::printf("%-6s %6.1f%% %7d/%d\n", transport, loss * 100, done, tries);
        }
    }
    return 0;
}
