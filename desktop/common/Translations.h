#pragma once

// The program's texts in the user's language. The English texts are the sources; a
// translation is built into the program for each language done (desktop/translations/,
// Qt Linguist files) and chosen by the system locale (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
//
// Thread: the user-interface thread, before the first window.

#include <QLocale>

namespace orvane::translations {

// Installs the translation for `locale`: the program's own, and Qt's for its standard
// dialogs when the system has it. False when the program has none for that language
// (English stays).
bool install(const QLocale& locale = QLocale::system());
// Takes the installed translations away again (tests).
void remove();

} // namespace orvane::translations
