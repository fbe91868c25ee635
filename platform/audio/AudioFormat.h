#pragma once

// Audio format codes of the speech service's outputs. The line media component names a
// call device's format by one of these; the speech service renders into it.

#include <QtGlobal>

namespace orvane::audioformat {

constexpr qint32 SAFT8kHz16BitMono = 6;
constexpr qint32 SAFT22kHz16BitMono = 22;
constexpr qint32 SAFTCCITT_ALaw_8kHzMono = 57;
constexpr qint32 SAFTCCITT_uLaw_8kHzMono = 65;

// The rate of telephone audio: every call device carries 8 kHz.
constexpr int kTelephoneSampleRate = 8000;

// Sample rate of a format code, or 0 for a code we cannot render.
int sampleRate(qint32 format);

} // namespace orvane::audioformat
