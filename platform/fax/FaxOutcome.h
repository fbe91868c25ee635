#pragma once

// How a fax exchange went, for the user and for scripts: the transport (audio or T.38, and
// whether the call switched), the speed, the pages, and error correction.
//
// Thread: any.

#include "platform/fax/FaxEngine.h"

#include <QString>
#include <QVariantMap>

namespace orvane::fax {

// "Sent as T.38 (switched from audio) at 14400 bit/s: 2 pages, error correction on, 3
// frames sent again"; empty when no fax machine answered.
QString outcomeText(const FaxProgress& progress, FaxEngine::Role role);
// The same as named values: transport ("audio" or "t38"), switched, bitRate, pages, ecm,
// ecmRetries, seconds (line time).
QVariantMap outcomeFacts(const FaxProgress& progress);

} // namespace orvane::fax
