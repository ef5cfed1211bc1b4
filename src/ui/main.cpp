// quenlet: the desktop window.
//   quenlet                     opens the window
//   quenlet --screenshot FILE   opens it, saves a picture of it as FILE (PNG) and quits
//   quenlet --version           prints "quenlet VERSION" and quits, without a window
#include <QApplication>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "base/version.h"
#include "ui/form1.h"
#include "ui/qt_translations.h"
#include "files/temporary_files.h"

namespace {

// --version is answered before Qt starts, so that it works where no display is.
bool printedVersion(int argc, char** argv) {
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quenlet %.*s\n", static_cast<int>(quenlet::kVersion.size()), quenlet::kVersion.data());
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (printedVersion(argc, argv)) return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
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
