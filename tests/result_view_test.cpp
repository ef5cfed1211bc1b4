// The result view after real runs of the window, and the window started with
// paths; the desktop is answered by the test.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>

#include "temp_dir.h"
#include "text/encoding.h"
#include "ui/form1.h"
#include "ui/result_view.h"

using quenlet::test::TempDir;
using namespace quenlet::ui;

namespace {

class Desktop final : public WindowPlatform {
public:
    Desktop() : settings_(QString::fromStdString(settingsDir_.path("quenlet.ini")), QSettings::IniFormat) {}
    QString chooseFile(QWidget*, const QString&, const QString&, const QString&) override { return fileAnswer; }
    QString chooseFolder(QWidget*, const QString&, const QString&) override { return folderAnswer; }
    void openUrl(const QUrl& url) override { openedUrls << url; }
    void showWarning(QWidget*, const QString&, const QString& text) override { warnings << text; }
    QSettings& settings() override { return settings_; }

    QString fileAnswer;
    QString folderAnswer;
    QList<QUrl> openedUrls;
    QStringList warnings;

private:
    TempDir settingsDir_;
    QSettings settings_;
};

// Waits, the event loop running, until the window shows the end of its run
// and of any paths it was given.
bool runEnds(Form1& w, const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    check.start(5);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    if (!done()) loop.exec();
    return done() && !w.isRunning();
}
bool runEnds(Form1& w) {
    return runEnds(w, [&w] { return !w.isRunning(); });
}

QString path(const TempDir& dir, const std::string& name) { return QString::fromStdString(dir.path(name)); }

// A downloaded novel in GB18030: the site's stamp after every heading, a
// volume, and chapter 3 missing; each chapter long enough to count as one.
std::string novel() {
    std::u16string text = u"书名：雨夜\r\n第一卷 风起\r\n";
    const char16_t* numbers[] = {u"一", u"二", u"四", u"五", u"六"};
    for (int i = 0; i < 5; ++i) {
        if (i == 3) text += u"第二卷 雨落\r\n";
        text += std::u16string(u"第") + numbers[i] + u"章 旧事\r\n更新时间:2007-11-16 7:55:51 本章字数:4804\r\n";
        for (int k = 0; k < 10; ++k) text += u"老陈站在店门口，看着街上的灯火。他走进房间，看见桌上放着一封信。\r\n";
    }
    std::string bytes;
    quenlet::encodeText(quenlet::Encoding::Gb18030, text, bytes);
    return bytes;
}

QStringList column(const QAbstractItemModel& model, int column) {
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row) texts << model.index(row, column).data().toString();
    return texts;
}

}  // namespace

class ResultViewTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void aFileShowsItsHeadingsGapsJunkAndFirstChapter() {
        TempDir dir;
        Desktop desktop;
        desktop.fileAnswer = QString::fromStdString(dir.write("雨夜.txt", novel()));
        Form1 w(desktop);
        w.show();
        QVERIFY(!w.Command3->isVisible());
        w.Check4->setChecked(true);
        w.Command1_Click();
        QVERIFY(runEnds(w));
        QVERIFY(w.Command3->isVisible());
        QVERIFY(!w.resultView());  // 打开排版 leaves the view to the button
        w.Command3->click();
        ResultView* view = w.resultView();
        QVERIFY(view && view->isVisible());
        QCOMPARE(view->Faces->currentIndex(), 0);
        const QString wide2(2, QChar(0x3000));
        QCOMPARE(column(view->headings, HeadingListModel::Title),
                 QStringList({"第一卷　风起", wide2 + "第一章　旧事", wide2 + "第二章　旧事", wide2 + "第四章　旧事",
                              "第二卷　雨落", wide2 + "第五章　旧事", wide2 + "第六章　旧事"}));
        QCOMPARE(column(view->headings, HeadingListModel::Number), QStringList({"1", "2", "3", "4", "5", "6", "7"}));
        QVERIFY2(view->NumberingText->toPlainText().startsWith(QStringLiteral("缺少：第3章。")),
                 qPrintable(view->NumberingText->toPlainText()));
        QVERIFY(view->Summary->text().contains(QStringLiteral("编码：GB18030（根据解码后常用汉字所占的比例推断）")));
        QVERIFY(view->Summary->text().contains(QStringLiteral("章节编号：缺少1章，重复0章，倒退0处")));
        QCOMPARE(column(view->junk, JunkListModel::Times), QStringList({"5", "5"}));
        QCOMPARE(view->junk.index(1, JunkListModel::Piece).data().toString(), QStringLiteral("本章字数:4804"));
        // The first chapter: the source's lines as they were, the copy's as written.
        const QStringList before = view->SourceSample->toPlainText().split('\n');
        const QStringList after = view->TypesetSample->toPlainText().split('\n');
        QCOMPARE(before.mid(0, 4), QStringList({"书名：雨夜", "第一卷 风起", "第一章 旧事",
                                                 "更新时间:2007-11-16 7:55:51 本章字数:4804"}));
        QCOMPARE(before.size(), 14);  // up to 第二章
        QCOMPARE(after.mid(0, 6), QStringList({wide2 + "书名：雨夜", "《第一卷　风起》", "", "", "", "《第一章　旧事》"}));
        QCOMPARE(after.last(), wide2 + "他走进房间，看见桌上放着一封信。");  // the sentences cut apart
        QCOMPARE(after.size(), 6 + 1 + 20);
        w.resultView()->copyHeadings();
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("第一卷　风起\n%1第一章　旧事\n%1第二章　旧事\n%1第四章　旧事\n第二卷　雨落\n"
                                "%1第五章　旧事\n%1第六章　旧事\n")
                     .arg(wide2));
    }

    void theOpenButtonsAskTheDesktopForTheFiles() {
        TempDir dir;
        Desktop desktop;
        desktop.fileAnswer = QString::fromStdString(dir.write("书.txt", "第一章\r\n他说好。\r\n"));
        Form1 w(desktop);
        w.show();
        w.Check5->setChecked(true);
        w.Command1_Click();
        QVERIFY(runEnds(w));
        w.showResult();
        ResultView& view = *w.resultView();
        QVERIFY(view.OpenCopy->isEnabled() && view.OpenBook->isEnabled());
        view.OpenCopy->click();
        view.OpenBook->click();
        view.OpenFolder->click();
        QCOMPARE(desktop.openedUrls, QList<QUrl>({QUrl::fromLocalFile(path(dir, "kovra-书.txt")),
                                                  QUrl::fromLocalFile(path(dir, "kovra-书.epub")),
                                                  QUrl::fromLocalFile(path(dir, "") + "/")}));

        // A batch's buttons open the chosen row's files.
        dir.write("sub/b.txt", "第一章\r\n他说好。\r\n");
        desktop.folderAnswer = path(dir, "sub");
        desktop.openedUrls.clear();
        w.Command2_Click();
        QVERIFY(runEnds(w));
        w.showResult();
        QCOMPARE(view.Faces->currentIndex(), 1);
        view.OpenFolder->click();  // no row chosen: the batch's folder
        view.FileTable->selectRow(0);
        view.OpenCopy->click();
        view.OpenBook->click();
        QCOMPARE(desktop.openedUrls, QList<QUrl>({QUrl::fromLocalFile(path(dir, "sub/")),
                                                  QUrl::fromLocalFile(path(dir, "sub/kovra-b.txt")),
                                                  QUrl::fromLocalFile(path(dir, "sub/kovra-b.epub"))}));
    }

    void aBatchShowsEachFileWithItsFailureInChinese() {
        TempDir dir;
        dir.write("a.txt", "第一章\r\n他说好。\r\n第二章\r\n");
        dir.write("b.txt", "第一章\r\n他说好。\r\n");
        dir.write("c/d.txt", "他说好。\r\n");
        std::filesystem::create_directory(dir.path("kovra-b.txt"));
        Desktop desktop;
        desktop.folderAnswer = path(dir, "");
        Form1 w(desktop);
        w.show();
        w.Command2_Click();
        QVERIFY(runEnds(w));
        w.showResult();
        ResultView& view = *w.resultView();
        QCOMPARE(view.Faces->currentIndex(), 1);
        QCOMPARE(view.files.rowCount(), 3);
        const BatchRow& failed = view.files.row(1);
        QCOMPARE(failed.name, QStringLiteral("b.txt"));
        // The copy's path is another than the row's: it stays in the text.
        QCOMPARE(failed.failure, path(dir, "kovra-b.txt") + QStringLiteral("：无法用新的副本替换已有的同名文件（那是一个文件夹）。"));
        QCOMPARE(view.files.row(0).chapters, 2);
        QCOMPARE(view.files.row(0).encoding, QStringLiteral("UTF-8"));
        QCOMPARE(view.files.row(2).name, QStringLiteral("c/d.txt"));
        QVERIFY(view.Summary->text().contains(QStringLiteral("共2个文件已排版，1项未能处理")));

        // Failures first, whichever way a column is sorted.
        auto names = [&view] { return column(view.sortedFiles, BatchTableModel::Name); };
        view.FileTable->sortByColumn(BatchTableModel::Chapters, Qt::DescendingOrder);
        QCOMPARE(names(), QStringList({"a.txt", "c/d.txt", "b.txt"}));
        view.FailuresFirst->setChecked(true);
        QCOMPARE(names(), QStringList({"b.txt", "a.txt", "c/d.txt"}));
        view.FileTable->sortByColumn(BatchTableModel::Chapters, Qt::AscendingOrder);
        QCOMPARE(names(), QStringList({"b.txt", "c/d.txt", "a.txt"}));
    }

    void theWindowStartedWithPathsTypesetsThem_data() {
        QTest::addColumn<QStringList>("paths");  // in the scratch folder, which holds a.txt, notes.doc and shelf/{b,c}.txt
        QTest::addColumn<QString>("frame");      // Frame2's title at the end
        QTest::addColumn<QString>("first");      // the first statistic, empty when none
        QTest::addColumn<int>("face");           // of the result view: 0 one file, 1 a batch, -1 no view
        QTest::addColumn<QString>("warning");    // %1: the scratch folder
        QTest::addRow("a file") << QStringList{"a.txt"} << "结果统计" << "原文件共3个段落" << 0 << "";
        QTest::addRow("a folder") << QStringList{"shelf"} << "共2个文件" << "原文件共2个段落" << 1 << "";
        QTest::addRow("both") << QStringList{"a.txt", "shelf"} << "共3个文件" << "原文件共5个段落" << 1 << "";
        QTest::addRow("a missing file") << QStringList{"gone.txt"} << "结果统计" << "" << 0
                                        << "无法排版这个文件：\n%1/gone.txt：无法打开（文件不存在）。";
        QTest::addRow("not a .txt file") << QStringList{"notes.doc"} << "使用说明" << "" << -1
                                         << "无法排版这个文件：\n%1/notes.doc：不是TXT文件，没有排版（只排版名字以.txt结尾的文件）。";
        QTest::addRow("a bad one among good ones")
            << QStringList{"notes.doc", "a.txt", "gone.txt"} << "共1个文件" << "原文件共3个段落" << 1
            << "以下2项未能处理，其余文件已排版：\n%1/notes.doc：不是TXT文件，没有排版（只排版名字以.txt结尾的文件）。\n"
               "%1/gone.txt：无法打开（文件不存在）。\n";
    }
    void theWindowStartedWithPathsTypesetsThem() {
        QFETCH(QStringList, paths);
        QFETCH(QString, frame);
        QFETCH(QString, first);
        QFETCH(int, face);
        QFETCH(QString, warning);
        TempDir dir;
        dir.write("a.txt", "第一章\r\n他走进房间，\r\n看见一封信。\r\n");
        dir.write("notes.doc", "第一章\r\n");
        dir.write("shelf/b.txt", "第一章\r\n");
        dir.write("shelf/c.txt", "第二章\r\n");
        QStringList given;
        for (const QString& p : paths) given << path(dir, p.toStdString());
        Desktop desktop;
        Form1 w(desktop);
        w.show();
        bool shown = false;
        connect(&w, &Form1::resultShown, this, [&shown] { shown = true; });
        w.typesetPaths(given);
        QVERIFY(runEnds(w, [&] { return shown || face < 0; }));
        QCOMPARE(w.Frame2->title(), frame);
        QCOMPARE(w.Label9->text(), first);
        QCOMPARE(desktop.warnings, warning.isEmpty() ? QStringList() : QStringList{warning.arg(path(dir, ""))});
        if (face < 0) {
            QVERIFY(!w.resultView() && !w.Command3->isVisible());
        } else {
            QVERIFY(w.resultView() && w.resultView()->isVisible());
            QCOMPARE(w.resultView()->Faces->currentIndex(), face);
        }
        QVERIFY(!QFile::exists(path(dir, "kovra-notes.doc")));
        // The window is free again.
        QVERIFY(w.Command1->isEnabled() && w.windowTitle() == kIdleCaption);
        desktop.fileAnswer = path(dir, "a.txt");
        w.Command1_Click();
        QVERIFY(runEnds(w));
        QCOMPARE(w.Label9->text(), QStringLiteral("原文件共3个段落"));
    }
};

QTEST_MAIN(ResultViewTest)
#include "result_view_test.moc"
