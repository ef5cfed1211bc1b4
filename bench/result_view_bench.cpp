// How long the result view takes to open on large results: a batch of
// ROWS files (default 20,000, a tenth of them failed, a fifth with notes) and
// a book of HEADINGS headings (default 5,000, in volumes of 50).
//   quenlet_result_view_bench [ROWS [HEADINGS [RUNS]]]
// For each kind, prints the fastest and the median of RUNS (default 5) from
// the report handed over until the view has painted itself once on screen,
// then (for the batch) how long sorting by name and putting the failures
// first take. Run it under a window system or QT_QPA_PLATFORM=offscreen.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "ui/result_view.h"

namespace {

class QuietDesktop final : public quenlet::ui::WindowPlatform {
public:
    QuietDesktop() : settings_(dir_.filePath("quenlet.ini"), QSettings::IniFormat) {}
    QString chooseFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    void openUrl(const QUrl&) override {}
    void showWarning(QWidget*, const QString&, const QString&) override {}
    QSettings& settings() override { return settings_; }

private:
    QTemporaryDir dir_;
    QSettings settings_;
};

std::shared_ptr<const quenlet::ui::BatchReport> batch(int rows) {
    auto report = std::make_shared<quenlet::ui::BatchReport>();
    report->folder = "/书库/";
    for (int i = 0; i < rows; ++i) {
        const std::string name = "第" + std::to_string(i % 97) + "部/小说" + std::to_string(i) + ".txt";
        if (i % 10 == 3) {
            report->rows.push_back(quenlet::ui::failedRow(report->folder, report->folder + name,
                                                          QStringLiteral("无法打开（权限不够）。")));
            continue;
        }
        quenlet::ui::BatchRow row;
        row.name = QString::fromStdString(name);
        row.encoding = i % 3 ? QStringLiteral("GB18030") : QStringLiteral("UTF-8");
        row.chapters = (i * 7919) % 3000;
        if (i % 5 == 1) row.warnings << QStringLiteral("章节编号不连续，缺少第%1章。").arg(i % 300);
        row.source = report->folder + name;
        report->rows.push_back(std::move(row));
        ++report->files;
    }
    return report;
}

std::shared_ptr<const quenlet::ui::FileReport> book(int headings) {
    auto report = std::make_shared<quenlet::ui::FileReport>();
    report->source = "/书库/长篇.txt";
    report->tidied = true;
    quenlet::FileRunResult& result = report->result;
    result.ok = true;
    result.outputPath = "/书库/kovra-长篇.txt";
    for (int i = 0; i < headings; ++i) {
        const bool volume = i % 50 == 0;
        const std::string title = volume ? "第" + std::to_string(i / 50 + 1) + "卷　风云" : "第" + std::to_string(i) + "章　旧事";
        const QString text = QString::fromStdString(title);
        result.findings.headingList.push_back(
            {quenlet::Text(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())),
             volume ? quenlet::HeadingRank::Volume : quenlet::HeadingRank::Chapter});
    }
    result.findings.headings = headings;
    for (int i = 0; i < 1000; ++i)
        result.findings.junkList.push_back({u"更新时间:2007-11-16 本章字数:" + quenlet::Text(1, u'0' + i % 10), i % 7 + 1});
    return report;
}

// Milliseconds from `show` until the view has painted once.
double opening(quenlet::ui::ResultView& view, const std::function<void()>& show) {
    QElapsedTimer clock;
    clock.start();
    show();
    view.show();
    while (!view.windowHandle() || !view.windowHandle()->isExposed()) QApplication::processEvents();
    view.repaint();
    QApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

double timed(const std::function<void()>& work) {
    QElapsedTimer clock;
    clock.start();
    work();
    QApplication::processEvents();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s fastest %7.1f ms, median %7.1f ms\n", what, ms.front(), ms[ms.size() / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int headings = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int runs = std::max(1, argc > 3 ? std::atoi(argv[3]) : 5);
    QuietDesktop desktop;
    const auto files = batch(rows);
    const auto longBook = book(headings);

    std::vector<double> batchOpen, bookOpen, byName, failuresFirst;
    for (int run = 0; run < runs; ++run) {
        {
            quenlet::ui::ResultView view(desktop);
            batchOpen.push_back(opening(view, [&] { view.showReport(files); }));
            byName.push_back(timed([&] { view.FileTable->sortByColumn(quenlet::ui::BatchTableModel::Name, Qt::AscendingOrder); }));
            failuresFirst.push_back(timed([&] { view.FailuresFirst->setChecked(true); }));
        }
        quenlet::ui::ResultView view(desktop);
        bookOpen.push_back(opening(view, [&] { view.showReport(longBook); }));
    }
    std::printf("%d runs; batch of %d files, book of %d headings\n", runs, rows, headings);
    report("batch view, from the report to on screen", batchOpen);
    report("  sorted by name", byName);
    report("  failures first", failuresFirst);
    report("book view, from the report to on screen", bookOpen);
    return 0;
}
