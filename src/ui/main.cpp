// quenlet: the desktop window.
//   quenlet                     opens the window
//   quenlet --screenshot FILE   opens it, saves a picture of it as FILE (PNG) and quits
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include "ui/form1.h"
#include "ui/qt_translations.h"
#include "files/temporary_files.h"

int main(int argc, char** argv) {
    quenlet::removeTemporaryFilesOnSignals();
    QApplication app(argc, argv);
    quenlet::ui::installQtChineseTranslations(app);
    quenlet::ui::DesktopPlatform platform;
    quenlet::ui::Form1 window(platform);
    window.show();

    const QStringList arguments = QApplication::arguments();
    const qsizetype screenshot = arguments.indexOf(QStringLiteral("--screenshot"));
    if (screenshot > 0 && screenshot + 1 < arguments.size()) {
        const QString file = arguments.at(screenshot + 1);
        QTimer::singleShot(300, &window, [&window, file] {
            const bool saved = window.grab().save(file, "PNG");
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
