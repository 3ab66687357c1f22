#pragma once

#include <QLocale>

namespace ondiva::shell {

// Loads Qt's own texts (the buttons of message boxes, the file dialog, the
// edit menus) in the language of `locale`, from the translations installed
// with Qt, and installs them on the application. The program's own texts are
// not translated and stay as they are. Returns false when Qt has no
// translation for that language: its texts then stay English.
bool installQtTranslations(const QLocale& locale = QLocale::system());

} // namespace ondiva::shell
