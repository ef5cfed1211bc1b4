// One single-file run in the real window, scripted through its platform seam
// (the file dialog answers with FILE), for timing under a window system:
//   quenlet_window_bench FILE
// Prints how long the run took from the click until the window was back with
// its statistics, and how long the window then took to be on screen again.
// Exits non-zero when the run failed or the window did not come back.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "form1.h"
#include "qt_translations.h"

namespace {

class ScriptedDesktop final : public quenlet::ui::WindowPlatform {
public:
    explicit ScriptedDesktop(QString file)
        : file_(std::move(file)), settings_(settingsDir_.filePath("quenlet.ini"), QSettings::IniFormat) {}
    QString chooseFile(QWidget*, const QString&, const QString&, const QString&) override { return file_; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    void openUrl(const QUrl&) override {}
    void showWarning(QWidget*, const QString&, const QString& text) override {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        failed = true;
    }
    QSettings& settings() override { return settings_; }
    bool failed = false;

private:
    QString file_;
    QTemporaryDir settingsDir_;  // the user's own settings stay untouched
    QSettings settings_;
};

// Runs the event loop until `done` holds or `limitMs` passes; true when it held.
template <typename Condition>
bool waitFor(Condition done, int limitMs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quenlet_window_bench FILE\n");
        return 2;
    }
    quenlet::ui::installQtChineseTranslations(app);
    ScriptedDesktop desktop(QString::fromLocal8Bit(argv[1]));
    quenlet::ui::Form1 window(desktop);
    window.show();
    if (!waitFor([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }, 10000)) {
        std::fprintf(stderr, "the window did not appear\n");
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 ended = -1;
    QObject::connect(&window, &quenlet::ui::Form1::runEnded, [&] { ended = clock.elapsed(); });
    window.Command1_Click();
    if (!waitFor([&] { return ended >= 0; }, 600000)) {
        std::fprintf(stderr, "the run did not end\n");
        return 1;
    }
    const bool back = waitFor(
        [&] {
            return window.windowHandle()->isExposed() && window.windowState() == Qt::WindowNoState &&
                   window.Label9->isVisible();
        },
        10000);
    const qint64 onScreen = clock.elapsed();
    std::printf("run %lld ms (click to statistics); back on screen %lld ms after the end; %s\n",
                static_cast<long long>(ended), static_cast<long long>(onScreen - ended),
                qPrintable(window.Label9->text()));
    return back && !desktop.failed ? 0 : 1;
}
