#pragma once

// A fax line as the line server reaches it: one job at a time, a send job or a receive job,
// its state a status text (FaxStatus.h) that is polled. FaxMachine is the implementation.
//
// Thread: created and used on one thread with an event loop.

#include "platform/Status.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

namespace orvane::fax {

class Fax {
public:
    virtual ~Fax() = default;

    virtual void chooseLine(const QString& addressName) = 0;
    // Starts sending `document` to `number`; returns at once. `folder` keeps a copy of the
    // pages as sent, when it is given and the fax went out.
    virtual Status send(const QString& number, const QString& document, const QString& folder) = 0;
    // Starts waiting for one fax on the line; returns at once. `printFlag` 1 prints it.
    virtual Status receive(const QString& folder, int printFlag) = 0;
    virtual QString status() const = 0;
    // The file name (without folder) of the fax just received.
    virtual QString receivedFile() const = 0;
    // The last failure's explanation.
    virtual QString lastReason() const = 0;
    // How the last fax exchange went (fax/FaxOutcome.h); empty when no fax machine
    // answered.
    virtual QString outcome() const = 0;
    virtual QVariantMap outcomeFacts() const = 0;
    // Ends the job: a finished job is closed, a running one is hung up.
    virtual void end() = 0;
    virtual bool running() const = 0;
    // Called when a fax received with the print flag could not be printed (the fax itself
    // is kept): its path and why.
    virtual void onPrintFailed(std::function<void(const QString&, const QString&)> handler) = 0;
};

// A fax line on the telephony provider of the configuration.
std::unique_ptr<Fax> createFax();

} // namespace orvane::fax
