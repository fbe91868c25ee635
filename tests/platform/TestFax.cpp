// The fax component's pieces: text laid out as pages, TIFF-F written and checked, two fax
// engines talking to each other over a mu-law wire, and the limits a received fax must keep.

#include "Signals.h"
#include "platform/audio/G711.h"
#include "platform/fax/CallingTone.h"
#include "platform/fax/FaxDocument.h"
#include "platform/fax/FaxEngine.h"
#include "platform/fax/TextPages.h"
#include "platform/fax/TiffFax.h"
#include "platform/fax/Udptl.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <cmath>
#include <functional>

using namespace orvane;
using namespace orvane::fax;

namespace {

// Two engines on one line: what each sends reaches the other one step (20 ms) later, as on
// a simulated call. Runs until both have finished or `maxSeconds` of line time went by.
struct Wire {
    FaxEngine& a;
    FaxEngine& b;
    QByteArray toA = QByteArray(160, char(g711::ULAW_SILENCE));
    QByteArray toB = QByteArray(160, char(g711::ULAW_SILENCE));
    qint64 samples = 0;

    bool bothFinished() const
    {
        return a.progress().outcome != FaxProgress::Outcome::Running &&
               b.progress().outcome != FaxProgress::Outcome::Running;
    }
    void run(double maxSeconds)
    {
        runUntil([this] { return bothFinished(); }, maxSeconds);
    }
    void runUntil(const std::function<bool()>& done, double maxSeconds)
    {
        quint8 outA[160], outB[160];
        while (!done() && samples < qint64(maxSeconds * 8000)) {
            a.exchange(reinterpret_cast<const quint8*>(toA.constData()), outA, 160);
            b.exchange(reinterpret_cast<const quint8*>(toB.constData()), outB, 160);
            toA = QByteArray(reinterpret_cast<const char*>(outB), 160);
            toB = QByteArray(reinterpret_cast<const char*>(outA), 160);
            samples += 160;
        }
    }
};

// Two engines speaking T.38: each IFP one sends goes out in a UDPTL datagram (with the last
// three as redundancy), and each datagram is lost at `lossRate`, else reaches the other one
// step (20 ms) later. Runs on line time until both have finished or `maxSeconds` went by.
struct T38Wire {
    double lossRate = 0;
    QRandomGenerator random{20261208};
    UdptlEncoder encoderA{3}, encoderB{3};
    UdptlDecoder decoderA, decoderB;
    QList<QByteArray> fromA, fromB; // sent this step
    qint64 datagrams = 0, lost = 0;

    FaxEngine::IfpSink sinkOf(UdptlEncoder& encoder, QList<QByteArray>& queue)
    {
        return [&encoder, &queue](const QByteArray& ifp, int count) {
            for (int i = 0; i < qMax(1, count); ++i)
                queue.append(encoder.encode(ifp));
        };
    }
    void deliver(QList<QByteArray>& queue, UdptlDecoder& decoder, FaxEngine& to)
    {
        const QList<QByteArray> now = std::exchange(queue, {});
        for (const QByteArray& datagram : now) {
            ++datagrams;
            if (random.generateDouble() < lossRate) {
                ++lost;
                continue;
            }
            for (const UdptlDecoder::Ifp& ifp : decoder.decode(datagram))
                to.takeIfp(ifp.sequence, ifp.data);
        }
    }
    void run(FaxEngine& a, FaxEngine& b, double maxSeconds)
    {
        for (qint64 samples = 0; samples < qint64(maxSeconds * 8000); samples += 160) {
            if (a.progress().outcome != FaxProgress::Outcome::Running &&
                b.progress().outcome != FaxProgress::Outcome::Running)
                return;
            a.step(160);
            b.step(160);
            deliver(fromA, decoderB, b);
            deliver(fromB, decoderA, a);
        }
    }
};

QString lorem(int lines)
{
    QString text;
    for (int i = 1; i <= lines; ++i)
        text += QStringLiteral("Line %1: the quick brown fox jumps over the lazy dog.\n").arg(i);
    return text;
}

int blackPixels(const FaxPage& page)
{
    int n = 0;
    for (char byte : page.bits)
        n += std::popcount(uchar(byte));
    return n;
}

} // namespace

