// Single-file runs in the real window, scripted through its platform seam
// (the file dialog answers with FILE), for timing under a window system:
//   quenlet_window_bench FILE [RUNS]
// For each run (default 1) prints how long it took from the click until the
// window was back with its statistics, and how long the window then took to
// be on screen again; then the fastest and the median run. Exits non-zero
// when a run failed or the window did not come back.
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ui/form1.h"
#include "ui/qt_translations.h"

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

// Runs the event loop until `done` holds or `limitMs` passes; true when it
// held. The loop sleeps between checks, as the window's own loop would: a
// loop that spins would take the processor from the run it measures.
template <typename Condition>
bool waitFor(Condition done, int limitMs, QObject* sender = nullptr, void (quenlet::ui::Form1::*signal)() = nullptr) {
    if (done()) return true;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(sender ? 100 : 2);
    if (sender) QObject::connect(static_cast<quenlet::ui::Form1*>(sender), signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: quenlet_window_bench FILE [RUNS]\n");
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

    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    std::vector<qint64> times;
    for (int run = 1; run <= runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        qint64 ended = -1;
        const QMetaObject::Connection endSeen =
            QObject::connect(&window, &quenlet::ui::Form1::runEnded, [&] { ended = clock.elapsed(); });
        window.Command1_Click();
        if (!waitFor([&] { return ended >= 0; }, 600000, &window, &quenlet::ui::Form1::runEnded)) {
            std::fprintf(stderr, "the run did not end\n");
            return 1;
        }
        QObject::disconnect(endSeen);
        const bool back = waitFor(
            [&] {
                return window.windowHandle()->isExposed() && window.windowState() == Qt::WindowNoState &&
                       window.Label9->isVisible();
            },
            10000);
        const qint64 onScreen = clock.elapsed();
        std::printf("run %d: %lld ms from the click to the statistics; back on screen %lld ms after the end; %s\n", run,
                    static_cast<long long>(ended), static_cast<long long>(onScreen - ended),
                    qPrintable(window.Label9->text()));
        if (!back || desktop.failed) return 1;
        times.push_back(ended);
    }
    std::sort(times.begin(), times.end());
    std::printf("fastest %lld ms, median %lld ms over %d runs\n", static_cast<long long>(times.front()),
                static_cast<long long>(times[times.size() / 2]), runs);
    return 0;
}
