// quenlet: the desktop window.
//   quenlet                     opens the window
//   quenlet PATH...             opens it, typesets each file and each folder
//                               (as a batch) with the remembered settings,
//                               then shows the result in a window of its own
//   quenlet --screenshot FILE   opens it, saves a picture of it as FILE (PNG) and quits
//   quenlet --screenshot-result FILE [--screenshot-tab N] PATH...
//                               typesets the paths, saves a picture of the
//                               result view (on its tab N, 0 by default) as
//                               FILE (PNG) and quits
//   quenlet --version           prints "quenlet VERSION" and quits, without a window
#include <QApplication>
#include <QPixmap>
#include <QTabWidget>
#include <QTimer>
#include <utility>

#include <cstdio>
#include <cstring>

#include "base/version.h"
#include "ui/form1.h"
#include "ui/qt_translations.h"
#include "ui/result_view.h"
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

    QStringList paths = QApplication::arguments().mid(1);
    QString screenshot;
    QString resultScreenshot;
    QString tab;
    for (const auto& [option, value] : {std::pair{QStringLiteral("--screenshot"), &screenshot},
                                       std::pair{QStringLiteral("--screenshot-result"), &resultScreenshot},
                                       std::pair{QStringLiteral("--screenshot-tab"), &tab}}) {
        const qsizetype at = paths.indexOf(option);
        if (at < 0 || at + 1 >= paths.size()) continue;
        *value = paths.at(at + 1);
        paths.remove(at, 2);
    }
    if (!screenshot.isEmpty()) {
        QTimer::singleShot(300, &window, [&window, screenshot] {
            const bool saved = window.grab().save(screenshot, "PNG");
            QApplication::exit(saved ? 0 : 1);
        });
    }
    if (!resultScreenshot.isEmpty()) {
        QObject::connect(&window, &quenlet::ui::Form1::resultShown, &window, [&window, resultScreenshot, tab] {
            window.resultView()->Tabs->setCurrentIndex(tab.toInt());
            QTimer::singleShot(500, &window, [&window, resultScreenshot] {
                const bool saved = window.resultView()->grab().save(resultScreenshot, "PNG");
                QApplication::exit(saved ? 0 : 1);
            });
        });
    }
    // After the window is on screen, as when the user starts a run.
    if (!paths.isEmpty()) QTimer::singleShot(0, &window, [&window, paths] { window.typesetPaths(paths); });
    return QApplication::exec();
}