class TestFax : public QObject {
    Q_OBJECT

private slots:
    void t38FaxesGoThroughDatagramsLostOnTheWay_data()
    {
        QTest::addColumn<double>("lossRate");
        QTest::addColumn<bool>("ecm");
        QTest::newRow("no loss") << 0.0 << true;
        QTest::newRow("1 % lost") << 0.01 << true;
        QTest::newRow("2 % lost") << 0.02 << true;
        QTest::newRow("5 % lost, without error correction") << 0.05 << false;
    }

    void t38FaxesGoThroughDatagramsLostOnTheWay()
    {
        QFETCH(double, lossRate);
        QFETCH(bool, ecm);
        const QList<FaxPage> pages =
            twoPages(QStringLiteral("t38-sent.tif"), QStringLiteral("t38-received.tif"));
        QCOMPARE(pages.size(), 2);
        const QString sent = m_dir.filePath(QStringLiteral("t38-sent.tif"));
        const QString received = m_dir.filePath(QStringLiteral("t38-received.tif"));
        FaxOptions options;
        options.ecm = ecm;
        T38Wire wire;
        wire.lossRate = lossRate;
        FaxEngine sender(FaxEngine::Role::Send, sent, options, {},
                         wire.sinkOf(wire.encoderA, wire.fromA));
        FaxEngine receiver(FaxEngine::Role::Receive, received, options, {},
                           wire.sinkOf(wire.encoderB, wire.fromB));
        QVERIFY(sender.isT38() && receiver.isT38());
        wire.run(sender, receiver, 240);
        QVERIFY2(sender.progress().outcome == FaxProgress::Outcome::Completed,
                 qPrintable(sender.progress().reason));
        QCOMPARE(receiver.progress().outcome, FaxProgress::Outcome::Completed);
        QCOMPARE(receiver.progress().pagesDone, 2);
        // The loss was real, and redundancy made up for it.
        if (lossRate > 0) {
            QVERIFY(wire.lost > 0);
            QVERIFY(wire.decoderA.recovered() + wire.decoderB.recovered() > 0);
        }
        Result<QList<FaxPage>> got = readTiffPages(received);
        QVERIFY2(got, qPrintable(got.status().toString()));
        QCOMPARE(got->size(), 2);
        QVERIFY(got->at(0).bits == pages.at(0).bits);
    }

    void udptlCarriesIfpsAndRecoversLostDatagramsFromRedundancy_data()
    {
        QTest::addColumn<int>("redundancy");
        QTest::addColumn<QList<int>>("dropped"); // datagrams lost on the way
        QTest::addColumn<int>("lost");           // IFPs that cannot come back
        QTest::newRow("none lost") << 3 << QList<int>{} << 0;
        QTest::newRow("one lost, the next brings it") << 3 << QList<int>{4} << 0;
        QTest::newRow("three in a row, just recovered") << 3 << QList<int>{4, 5, 6} << 0;
        QTest::newRow("four in a row: one beyond redundancy") << 3 << QList<int>{4, 5, 6, 7} << 1;
        QTest::newRow("without redundancy every loss stays") << 0 << QList<int>{2, 9} << 2;
        QTest::newRow("scattered") << 2 << QList<int>{1, 3, 5, 8, 9} << 0;
    }

    void udptlCarriesIfpsAndRecoversLostDatagramsFromRedundancy()
    {
        QFETCH(int, redundancy);
        QFETCH(QList<int>, dropped);
        QFETCH(int, lost);
        fax::UdptlEncoder encoder(redundancy);
        fax::UdptlDecoder decoder;
        QList<QByteArray> sent;
        QList<fax::UdptlDecoder::Ifp> got;
        // IFPs of several sizes, a long one among them (two-byte lengths).
        for (int i = 0; i < 12; ++i) {
            const QByteArray ifp(i == 6 ? 300 : 1 + i, char('a' + i));
            sent.append(ifp);
            const QByteArray datagram = encoder.encode(ifp);
            if (!dropped.contains(i))
                got += decoder.decode(datagram);
        }
        QCOMPARE(decoder.lost(), lost);
        QCOMPARE(decoder.malformed(), 0);
        QCOMPARE(got.size(), 12 - lost);
        QCOMPARE(decoder.recovered(), qint64(dropped.size() - lost));
        // In order, each with its sequence number and its own bytes.
        for (int k = 1; k < got.size(); ++k)
            QVERIFY(got[k].sequence > got[k - 1].sequence);
        for (const fax::UdptlDecoder::Ifp& ifp : got)
            QCOMPARE(ifp.data, sent[ifp.sequence]);
    }

