#include "database/OrvaneConf.h"

#include "platform/SectionedText.h"

#include <QFile>
#include <QMutex>

namespace orvane {

namespace {

constexpr qint64 kMaxConfBytes = 64 * 1024;

Result<OrvaneConf> readOrvaneConf()
{
    const QString path = userConfigFile("ORVANE_CONF", QStringLiteral("orvane.conf"));
    QFile file(path);
    if (!file.exists())
        return OrvaneConf();
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxConfBytes)
        return Status(err::Fail, QStringLiteral("%1 cannot be read").arg(path));
    Result<SectionedText> text =
        parseSectionedText(file.readAll(), {QStringLiteral("orvane.conf"), true});
    if (!text)
        return text.status();
    OrvaneConf conf;
    for (const SectionedText::Entry& entry : text->head) {
        if (entry.key == QLatin1String("database"))
            conf.database = entry.value;
        else if (entry.key == QLatin1String("server_name"))
            conf.serverName = entry.value;
        else if (entry.key == QLatin1String("storage"))
            conf.storage = entry.value;
        else
            return sectionedTextMistake(QStringLiteral("orvane.conf"), entry.lineNo,
                                        QStringLiteral("\"%1\" is not a setting").arg(entry.key));
    }
    if (!text->sections.isEmpty())
        return sectionedTextMistake(QStringLiteral("orvane.conf"), text->sections.first().lineNo,
                                    QStringLiteral("orvane.conf has no sections"));
    return conf;
}

} // namespace

Result<OrvaneConf> orvaneConf()
{
    static QMutex mutex;
    static bool read = false;
    static QString cachedKey;
    static Result<OrvaneConf> cached{OrvaneConf()};
    const QString key = qEnvironmentVariable("ORVANE_CONF");
    QMutexLocker lock(&mutex);
    if (!read || key != cachedKey) {
        cached = readOrvaneConf();
        cachedKey = key;
        read = true;
    }
    return cached;
}

} // namespace orvane
