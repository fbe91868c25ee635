#pragma once

// The list of telephone lines a user picks from (the line selection and fax windows): the
// lines that carry voice, without the conference pseudo-lines, each with its 1-based place
// in the line collection as item data; "No Telephony Device Found " (item data -1) when
// there is none.

#include "platform/telephony/Telephony.h"

class QListWidget;

namespace orvane {

void fillVoiceLineList(QListWidget* list, const QList<TelephonyAddress>& addresses);

} // namespace orvane
