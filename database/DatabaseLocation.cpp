#include "database/DatabaseLocation.h"

#include "database/OrvaneConf.h"

#include <QMutex>
#include <QSysInfo>
#include <QUrl>
#include <QUrlQuery>

namespace orvane {

namespace {

Status uriMistake(const QString& uri, const QString& why)
{
    return Status(err::InvalidArg,
                  QStringLiteral("The database \"%1\" cannot be used: %2").arg(uri, why));
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
    // Parsed once per setting: every action of the program opens the log anew.
    static QMutex mutex;
    static QString cachedUri = QStringLiteral("\n"); // nothing parsed yet
    static Result<DatabaseLocation> cached{DatabaseLocation()};
    QString uri = qEnvironmentVariable("ORVANE_DATABASE").trimmed();
    if (uri.isEmpty()) {
        const Result<OrvaneConf> conf = orvaneConf();
        if (!conf)
            return conf.status();
        uri = conf->database.trimmed();
    }
    QMutexLocker lock(&mutex);
    if (uri != cachedUri) {
        cached = uri.isEmpty() || uri == QLatin1String("sqlite")
                     ? Result<DatabaseLocation>(DatabaseLocation())
                     : parseDatabaseUri(uri);
        cachedUri = uri;
    }
    return cached;
}

QString serverName()
{
    const Result<OrvaneConf> conf = orvaneConf();
    return conf && !conf->serverName.trimmed().isEmpty() ? conf->serverName.trimmed()
                                                         : QSysInfo::machineHostName();
}

} // namespace orvane
