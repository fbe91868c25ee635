#pragma once

// The simulated lines: which exist, and how fast the simulated clock runs. Both come from
// the environment, so that the desktop program and the line server it starts see the same
// lines in the same order:
//   ORVANE_SIM_LINES  number of simulated voice lines (default 3, at most 5000)
//   ORVANE_SIM_SPEED  how many times faster than real time simulated audio and rings run
//                     (default 1; tests use more to stay short)

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

} // namespace orvane::sim
