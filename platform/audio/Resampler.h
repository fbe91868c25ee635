#pragma once

// Sample rate conversion of whole sounds (greetings, messages, played files).

#include <QVector>

namespace orvane {

// `count` samples at `fromRate` to the same sound at `toRate`, delay-compensated, so that
// the result has count * toRate / fromRate samples.
QVector<qint16> resample(const qint16* samples, qsizetype count, int fromRate, int toRate);

} // namespace orvane
