#pragma once

// A fax received over a call another part of the program answered: an answering line that
// hears a fax machine calling hands the call's audio device to a fax session until it ends.
// A fax that came whole is filed in `folder` under a new name (fax-<date>-<time>.tif); pages
// of one that broke off are kept as -incomplete; nothing else is left behind.
//
// Thread: any but the device's clock; receiveFaxOnDevice() blocks until the session ends.

#include "platform/Status.h"
#include "platform/audio/WaveDevice.h"
#include "platform/fax/FaxEngine.h"

#include <QString>

#include <memory>

namespace orvane::fax {

struct FaxOnCall {
    FaxProgress progress;
    QString path; // the fax filed (whole or incomplete); empty when none
    int pages = 0;
};

Result<FaxOnCall> receiveFaxOnDevice(const std::shared_ptr<WaveDevice>& device,
                                     const QString& folder, const FaxOptions& options);

// Files a received part under a new name in `folder`: fax-<date>-<time><suffix>.tif, then
// -1, -2... Returns the name given.
Result<QString> fileReceivedFax(const QString& partPath, const QString& folder,
                                const QString& suffix);

} // namespace orvane::fax
