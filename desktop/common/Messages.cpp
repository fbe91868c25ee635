#include "desktop/common/Messages.h"

#include <QApplication>
#include <QGridLayout>
#include <QScreen>
#include <QSpacerItem>

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
    return QMessageBox::StandardButton(box(request)->exec());
}

std::unique_ptr<QMessageBox> Messages::box(const MessageRequest& request)
{
    auto box = std::make_unique<QMessageBox>(request.icon, request.title, request.text,
                                             request.buttons, QApplication::activeWindow());
    box->setInformativeText(request.details);
    // A message box sizes itself by its text alone; the window manager then cuts a longer
    // title. A spacer in its grid keeps it as wide as the title plus the title bar's buttons
    // (within most of the screen).
    const QFontMetrics titleFont(QApplication::font("QMdiSubWindowTitleBar"));
    int wanted = titleFont.horizontalAdvance(request.title) + 120;
    if (const QScreen* screen = box->screen())
        wanted = qMin(wanted, screen->availableGeometry().width() * 3 / 4);
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(wanted, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    return box;
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
