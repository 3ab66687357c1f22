#include "QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::Literals::StringLiterals;

namespace ondiva::shell {

bool installQtTranslations(const QLocale& locale)
{
    // The application owns the translator; it lives as long as the program.
    auto* translator = new QTranslator(QCoreApplication::instance());
    // qtbase_<language>.qm, tried for each of the locale's UI languages in turn (it_IT, then it).
    if (!translator->load(locale, u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    return true;
}

} // namespace ondiva::shell