    void udptlTakesEachDatagramOnceAndRefusesMalformedOnes()
    {
        fax::UdptlEncoder encoder(2);
        const QByteArray first = encoder.encode("one"), second = encoder.encode("two"),
                         third = encoder.encode("three");
        fax::UdptlDecoder decoder;
        QCOMPARE(decoder.decode(first).size(), 1);
        QCOMPARE(decoder.decode(third).size(), 2); // "two" recovered
        QVERIFY(decoder.decode(second).isEmpty()); // late: already recovered
        QVERIFY(decoder.decode(third).isEmpty());  // a duplicate
        // A length beyond the datagram, a count beyond the redundancy, a cut datagram.
        QByteArray beyond = third;
        beyond[2] = char(0x7f);
        QByteArray count = encoder.encode("four");
        count[2 + 1 + 4 + 1] = char(40);
        for (const QByteArray& bad : {beyond, count, third.left(5), QByteArray("\x00")})
            QVERIFY(decoder.decode(bad).isEmpty());
        QCOMPARE(decoder.malformed(), 4);
        // The sequence wraps at 65536 without taking later datagrams for earlier ones.
        fax::UdptlDecoder wrapping;
        QByteArray at65535 = encoder.encode("x"), at0 = encoder.encode("y");
        at65535[0] = char(0xff), at65535[1] = char(0xff);
        at0[0] = 0, at0[1] = 0;
        QCOMPARE(wrapping.decode(at65535).size(), 1);
        QCOMPARE(wrapping.decode(at0).size(), 1);
        // An IFP longer than any datagram may carry is not encoded.
        QVERIFY(encoder.encode(QByteArray(fax::kMaxIfpBytes + 1, 'z')).isEmpty());
    }

    void aFaxMachinesCallingToneIsHeardAndNothingElse_data()
    {
        QTest::addColumn<double>("hz");
        QTest::addColumn<double>("onSeconds");
        QTest::addColumn<double>("offSeconds");
        QTest::addColumn<bool>("heard");
        QTest::newRow("CNG: 1100 Hz, half a second on, three off") << 1100.0 << 0.5 << 3.0 << true;
        QTest::newRow("a voice's tone") << 440.0 << 0.5 << 0.2 << false;
        QTest::newRow("a beep at 1000 Hz") << 1000.0 << 0.5 << 3.0 << false;
        QTest::newRow("silence") << 0.0 << 0.0 << 4.0 << false;
    }

    void aFaxMachinesCallingToneIsHeardAndNothingElse()
    {
        QFETCH(double, hz);
        QFETCH(double, onSeconds);
        QFETCH(double, offSeconds);
        QFETCH(bool, heard);
        // Eight seconds of the pattern, fed as a call's clock feeds it: 20 ms at a time.
        QVector<qint16> line;
        while (line.size() < 8 * 8000) {
            line += hz > 0 && onSeconds > 0 ? test::tone(hz, onSeconds, 8000) : QVector<qint16>();
            line += QVector<qint16>(int(offSeconds * 8000), 0);
        }
        QByteArray ulaw(line.size(), Qt::Uninitialized);
        g711::encodeUlaw(line.constData(), reinterpret_cast<quint8*>(ulaw.data()), line.size());
        fax::CallingToneDetector detector;
        bool said = false;
        for (qsizetype at = 0; at + 160 <= ulaw.size() && !said; at += 160)
            said = detector.hear(reinterpret_cast<const quint8*>(ulaw.constData()) + at, 160);
        QCOMPARE(said, heard);
        QCOMPARE(detector.heard(), heard);
    }

