// Fax line time: a 1-page and a 10-page text document sent from one simulated line to
// another through the fax component (document laid out, dialled, T.30 over the call's
// mu-law audio, received, checked and filed), at 9,600 and 14,400 bit/s. Beside each, the
// line time of spandsp's own back-to-back exchange of the same TIFF pages (two fax
// modems joined sample for sample, linear audio, no call): the floor the component is
// measured against. Simulated time runs 100 times faster; line time is counted in samples.
//
//   build/bin/bench_fax

#include "platform/fax/FaxDocument.h"
#include "platform/fax/FaxMachine.h"
#include "platform/fax/TextPages.h"
#include "platform/fax/TiffFax.h"
#include "platform/telephony/sim/SimTelephony.h"
#include "platform/telephony/sim/Simulator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include <spandsp.h>

using namespace orvane;
using namespace orvane::fax;

namespace {

// Running text that fills every line of every page, like a typed letter.
QString letter(int pages, int linesPerPage)
{
    static const char* const words[] = {"fax", "machine", "answering", "line",     "telephone",
                                        "the", "caller",  "message",   "recorded", "of",
                                        "and", "page",    "document",  "received", "sent",
                                        "to",  "a"};
    QString text;
    int w = 0;
    for (int p = 0; p < pages; ++p) {
        if (p > 0)
            text += u'\f';
        for (int l = 0; l < linesPerPage; ++l) {
            QString line;
            while (line.size() < 72)
                line += QLatin1String(words[(w++ * 7) % std::size(words)]) + u' ';
            text += line.trimmed() + u'\n';
        }
    }
    return text;
}

struct BackToBack {
    int phaseE = 0;
    int result[2] = {-1, -1};
};

void onPhaseE(t30_state_t*, void* user, int result)
{
    auto* pair = static_cast<std::pair<BackToBack*, int>*>(user);
    pair->first->result[pair->second] = result;
    ++pair->first->phaseE;
}

// spandsp alone: two modems, each one's output the other's input, until both are done.
double spandspSeconds(const QString& tiff, const QString& received, bool v17)
{
    BackToBack state;
    fax_state_t* fax[2];
    std::pair<BackToBack*, int> users[2] = {{&state, 0}, {&state, 1}};
    const QByteArray tx = QFile::encodeName(tiff), rx = QFile::encodeName(received);
    for (int i = 0; i < 2; ++i) {
        fax[i] = fax_init(nullptr, i == 0);
        fax_set_transmit_on_idle(fax[i], 1);
        t30_state_t* t30 = fax_get_t30_state(fax[i]);
        t30_set_supported_modems(t30, T30_SUPPORT_V27TER | T30_SUPPORT_V29 |
                                          (v17 ? T30_SUPPORT_V17 : 0));
        t30_set_supported_compressions(t30, T30_SUPPORT_T4_1D_COMPRESSION |
                                                T30_SUPPORT_T4_2D_COMPRESSION |
                                                T30_SUPPORT_T6_COMPRESSION);
        t30_set_ecm_capability(t30, 1);
        t30_set_phase_e_handler(t30, onPhaseE, &users[i]);
        if (i == 0)
            t30_set_tx_file(t30, tx.constData(), -1, -1);
        else
            t30_set_rx_file(t30, rx.constData(), -1);
    }
    int16_t a[160], b[160];
    qint64 samples = 0;
    while (state.phaseE < 2 && samples < 8000LL * 3600) {
        const int na = fax_tx(fax[0], a, 160);
        const int nb = fax_tx(fax[1], b, 160);
        for (int i = na; i < 160; ++i)
            a[i] = 0;
        for (int i = nb; i < 160; ++i)
            b[i] = 0;
        fax_rx(fax[1], a, 160);
        fax_rx(fax[0], b, 160);
        samples += 160;
    }
    fax_free(fax[0]);
    fax_free(fax[1]);
    if (state.result[0] != T30_ERR_OK || state.result[1] != T30_ERR_OK)
        std::printf("  (spandsp back to back ended %d / %d)\n", state.result[0], state.result[1]);
    return double(samples) / 8000.0;
}

struct Sent {
    QString status;
    double lineSeconds = 0; // the fax exchange, from the answer to the end
    double callSeconds = 0; // simulated time from dialling to the end
    double wallSeconds = 0;
    int pagesReceived = 0;
};

Sent throughTheComponent(const QString& document, bool v17, const QString& folder)
{
    FaxOptions options;
    options.v17 = v17;
    FaxMachine receiver(std::make_unique<sim::SimTelephony>());
    receiver.setOptions(options);
    receiver.chooseLine(QStringLiteral("Simulated Line 2"));
    receiver.receive(folder, 2);
    FaxMachine sender(std::make_unique<sim::SimTelephony>());
    sender.setOptions(options);
    sender.chooseLine(QStringLiteral("Simulated Line 1"));

    QEventLoop loop;
    int done = 0;
    QObject::connect(&sender, &FaxMachine::finished, &loop, [&] {
        if (++done == 2)
            loop.quit();
    });
    QObject::connect(&receiver, &FaxMachine::finished, &loop, [&] {
        if (++done == 2)
            loop.quit();
    });
    QElapsedTimer wall;
    wall.start();
    sender.send(QStringLiteral("2002"), document, QString());
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();

    Sent s;
    s.status = sender.status();
    s.lineSeconds = double(sender.lastLineSamples()) / 8000.0;
    s.wallSeconds = double(wall.nsecsElapsed()) / 1e9;
    s.callSeconds = s.wallSeconds * sim::Simulator::instance().speed();
    if (!receiver.receivedFile().isEmpty())
        if (Result<TiffSummary> t = inspectTiff(QDir(folder).filePath(receiver.receivedFile())))
            s.pagesReceived = t->pages;
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("ORVANE_SIM_SPEED", "100");
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Result<TextPages> layout = TextPages::create(localPaper());
    if (!layout) {
        std::printf("no font: %s\n", qPrintable(layout.status().toString()));
        return 1;
    }
    const int lines = layout->layout().linesPerPage;
    std::printf("Fax line time, dense text pages (%d lines of 72 characters), ECM on\n\n", lines);
    std::printf("%-6s %-7s %-12s %-12s %-12s %-9s %-12s %s\n", "pages", "bit/s", "component s",
                "spandsp s", "difference", "received", "call s", "wall s");
    int failures = 0;
    for (int pages : {1, 10}) {
        const QString doc = dir.filePath(QStringLiteral("letter-%1.txt").arg(pages));
        QFile f(doc);
        f.open(QIODevice::WriteOnly);
        f.write(letter(pages, lines).toUtf8());
        f.close();
        const QString work = dir.filePath(QStringLiteral("work-%1").arg(pages));
        QDir().mkpath(work);
        Result<PreparedDocument> prepared = prepareDocument(doc, work, localPaper());
        if (!prepared) {
            std::printf("cannot lay out: %s\n", qPrintable(prepared.status().toString()));
            return 1;
        }
        for (bool v17 : {false, true}) {
            const double floor =
                spandspSeconds(prepared->tiffPath, dir.filePath(QStringLiteral("b2b.tif")), v17);
            const QString folder =
                dir.filePath(QStringLiteral("in-%1-%2").arg(pages).arg(v17 ? 14400 : 9600));
            const Sent s = throughTheComponent(doc, v17, folder);
            const double diff = (s.lineSeconds - floor) / floor * 100.0;
            std::printf("%-6d %-7d %-12.1f %-12.1f %+6.1f %%     %-9d %-12.1f %.2f  %s\n", pages,
                        v17 ? 14400 : 9600, s.lineSeconds, floor, diff, s.pagesReceived,
                        s.callSeconds, s.wallSeconds, qPrintable(s.status));
            if (s.status != QLatin1String("Completed") || s.pagesReceived != pages)
                ++failures;
        }
    }
    std::printf("\ncomponent s: line time of the fax exchange (answer to end) through the\n"
                "simulated call; spandsp s: the same pages back to back in spandsp alone;\n"
                "call s: simulated time from dialling to the end (rings included).\n");
    return failures == 0 ? 0 : 1;
}
