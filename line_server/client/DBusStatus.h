#pragma once

// A Status crossing the bus: the server turns a failure into an error reply, the client
// turns the error reply back into a Status with the same code.

#include "platform/Status.h"

#include <QDBusError>
#include <QDBusMessage>

namespace orvane::tolvex {

// The error name and message of a failed Status.
QString errorName(const Status& status);
QString errorMessage(const Status& status);

// The Status of a reply: ok for a method return, the failure for an error reply.
Status statusOf(const QDBusMessage& reply);
Status statusOf(const QDBusError& error);

} // namespace orvane::tolvex