    void textIsLaidOutOnPages();
    void tiffRoundTrip();
    void untrustedTiffIsRefused_data();
    void untrustedTiffIsRefused();
    void enginesExchangePages_data();
    void enginesExchangePages();
    void receiverHearingAVoiceIsNotAFax();
    void callDroppedDuringThePage();
    void aCallEndingBeforeTheGoodbyeLosesNothing();
    void receivedFaxOverTheLimitFails();
    void documentsBecomeFaxPages();
    void missingConverterIsNamed();

private:
    // Two pages of text as TIFF-F at `sent` in the test's folder, and `received` made free
    // for what comes; the pages as laid out, or none when they could not be written.
    QList<FaxPage> twoPages(const QString& sent, const QString& received)
    {
        Result<TextPages> layout = TextPages::create(Paper::A4);
        if (!layout)
            return {};
        const QList<FaxPage> pages = layout->render(QStringLiteral("First page\fSecond page"));
        QFile::remove(m_dir.filePath(received));
        return writeTiffF(m_dir.filePath(sent), pages) ? pages : QList<FaxPage>();
    }

    QTemporaryDir m_dir;
};

void TestFax::textIsLaidOutOnPages()
{
    Result<TextPages> a4 = TextPages::create(Paper::A4);
    QVERIFY2(a4, qPrintable(a4.status().toString()));
    const TextLayout l = a4->layout();
    // A readable page: about 80 characters across, 60 or more lines down.
    QVERIFY2(l.columns >= 75 && l.columns <= 110, qPrintable(QString::number(l.columns)));
    QVERIFY2(l.linesPerPage >= 55, qPrintable(QString::number(l.linesPerPage)));

    // Long lines wrap at a blank; a word longer than a line is cut at the margin.
    const QString words = QStringLiteral("word ").repeated(l.columns);
    const QStringList wrapped = a4->lines(words);
    QVERIFY(wrapped.size() > 1);
    for (const QString& line : wrapped) {
        QVERIFY(line.size() <= l.columns);
        QVERIFY(!line.startsWith(u' '));
    }
    const QStringList cut = a4->lines(QString(l.columns * 2 + 3, u'x'));
    QCOMPARE(cut.size(), 3);
    QCOMPARE(cut.at(0).size(), l.columns);

    // Tabs go to the next stop of eight; CR LF is one break; a form feed is a page break.
    QCOMPARE(a4->lines(QStringLiteral("ab\tc\r\nd")), QStringList({"ab      c", "d"}));
    QCOMPARE(a4->lines(QStringLiteral("one\ftwo")), QStringList({"one", "\f", "two"}));

    // Every page is a fax page; text running over a page starts the next one.
    const QList<FaxPage> two = a4->render(lorem(l.linesPerPage + 1));
    QCOMPARE(two.size(), 2);
    for (const FaxPage& page : two) {
        QCOMPARE(page.width, 1728);
        QCOMPARE(page.height, pageHeight(Paper::A4));
        QVERIFY(blackPixels(page) > 0);
    }
    QCOMPARE(a4->render(QStringLiteral("a\fb\fc")).size(), 3);
    // A form feed at the very end leaves no blank page behind; an empty text is one page.
    QCOMPARE(a4->render(QStringLiteral("a\f")).size(), 1);
    const QList<FaxPage> empty = a4->render(QString());
    QCOMPARE(empty.size(), 1);
    QCOMPARE(blackPixels(empty.first()), 0);

    Result<TextPages> letter = TextPages::create(Paper::Letter);
    QVERIFY(letter);
    QCOMPARE(letter->render(QStringLiteral("x")).first().height, 11 * 196);
    QVERIFY(letter->layout().linesPerPage < l.linesPerPage);

    // Bytes that are not UTF-8 are read as Latin-1 rather than lost.
    QCOMPARE(decodeText(QByteArray("caf\xe9")), QStringLiteral(u"café"));
    QCOMPARE(decodeText(QByteArray("caf\xc3\xa9")), QStringLiteral(u"café"));
}

