#pragma once

// The simulated lines: which exist, and how fast the simulated clock runs. Both come from
// the environment, so that the desktop program and the line server it starts see the same
// lines in the same order:
//   ORVANE_SIM_LINES  number of simulated voice lines (default 3, at most 5000)
//   ORVANE_SIM_SPEED  how many times faster than real time simulated audio and rings run
//                     (default 1; tests use more to stay short)
// Two more shape the calls between two simulated lines, read as each call connects:
//   ORVANE_SIM_FAX_TRANSPORT  audio, or t38 | auto (default): a fax goes as T.38 once the
//                             receiving side asks for it
//   ORVANE_SIM_LOSS           the share of packets lost on the way, in percent (0..50,
//                             default 0): 20 ms of audio each, or one T.38 datagram

#include <QList>
#include <QString>

namespace orvane::sim {

struct LineConfig {
    QString name;
    bool audio = true;
    QString number;
};

constexpr int kDefaultVoiceLines = 3;
constexpr int kMaxVoiceLines = 5000;

// The voice lines "Simulated Line 1".."N" (numbers 2001..), a line without audio
// ("Simulated Data Line") and the two conference pseudo-lines, mixed in so that every
// consumer's filter meets them.
QList<LineConfig> linesFromEnvironment();
// linesFromEnvironment() as it was when first asked: the lines of this process.
const QList<LineConfig>& configuredLines();
QList<LineConfig> makeLines(int voiceLines);
QString voiceLineName(int n);
double clockSpeedFromEnvironment();

enum class FaxTransport { Audio, T38, Auto };
FaxTransport faxTransportFromEnvironment();
// A share: 0.01 is 1 %.
double lossFromEnvironment();

} // namespace orvane::sim
