#include "ctl/Ctl.h"

#include <QCommandLineParser>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace orvane::ctl {

QString Context::option(const QString& name) const
{
    return options ? options->value(name) : QString();
}

bool Context::isSet(const QString& name) const
{
    return options && options->isSet(name);
}

void Context::print(const QJsonValue& data, const std::function<QString()>& text) const
{
    QByteArray out;
    if (json) {
        out = data.isArray() ? QJsonDocument(data.toArray()).toJson(QJsonDocument::Indented)
                             : QJsonDocument(data.toObject()).toJson(QJsonDocument::Indented);
    } else {
        out = text().toUtf8();
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += '\n';
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
}

int Context::fail(int code, const QString& why) const
{
    std::fprintf(stderr, "orvanectl: %s\n", qPrintable(why));
    return code;
}

void Context::say(const QString& line) const
{
    std::fprintf(stdout, "%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace orvane::ctl
