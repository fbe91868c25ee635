#include "line_server/modData.h"

#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"

#include <QDir>

namespace orvane::modData {

QString recordingsFolder(const QString& appPath)
{
    return QDir(appPath).filePath(QStringLiteral("Rec-Files"));
}

QString MakeRecordingName(qint16 row, const QDateTime& now)
{
    QString name = datetext::general(now);
    name.replace(QLatin1Char(' '), QLatin1String("--"));
    name.replace(QLatin1Char(':'), QLatin1Char('-'));
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name + QLatin1Char('-') + QString::number(row) + QLatin1String(".wav");
}

Status LogRecordedCall(const QString& appPath, const QDateTime& callTime, const QString& fileName)
{
    Database db;
    if (Status s = db.OpenDatabase(appPath); !s)
        return s;
    Status s = recmessage::logCall(db, callTime, fileName);
    db.CloseDatabase();
    return s;
}

Status LogReceivedFax(const QString& appPath, const QString& path)
{
    Database db;
    if (Status s = db.OpenDatabase(appPath); !s)
        return s;
    Status s = recievefax::logFax(db, path);
    db.CloseDatabase();
    return s;
}

} // namespace orvane::modData
