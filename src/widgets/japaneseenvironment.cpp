#include "japaneseenvironment.h"

#include "japanesefont.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

using namespace Qt::StringLiterals;

namespace widgets {

bool applyJapaneseEnvironment(QCoreApplication& app)
{
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);

    // Debian's qt6-translations-l10n; without it Qt's texts stay English and nothing else changes.
    auto* translator = new QTranslator(&app);
    const bool loaded =
        translator->load(japanese, u"qtbase"_s, u"_"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded)
        QCoreApplication::installTranslator(translator);
    else
        delete translator;

    // A program without a display (the notification service on a server) has no fonts to set.
    if (qobject_cast<QApplication*>(&app)) {
        installJapaneseFontSubstitution();
        QApplication::setFont(designFont(DesignPointSize));
    }
    return loaded;
}

} // namespace widgets
