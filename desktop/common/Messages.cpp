#include "desktop/common/Messages.h"

#include <QApplication>

namespace orvane {

namespace {
Messages::Handler& handler()
{
    static Messages::Handler h;
    return h;
}
} // namespace

QMessageBox::StandardButton Messages::show(const MessageRequest& request)
{
    if (handler())
        return handler()(request);
    QMessageBox box(request.icon, request.title, request.text, request.buttons,
                    QApplication::activeWindow());
    box.setInformativeText(request.details);
    return QMessageBox::StandardButton(box.exec());
}

void Messages::inform(const QString& text, const QString& title, const QString& details)
{
    show({text, title, QMessageBox::Information, QMessageBox::Ok, details});
}

void Messages::warn(const QString& text, const QString& title)
{
    show({text, title, QMessageBox::Warning, QMessageBox::Ok, QString()});
}

bool Messages::confirm(const QString& text, const QString& title)
{
    return show({text, title, QMessageBox::NoIcon, QMessageBox::Yes | QMessageBox::No,
                 QString()}) == QMessageBox::Yes;
}

void Messages::setHandler(Handler h)
{
    handler() = std::move(h);
}

} // namespace orvane
