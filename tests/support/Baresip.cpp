#include "Baresip.h"

#include "Signals.h"
#include "SipCaller.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <unistd.h>

namespace orvane::test {

namespace {

// Ends a process the way it ends on Ctrl-C, then for good.
void interrupt(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(process.processId()), SIGINT);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

Baresip::~Baresip()
{
    stop();
}

QString Baresip::unavailable()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/baresip")))
        return QStringLiteral("baresip is not installed (scripts/install-deps installs it)");
    return {};
}

bool Baresip::dial(const QString& uri, int hz, const QString& accountParameters, QString* problem)
{
    const quint16 port = freeUdpPort();
    const QString dir = m_dir.path();
    const QByteArray config =
        QStringLiteral("poll_method\t\tepoll\n"
                       "sip_listen\t\t127.0.0.1:%1\n"
                       "audio_player\t\taufile,%2/heard.wav\n"
                       "audio_source\t\tausine,%3\n"
                       "audio_alert\t\taufile,/dev/null\n"
                       "rtp_ports\t\t%4-%5\n"
                       // its sine is made at 48 kHz only
                       "ausrc_srate\t\t48000\nausrc_channels\t\t2\nauplay_srate\t\t48000\n"
                       "module_path\t\t/usr/lib/baresip/modules\n"
                       "module\t\t\tg711.so\nmodule\t\t\tausine.so\n"
                       "module\t\t\taufile.so\nmodule\t\t\tsrtp.so\n"
                       "module_app\t\taccount.so\nmodule_app\t\tmenu.so\n")
            .arg(port)
            .arg(dir)
            .arg(hz)
            .arg(kFirstMediaPort)
            .arg(kLastMediaPort - 1)
            .toUtf8();
    const QByteArray accounts =
        ("<sip:caller@127.0.0.1>;regint=0;audio_codecs=PCMU" + accountParameters + "\n").toUtf8();
    if (!writeFile(dir + QStringLiteral("/config"), config) ||
        !writeFile(dir + QStringLiteral("/accounts"), accounts)) {
        *problem = QStringLiteral("cannot write baresip's configuration");
        return false;
    }
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setWorkingDirectory(dir);
    m_process.start(QStringLiteral("/usr/bin/baresip"),
                    {"-f", dir, "-n", "127.0.0.1", "-e", QStringLiteral("/dial %1").arg(uri)});
    if (!m_process.waitForStarted(10000)) {
        *problem = QStringLiteral("baresip did not start");
        return false;
    }
    return true;
}

void Baresip::stop()
{
    interrupt(m_process);
}

QString Baresip::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAll());
    return m_output;
}

LoopbackCapture::~LoopbackCapture()
{
    interrupt(m_process);
}

QString LoopbackCapture::unavailable()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/bin/tcpdump")))
        return QStringLiteral("tcpdump is not installed (scripts/install-deps installs it)");
    if (::geteuid() != 0)
        return QStringLiteral("capturing packets needs root");
    return {};
}

bool LoopbackCapture::start(const QString& file, quint16 firstPort, quint16 lastPort,
                            QString* problem)
{
    m_file = file;
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/bin/tcpdump"),
                    {"-i", "lo", "-n", "-U", "-w", file, "udp", "and", "portrange",
                     QStringLiteral("%1-%2").arg(firstPort).arg(lastPort)});
    // Ready once it says it listens.
    QByteArray said;
    QDeadlineTimer deadline(10000);
    while (!said.contains("listening on") && !deadline.hasExpired() &&
           m_process.waitForReadyRead(int(deadline.remainingTime())))
        said += m_process.readAll();
    if (!said.contains("listening on")) {
        *problem = QStringLiteral("tcpdump did not start: ") + QString::fromLocal8Bit(said);
        return false;
    }
    return true;
}

QList<LoopbackCapture::Datagram> LoopbackCapture::stop()
{
    interrupt(m_process);
    QFile f(m_file);
    QList<Datagram> payloads;
    if (!f.open(QIODevice::ReadOnly))
        return payloads;
    const QByteArray pcap = f.readAll();
    if (pcap.size() < 24)
        return payloads;
    const bool little = qFromLittleEndian<quint32>(pcap.constData()) == 0xa1b2c3d4;
    const auto u32 = [&](qsizetype at) {
        return little ? qFromLittleEndian<quint32>(pcap.constData() + at)
                      : qFromBigEndian<quint32>(pcap.constData() + at);
    };
    const quint32 linkType = u32(20);
    for (qsizetype at = 24; at + 16 <= pcap.size();) {
        const qsizetype length = u32(at + 8);
        const QByteArray frame = pcap.mid(at + 16, length);
        at += 16 + length;
        // Ethernet (loopback shows as such) or a bare IPv4 packet.
        const qsizetype ip = linkType == 1 ? 14 : 0;
        if (frame.size() < ip + 28 || (quint8(frame[ip]) >> 4) != 4 || frame[ip + 9] != 17)
            continue;
        const qsizetype udp = ip + (quint8(frame[ip]) & 0x0F) * 4;
        payloads.append({qFromBigEndian<quint16>(frame.constData() + udp),
                         qFromBigEndian<quint16>(frame.constData() + udp + 2), frame.mid(udp + 8)});
    }
    return payloads;
}

} // namespace orvane::test