void TestFax::tiffRoundTrip()
{
    Result<TextPages> layout = TextPages::create(Paper::A4);
    QVERIFY(layout);
    const QList<FaxPage> pages = layout->render(lorem(layout->layout().linesPerPage * 2 + 5));
    QCOMPARE(pages.size(), 3);
    const QString path = m_dir.filePath(QStringLiteral("round.tif"));
    QVERIFY(writeTiffF(path, pages));

    Result<TiffSummary> summary = inspectTiff(path);
    QVERIFY2(summary, qPrintable(summary.status().toString()));
    QCOMPARE(summary->pages, 3);
    QCOMPARE(summary->widths, QList<int>({1728, 1728, 1728}));
    Result<QList<FaxPage>> back = readTiffPages(path);
    QVERIFY(back);
    QCOMPARE(back->size(), 3);
    for (int i = 0; i < 3; ++i)
        QVERIFY(back->at(i).bits == pages.at(i).bits);

    // G3 2-D keeps a text page small.
    QVERIFY2(QFileInfo(path).size() < 3 * 60000,
             qPrintable(QString::number(QFileInfo(path).size())));
}

void TestFax::untrustedTiffIsRefused_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("maxPages");
    QTest::addColumn<int>("maxHeight");

    Result<TextPages> layout = TextPages::create(Paper::A4);
    QVERIFY(layout);
    const QString good = m_dir.filePath(QStringLiteral("good.tif"));
    QVERIFY(writeTiffF(good, layout->render(QStringLiteral("one\ftwo"))));
    QFile file(good);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray tiff = file.readAll();

    QTest::newRow("not a tiff") << QByteArray("this is not an image\n").repeated(50) << 200 << 7200;
    QTest::newRow("empty") << QByteArray() << 200 << 7200;
    QTest::newRow("cut short") << tiff.left(tiff.size() / 3) << 200 << 7200;
    QTest::newRow("header only") << tiff.left(8) << 200 << 7200;
    QByteArray looping = tiff;
    // The first directory's offset pointing at the header: a loop of directories.
    looping[4] = 0;
    looping[5] = 0;
    looping[6] = 0;
    looping[7] = 0;
    QTest::newRow("no directory") << looping << 200 << 7200;
    QTest::newRow("too many pages") << tiff << 1 << 7200;
    QTest::newRow("page too long") << tiff << 200 << 1000;
}

