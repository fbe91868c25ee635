#pragma once

// A real SIP phone for tests: baresip (Debian's), with a configuration of our own on
// loopback, that dials one address and sends a sine tone as its voice. Account parameters
// choose what it speaks (";mediaenc=srtp-mand" for SRTP only). It runs until stopped.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace orvane::test {

class Baresip {
public:
    ~Baresip();
    // Why it cannot run here, or empty.
    static QString unavailable();
    // Dials `uri` from 127.0.0.1, its voice a sine of `hz`. Its RTP and RTCP use ports
    // kFirstMediaPort to kLastMediaPort.
    static constexpr quint16 kFirstMediaPort = 40000;
    static constexpr quint16 kLastMediaPort = 40011;
    bool dial(const QString& uri, int hz, const QString& accountParameters, QString* problem);
    void stop();
    QString output();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_output;
};

// Captures loopback UDP on a port range (tcpdump) into a pcap file while it lives.
class LoopbackCapture {
public:
    ~LoopbackCapture();
    static QString unavailable();
    bool start(const QString& file, quint16 firstPort, quint16 lastPort, QString* problem);
    struct Datagram {
        quint16 from = 0, to = 0; // ports
        QByteArray payload;
    };
    // Stops and returns the UDP datagrams captured.
    QList<Datagram> stop();

private:
    QProcess m_process;
    QString m_file;
};

} // namespace orvane::test
