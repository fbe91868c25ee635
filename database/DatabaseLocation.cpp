#include "database/DatabaseLocation.h"

#include "platform/SectionedText.h"

#include <QFile>
#include <QMutex>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

namespace orvane {

namespace {

constexpr qint64 kMaxConfBytes = 64 * 1024;

Status uriMistake(const QString& uri, const QString& why)
{
    return Status(err::InvalidArg,
                  QStringLiteral("The database \"%1\" cannot be used: %2").arg(uri, why));
}

struct OrvaneConf {
    QString database;   // empty: none
    QString serverName; // empty: none
};

// orvane.conf's settings; empty when the file or a key is not there.
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

Result<DatabaseLocation> parseDatabaseUri(const QString& uri)
{
    const QUrl url(uri, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() ||
        (scheme != QLatin1String("postgresql") && scheme != QLatin1String("postgres")))
        return uriMistake(uri, QStringLiteral("it is no postgresql:// URI"));
    DatabaseLocation location;
    location.kind = DatabaseLocation::Kind::PostgreSql;
    location.host = url.host();
    location.port = url.port(-1);
    location.user = url.userName(QUrl::FullyDecoded);
    location.password = url.password(QUrl::FullyDecoded);
    location.name = url.path(QUrl::FullyDecoded).mid(1);
    QStringList options;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (key == QLatin1String("host"))
            location.host = value;
        else if (key == QLatin1String("port"))
            location.port = value.toInt();
        else if (key == QLatin1String("user"))
            location.user = value;
        else if (key == QLatin1String("password"))
            location.password = value;
        else if (key == QLatin1String("dbname"))
            location.name = value;
        else if (key.contains(u';') || key.contains(u'=') || value.contains(u';'))
            return uriMistake(uri, QStringLiteral("the parameter %1 is malformed").arg(key));
        else
            options << key + u'=' + value;
    }
    if (location.name.isEmpty() || location.name.contains(u'/'))
        return uriMistake(uri, QStringLiteral("it names no database"));
    if (location.port == 0 || location.port > 65535)
        return uriMistake(uri, QStringLiteral("its port is out of range"));
    location.options = options.join(u';');
    QUrl shown = url;
    shown.setPassword(QString());
    location.shown = shown.toString();
    return location;
}

Result<DatabaseLocation> configuredDatabase()
{
    // Read once per setting: every action of the program opens the log anew.
    static QMutex mutex;
    static QString cachedKey;
    static Result<DatabaseLocation> cached{DatabaseLocation()};
    const QString chosen = qEnvironmentVariable("ORVANE_DATABASE").trimmed();
    const QString key = chosen + u'\n' + qEnvironmentVariable("ORVANE_CONF");
    QMutexLocker lock(&mutex);
    if (key == cachedKey && !cachedKey.isEmpty())
        return cached;
    Result<OrvaneConf> conf =
        chosen.isEmpty() ? readOrvaneConf() : Result<OrvaneConf>(OrvaneConf());
    const QString uri = chosen.isEmpty() && conf ? conf->database : chosen;
    if (!conf)
        cached = conf.status();
    else if (uri.isEmpty() || uri == QLatin1String("sqlite"))
        cached = DatabaseLocation();
    else
        cached = parseDatabaseUri(uri);
    cachedKey = key;
    return cached;
}

QString serverName()
{
    static QMutex mutex;
    static QString cachedConf = QStringLiteral("\n"); // no setting is a newline
    static QString cached;
    const QString key = qEnvironmentVariable("ORVANE_CONF");
    QMutexLocker lock(&mutex);
    if (key != cachedConf) {
        const Result<OrvaneConf> conf = readOrvaneConf();
        cached = conf && !conf->serverName.trimmed().isEmpty() ? conf->serverName.trimmed()
                                                               : QSysInfo::machineHostName();
        cachedConf = key;
    }
    return cached;
}

} // namespace orvane