void TestFax::untrustedTiffIsRefused()
{
    QFETCH(QByteArray, content);
    QFETCH(int, maxPages);
    QFETCH(int, maxHeight);
    const QString path = m_dir.filePath(QStringLiteral("untrusted.tif"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();
    TiffLimits limits;
    limits.maxPages = maxPages;
    limits.maxHeight = maxHeight;
    Result<TiffSummary> summary = inspectTiff(path, limits);
    QVERIFY(!summary);
    QVERIFY(!summary.status().description().isEmpty());
    QVERIFY(!readTiffPages(path, limits));
}

void TestFax::enginesExchangePages_data()
{
    QTest::addColumn<bool>("v17");
    QTest::addColumn<bool>("ecm");
    QTest::addColumn<int>("bitRate");
    QTest::newRow("9600") << false << true << 9600;
    QTest::newRow("14400") << true << true << 14400;
    QTest::newRow("14400 without ECM") << true << false << 14400;
}

void TestFax::enginesExchangePages()
{
    QFETCH(bool, v17);
    QFETCH(bool, ecm);
    QFETCH(int, bitRate);
    const QList<FaxPage> pages =
        twoPages(QStringLiteral("sent.tif"), QStringLiteral("received.tif"));
    QCOMPARE(pages.size(), 2);
    const QString sent = m_dir.filePath(QStringLiteral("sent.tif"));
    const QString received = m_dir.filePath(QStringLiteral("received.tif"));

    FaxOptions options;
    options.v17 = v17;
    options.ecm = ecm;
    int finishedA = 0, finishedB = 0;
    FaxEngine sender(FaxEngine::Role::Send, sent, options, [&] { ++finishedA; });
    FaxEngine receiver(FaxEngine::Role::Receive, received, options, [&] { ++finishedB; });
    Wire wire{sender, receiver};
    wire.run(180);

    const FaxProgress s = sender.progress(), r = receiver.progress();
    QCOMPARE(s.outcome, FaxProgress::Outcome::Completed);
    QCOMPARE(r.outcome, FaxProgress::Outcome::Completed);
    QVERIFY(s.negotiated && r.negotiated);
    QCOMPARE(s.pagesDone, 2);
    QCOMPARE(r.pagesDone, 2);
    QCOMPARE(s.bitRate, bitRate);
    QCOMPARE(finishedA, 1);
    QCOMPARE(finishedB, 1);
    // Line time is counted in samples, whatever the wall clock did.
    QVERIFY(s.samples > 8000 * 10 && s.samples <= wire.samples);

    Result<QList<FaxPage>> got = readTiffPages(received);
    QVERIFY2(got, qPrintable(got.status().toString()));
    QCOMPARE(got->size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(got->at(i).width, 1728);
        QCOMPARE(got->at(i).height, pages.at(i).height);
        // A clean line loses nothing: the pages arrive pixel for pixel.
        QVERIFY(got->at(i).bits == pages.at(i).bits);
    }

    // Audio after the end is silence, and the end is reported only once.
    quint8 in[160], out[160];
    std::memset(in, 0x55, sizeof in);
    sender.exchange(in, out, 160);
    sender.hangUp();
    QCOMPARE(out[0], g711::ULAW_SILENCE);
    QCOMPARE(finishedA, 1);
}

void TestFax::receiverHearingAVoiceIsNotAFax()
{
    const QString received = m_dir.filePath(QStringLiteral("voice.tif"));
    int finished = 0;
    FaxEngine receiver(FaxEngine::Role::Receive, received, {}, [&] { ++finished; });
    // Someone talking (a gliding tone) for a minute of line time.
    quint8 in[160], out[160];
    double phase = 0;
    for (qint64 n = 0; n < 60 * 8000 && finished == 0; n += 160) {
        for (int i = 0; i < 160; ++i) {
            const double hz = 300 + 200 * std::sin(double(n + i) / 8000.0);
            phase += 2 * M_PI * hz / 8000.0;
            in[i] = g711::linearToUlaw(qint16(6000 * std::sin(phase)));
        }
        receiver.exchange(in, out, 160);
    }
    const FaxProgress p = receiver.progress();
    QCOMPARE(p.outcome, FaxProgress::Outcome::NotFax);
    QVERIFY(!p.negotiated);
    QCOMPARE(finished, 1);
    QCOMPARE(p.pagesDone, 0);
}

void TestFax::callDroppedDuringThePage()
{
    Result<TextPages> layout = TextPages::create(Paper::A4);
    QVERIFY(layout);
    const QString sent = m_dir.filePath(QStringLiteral("long.tif"));
    QVERIFY(writeTiffF(sent, layout->render(lorem(layout->layout().linesPerPage))));
    FaxEngine sender(FaxEngine::Role::Send, sent, {}, {});
    FaxEngine receiver(FaxEngine::Role::Receive, m_dir.filePath(QStringLiteral("cut.tif")), {}, {});
    Wire wire{sender, receiver};
    // Until the page is on its way (the exchange takes a few seconds before it starts).
    while (!receiver.progress().negotiated && wire.samples < 60 * 8000)
        wire.run(double(wire.samples) / 8000 + 1);
    QVERIFY(receiver.progress().negotiated);
    wire.run(double(wire.samples) / 8000 + 4);
    sender.hangUp();
    receiver.hangUp();
    QCOMPARE(sender.progress().outcome, FaxProgress::Outcome::Dropped);
    QCOMPARE(receiver.progress().outcome, FaxProgress::Outcome::Dropped);
    QCOMPARE(receiver.progress().pagesDone, 0);
}

void TestFax::aCallEndingBeforeTheGoodbyeLosesNothing()
{
    Result<TextPages> layout = TextPages::create(Paper::A4);
    QVERIFY(layout);
    const QString sent = m_dir.filePath(QStringLiteral("bye.tif"));
    const QString received = m_dir.filePath(QStringLiteral("bye-received.tif"));
    QFile::remove(received);
    QVERIFY(writeTiffF(sent, layout->render(QStringLiteral("one\ftwo"))));
    FaxEngine sender(FaxEngine::Role::Send, sent, {}, {});
    FaxEngine receiver(FaxEngine::Role::Receive, received, {}, {});
    Wire wire{sender, receiver};
    // The last page is in (the sender said so), but the line goes before the goodbye.
    wire.runUntil([&] { return receiver.progress().pagesDone == 2; }, 180);
    QCOMPARE(receiver.progress().outcome, FaxProgress::Outcome::Running);
    receiver.hangUp();
    sender.hangUp();
    QCOMPARE(receiver.progress().outcome, FaxProgress::Outcome::Completed);
    Result<TiffSummary> got = inspectTiff(received);
    QVERIFY2(got, qPrintable(got.status().toString()));
    QCOMPARE(got->pages, 2);
    // The sender never heard that the page arrived: for it the call broke off.
    QCOMPARE(sender.progress().outcome, FaxProgress::Outcome::Dropped);

    // Once the sender has the confirmation of the last page, its fax is through too.
    QFile::remove(received);
    FaxEngine sender2(FaxEngine::Role::Send, sent, {}, {});
    FaxEngine receiver2(FaxEngine::Role::Receive, received, {}, {});
    Wire wire2{sender2, receiver2};
    wire2.runUntil([&] { return sender2.progress().pagesDone == 2; }, 180);
    QCOMPARE(sender2.progress().outcome, FaxProgress::Outcome::Running);
    sender2.hangUp();
    receiver2.hangUp();
    QCOMPARE(sender2.progress().outcome, FaxProgress::Outcome::Completed);
    QCOMPARE(receiver2.progress().outcome, FaxProgress::Outcome::Completed);
}

void TestFax::receivedFaxOverTheLimitFails()
{
    Result<TextPages> layout = TextPages::create(Paper::A4);
    QVERIFY(layout);
    const QString sent = m_dir.filePath(QStringLiteral("three.tif"));
    QVERIFY(writeTiffF(sent, layout->render(QStringLiteral("1\f2\f3"))));
    FaxOptions limited;
    limited.limits.maxPages = 1;
    FaxEngine sender(FaxEngine::Role::Send, sent, {}, {});
    FaxEngine receiver(FaxEngine::Role::Receive, m_dir.filePath(QStringLiteral("limited.tif")),
                       limited, {});
    Wire wire{sender, receiver};
    wire.run(240);
    const FaxProgress r = receiver.progress();
    QCOMPARE(r.outcome, FaxProgress::Outcome::Failed);
    QVERIFY2(r.reason.contains(QLatin1String("more than 1 page")), qPrintable(r.reason));
    // The sender does not see its fax through.
    QVERIFY(sender.progress().outcome != FaxProgress::Outcome::Completed);
}

void TestFax::documentsBecomeFaxPages()
{
    const QString work = m_dir.filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));

    // Text by its suffix, and by its content when the suffix says nothing.
    const QString text = m_dir.filePath(QStringLiteral("letter.txt"));
    QFile t(text);
    QVERIFY(t.open(QIODevice::WriteOnly));
    t.write("Dear reader,\n\fSecond page.\n");
    t.close();
    QCOMPARE(documentKind(text), DocumentKind::Text);
    const QString noSuffix = m_dir.filePath(QStringLiteral("README"));
    QVERIFY(QFile::copy(text, noSuffix));
    QCOMPARE(documentKind(noSuffix), DocumentKind::Text);
    QCOMPARE(documentKind(QStringLiteral("x.docx")), DocumentKind::WordProcessor);
    QCOMPARE(documentKind(QStringLiteral("x.DOC")), DocumentKind::WordProcessor);
    QCOMPARE(documentKind(QStringLiteral("x.pdf")), DocumentKind::Pdf);

    Result<PreparedDocument> prepared = prepareDocument(text, work, Paper::A4);
    QVERIFY2(prepared, qPrintable(prepared.status().toString()));
    QCOMPARE(prepared->pages, 2);
    QVERIFY(inspectTiff(prepared->tiffPath));

    QVERIFY(!prepareDocument(m_dir.filePath(QStringLiteral("absent.txt")), work, Paper::A4));
    // What is no file is said to be what it is, and a FIFO is never waited on.
    const QString fifo = m_dir.filePath(QStringLiteral("letter-fifo.txt"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const auto& [odd, told] :
         {std::pair{fifo, "is a named pipe (FIFO), not a file"},
          std::pair{m_dir.path(), "is a folder, not a file"},
          std::pair{QStringLiteral("/dev/null"), "is a device, not a file"}}) {
        const Result<PreparedDocument> refusedOdd = prepareDocument(odd, work, Paper::A4);
        QVERIFY2(refusedOdd.status().description() == odd + " " + told,
                 qPrintable(refusedOdd.status().description()));
        QVERIFY(inspectTiff(odd).status().description().endsWith(told));
    }
    // A huge text is refused as soon as it runs past the page limit, not after it was laid
    // out whole (a megabyte of empty lines would be some 15,000 pages).
    const QString huge = m_dir.filePath(QStringLiteral("huge.txt"));
    QFile h(huge);
    QVERIFY(h.open(QIODevice::WriteOnly));
    h.write(QByteArray(1024 * 1024, '\n'));
    h.close();
    Result<PreparedDocument> refused = prepareDocument(huge, work, Paper::A4);
    QVERIFY(!refused);
    QVERIFY2(refused.status().description().contains(QLatin1String("more than 200 pages")),
             qPrintable(refused.status().description()));
    const QString binary = m_dir.filePath(QStringLiteral("image.bin"));
    QFile b(binary);
    QVERIFY(b.open(QIODevice::WriteOnly));
    b.write(QByteArray("\x7f"
                       "ELF\0\0\0",
                       7));
    b.close();
    QCOMPARE(documentKind(binary), DocumentKind::Unknown);
    QVERIFY(!prepareDocument(binary, work, Paper::A4));

    // A PDF of two pages, through Ghostscript.
    if (QStandardPaths::findExecutable(QStringLiteral("gs")).isEmpty())
        QSKIP("Ghostscript is not installed here");
    const QString pdf = m_dir.filePath(QStringLiteral("two.pdf"));
    {
        QPdfWriter writer(pdf);
        writer.setPageSize(QPageSize(QPageSize::A4));
        QPainter painter(&writer);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 24));
        painter.drawText(QRect(0, 0, 4000, 1000), QStringLiteral("Page one"));
        writer.newPage();
        painter.drawText(QRect(0, 0, 4000, 1000), QStringLiteral("Page two"));
    }
    prepared = prepareDocument(pdf, work, Paper::A4);
    QVERIFY2(prepared, qPrintable(prepared.status().toString()));
    QCOMPARE(prepared->pages, 2);
    Result<QList<FaxPage>> pages = readTiffPages(prepared->tiffPath);
    QVERIFY(pages);
    QCOMPARE(pages->first().width, 1728);
    QVERIFY(blackPixels(pages->first()) > 100);

    // A word-processor document, through LibreOffice and Ghostscript.
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty())
        QSKIP("LibreOffice is not installed here");
    const QString rtf = m_dir.filePath(QStringLiteral("memo.rtf"));
    QFile r(rtf);
    QVERIFY(r.open(QIODevice::WriteOnly));
    r.write("{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Helvetica;}\\f0\\fs48 Memo\\par Page one.\\page "
            "Page two.\\par}");
    r.close();
    prepared = prepareDocument(rtf, work, Paper::A4);
    QVERIFY2(prepared, qPrintable(prepared.status().toString()));
    QCOMPARE(prepared->pages, 2);
}

void TestFax::missingConverterIsNamed()
{
    const QString pdf = m_dir.filePath(QStringLiteral("any.pdf"));
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4\n");
    f.close();
    const QString doc = m_dir.filePath(QStringLiteral("any.doc"));
    QVERIFY(QFile::copy(pdf, doc));

    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_dir.path().toLocal8Bit());
    const Result<PreparedDocument> noGs = prepareDocument(pdf, m_dir.path(), Paper::A4);
    const Result<PreparedDocument> noOffice = prepareDocument(doc, m_dir.path(), Paper::A4);
    qputenv("PATH", path);
    QVERIFY(!noGs);
    QVERIFY2(noGs.status().description().contains(QLatin1String("Ghostscript")),
             qPrintable(noGs.status().description()));
    QVERIFY(!noOffice);
    QVERIFY2(noOffice.status().description().contains(QLatin1String("LibreOffice")),
             qPrintable(noOffice.status().description()));
}

QTEST_MAIN(TestFax)
#include "TestFax.moc"
