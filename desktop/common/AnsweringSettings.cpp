#include "desktop/common/AnsweringSettings.h"

namespace orvane {

void resetAnsweringSettings(const QString& greetingFile)
{
    AnsweringSettings = AnsweringSettingsRecord();
    AnsweringSettings.PlayType = QStringLiteral("FILE");
    AnsweringSettings.PlayFile = greetingFile;
}

} // namespace orvane
