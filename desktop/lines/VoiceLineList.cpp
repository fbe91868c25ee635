#include "desktop/lines/VoiceLineList.h"

#include <QCoreApplication>
#include <QListWidget>

namespace orvane {

void fillVoiceLineList(QListWidget* list, const QList<TelephonyAddress>& addresses)
{
    for (int i = 0; i < addresses.size(); ++i) {
        const TelephonyAddress& a = addresses.at(i);
        if (!a.isVoiceLine())
            continue;
        auto* item = new QListWidgetItem(a.name, list);
        item->setData(Qt::UserRole, i + 1);
    }
    if (list->count() == 0) {
        auto* item = new QListWidgetItem(
            QCoreApplication::translate("orvane::VoiceLineList", "No Telephony Device Found "),
            list);
        item->setData(Qt::UserRole, -1);
    }
}

} // namespace orvane
