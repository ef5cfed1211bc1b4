#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace quenlet::ui {

bool installQtChineseTranslations(QCoreApplication& application) {
    // Always Chinese, whatever the desktop's language: the window itself is.
    // "qt_zh_CN" gathers the catalogues of the Qt modules (qtbase among them).
    auto* translator = new QTranslator(&application);
    if (!translator->load(QStringLiteral("qt_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace quenlet::ui
