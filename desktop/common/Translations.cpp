#include "desktop/common/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

// Outside any namespace: Q_INIT_RESOURCE declares the resource's function where it is used.
static void initTranslationResources()
{
    Q_INIT_RESOURCE(translations);
}

namespace orvane::translations {

namespace {
std::unique_ptr<QTranslator>& ours()
{
    static std::unique_ptr<QTranslator> t;
    return t;
}
std::unique_ptr<QTranslator>& qts()
{
    static std::unique_ptr<QTranslator> t;
    return t;
}
} // namespace

bool install(const QLocale& locale)
{
    initTranslationResources();
    remove();
    auto own = std::make_unique<QTranslator>();
    if (!own->load(locale, QStringLiteral("orvane"), QStringLiteral("_"),
                   QStringLiteral(":/translations")))
        return false;
    QCoreApplication::installTranslator(own.get());
    ours() = std::move(own);
    // The standard dialogs' buttons (Yes, No, Cancel) in the same language, when installed
    // (Debian: qt6-translations-l10n).
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        qts() = std::move(qt);
    }
    return true;
}

void remove()
{
    for (std::unique_ptr<QTranslator>* t : {&ours(), &qts()})
        if (*t) {
            QCoreApplication::removeTranslator(t->get());
            t->reset();
        }
}

} // namespace orvane::translations
