// The window, driven as a user would, with the dialogs answered by the test.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "form1.h"
#include "temp_dir.h"

using quenlet::test::readFile;
using quenlet::test::TempDir;
using namespace quenlet::ui;

namespace {

class ScriptedPlatform final : public WindowPlatform {
public:
    QString chooseFile(QWidget*, const QString& title, const QString& folder, const QString& filter) override {
        ++dialogs;
        lastDialog = title + "|" + folder + "|" + filter;
        return fileAnswer;
    }
    QString chooseFolder(QWidget*, const QString& prompt) override {
        ++dialogs;
        lastDialog = prompt;
        return folderAnswer;
    }
    void openUrl(const QUrl& url) override { openedUrls << url.toString(); }
    void processEvents() override {
        ++eventRounds;
        if (onEvents) onEvents();
    }
    void showWarning(QWidget*, const QString&, const QString& text) override { warnings << text; }

    QString fileAnswer;
    QString folderAnswer;
    int dialogs = 0;
    QString lastDialog;
    QStringList openedUrls;
    QStringList warnings;
    int eventRounds = 0;
    std::function<void()> onEvents;
};

// Records every caption the window shows.
class CaptionLog : public QObject {
public:
    explicit CaptionLog(QWidget& window) : window_(window) { window.installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowTitleChange) captions << window_.windowTitle();
        return false;
    }
    QStringList captions;

private:
    QWidget& window_;
};

const QString kWide2 = QString(2, QChar(0x3000));
const std::string kRoad = "第一章　开端\r\n他走进房间，看见桌上\r\n放着一封信。\r\n";

QStringList statisticLabels(const Form1& w) {
    return {w.Label9->text(), w.Label7->text(), w.Label8->text(), w.Label5->text()};
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void opensWithItsOpeningValues() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        QCOMPARE(w.windowTitle(), QStringLiteral("Quenlet V1.0"));
        QCOMPARE(w.Frame2->title(), QStringLiteral("使用说明"));
        QVERIFY(w.Label11->isVisible());
        QVERIFY(w.Label11->text().startsWith(QString(QChar(0x3000)) + QStringLiteral("1.先设置规则") + QString(12, ' ')));
        QVERIFY(w.Label11->text().endsWith(QStringLiteral("以“KOVRA－”为前缀的TXT文件副本。")));
        QCOMPARE(statisticLabels(w), QStringList({"", "", "", ""}));
        QVERIFY(w.Check1->isChecked() && w.Check3->isChecked());
        for (const auto& [index, box] : w.Check2) {
            QVERIFY2(box->isChecked(), qPrintable(QString::number(index)));
            QVERIFY(box->isVisible());
        }
        QCOMPARE(w.Check2.at(5)->text(), QStringLiteral("\"\"→“”"));
        QCOMPARE(w.Text2->text(), QStringLiteral("《"));
        QCOMPARE(w.Text4->text(), kWide2);
        QCOMPARE(w.Text7->text(), QStringLiteral(" "));
        QCOMPARE(w.Text8->text(), QStringLiteral(" "));
        QVERIFY(w.Command1->isEnabled() && w.Command2->isEnabled());
        QCOMPARE(w.Command1->text(), QStringLiteral("打　开　排　版"));
        QCOMPARE(w.Text4->toolTip(), QStringLiteral("双击清除，默认段前空两格。"));
        QCOMPARE(w.takeOptions(), quenlet::TypesetOptions{});
        const double scale = w.logicalDpiX() / 96.0;
        QCOMPARE(w.size(), QSize(qRound(485 * scale), qRound(305 * scale)));
        QCOMPARE(w.Command2->geometry(), QRect(qRound(240 * scale), qRound(264 * scale), qRound(129 * scale),
                                               qRound(36 * scale)));
    }

    void cancelledDialogUnlocksButKeepsTheResultsFace() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        w.Command1_Click();
        QCOMPARE(platform.lastDialog, "打开文件|" + QCoreApplication::applicationDirPath() + "|所有文件 (*)");
        QVERIFY(!w.Label11->isVisible());
        QCOMPARE(w.Frame2->title(), QStringLiteral("结果统计"));
        QCOMPARE(statisticLabels(w), QStringList({"", "", "", ""}));
        QVERIFY(w.Text2->isEnabled() && w.Text8->isEnabled() && w.Command1->isEnabled());
        QCOMPARE(w.windowTitle(), QStringLiteral("Quenlet V1.0"));
    }

    void typesetsOneFileWithProgressCaptions() {
        TempDir dir;
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("书.txt", kRoad));
        Form1 w(platform);
        w.show();
        CaptionLog log(w);
        w.Command1_Click();
        QCOMPARE(log.captions, QStringList({"正在合并中......", "第1行正在替换处理......", "第1行正在分段处理......",
                                            "第3行正在替换处理......", "第3行正在分段处理......", "Quenlet V1.0"}));
        QCOMPARE(statisticLabels(w),
                 QStringList({"原文件共3个段落", "合并掉了1个段落", "新分成了0个段落", "最终成了2个段落"}));
        QCOMPARE(readFile(dir.path("kovra-书.txt")), "《第一章开端》\r\n\r\n　　他走进房间，看见桌上放着一封信。\r\n");
        QVERIFY(!w.isMinimized());
        QVERIFY(w.Frame1->isEnabled() && w.Frame3->isEnabled() && w.Command1->isEnabled() && w.Text5->isEnabled());
        QVERIFY(platform.warnings.isEmpty());
    }

    void aFailedFileIsExplainedInAMessage() {
        TempDir dir;
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("a.txt", kRoad));
        std::filesystem::create_directory(dir.path("kovra-a.txt"));
        Form1 w(platform);
        w.show();
        w.Command1_Click();
        QCOMPARE(platform.warnings.size(), 1);
        QVERIFY(platform.warnings[0].contains(QString::fromStdString(dir.path("kovra-a.txt")) +
                                              ": cannot replace output: Is a directory"));
        QVERIFY(w.Frame1->isEnabled() && w.Command1->isEnabled() && w.Text2->isEnabled());
        QCOMPARE(w.windowTitle(), QStringLiteral("Quenlet V1.0"));
    }

    void batchShowsFileCountAndTotalsAndReadsOptionsPerFile() {
        TempDir dir;
        dir.write("a.txt", "标题\n");
        dir.write("sub/b.txt", "标题\n");
        dir.write("kovra-old.txt", "x");
        ScriptedPlatform platform;
        platform.folderAnswer = QString::fromStdString(dir.path());
        Form1 w(platform);
        w.show();
        CaptionLog log(w);
        // Between files the user edits the heading marker; the next file uses it.
        platform.onEvents = [&w] { w.Text2->setText(QStringLiteral("【")); };
        w.Command2_Click();
        QCOMPARE(platform.lastDialog, QStringLiteral("请选择路径："));
        QCOMPARE(log.captions, QStringList({"处理第1文件", "处理第2文件", "Quenlet V1.0"}));
        QCOMPARE(w.Frame2->title(), QStringLiteral("共2个文件"));
        QCOMPARE(statisticLabels(w),
                 QStringList({"原文件共2个段落", "合并掉了0个段落", "新分成了0个段落", "最终成了2个段落"}));
        QVERIFY(!w.Label11->isVisible());
        QCOMPARE(readFile(dir.path("kovra-a.txt")), "《标题》\r\n\r\n");
        QCOMPARE(readFile(dir.path("sub/kovra-b.txt")), "【标题》\r\n\r\n");
        QCOMPARE(platform.eventRounds, 3);  // after each file entry: a.txt, kovra-old.txt, sub/b.txt
        QVERIFY(!w.isMinimized());
    }

    void noSecondRunStartsWhileABatchLetsEventsIn() {
        TempDir dir;
        dir.write("a.txt", "标题\n");
        dir.write("b.txt", "标题\n");
        ScriptedPlatform platform;
        platform.folderAnswer = QString::fromStdString(dir.path());
        Form1 w(platform);
        w.show();
        platform.onEvents = [&w] {
            w.Command2->click();
            w.Command1->click();
        };
        w.Command2_Click();
        QCOMPARE(platform.dialogs, 1);
        QCOMPARE(w.Frame2->title(), QStringLiteral("共2个文件"));
    }

    void failuresOfABatchAreSummedUpOnce() {
        TempDir dir;
        dir.write("a.txt", "标题\n");
        dir.write("b.txt", "标题\n");
        dir.write("c.txt", "标题\n");
        std::filesystem::create_directory(dir.path("kovra-a.txt"));
        std::filesystem::create_directory(dir.path("kovra-c.txt"));
        ScriptedPlatform platform;
        platform.folderAnswer = QString::fromStdString(dir.path());
        Form1 w(platform);
        w.show();
        w.Command2_Click();
        QCOMPARE(platform.warnings.size(), 1);
        QVERIFY(platform.warnings[0].contains("kovra-a.txt") && platform.warnings[0].contains("kovra-c.txt"));
        QCOMPARE(w.Frame2->title(), QStringLiteral("共1个文件"));
    }

    void cancelledFolderDialogChangesNothing() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        w.Command2_Click();
        QCOMPARE(w.Frame2->title(), QStringLiteral("使用说明"));
        QVERIFY(w.Label11->isVisible());
    }

    void resetEmptiesTheFieldsAndSelectsTheIndent() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.Text6->setText(QStringLiteral("你"));
        w.Check2.at(4)->setChecked(false);
        QTest::mouseDClick(w.Frame1, Qt::LeftButton, {}, QPoint(5, w.Frame1->height() - 5));
        for (QLineEdit* t : {w.Text2, w.Text3, w.Text5, w.Text6, w.Text7, w.Text8}) QCOMPARE(t->text(), QString());
        QCOMPARE(w.Text4->text(), kWide2);
        QVERIFY(!w.Check2.at(4)->isChecked());
        QTRY_VERIFY(w.Text4->hasFocus());
        QTRY_COMPARE(w.Text4->selectedText(), kWide2);

        w.Text2->setText(QStringLiteral("《"));
        QTest::mouseClick(w.Label11, Qt::LeftButton);
        QCOMPARE(w.Text2->text(), QString());
        // A double click on a label inside the frame is not one on the frame.
        w.Text2->setText(QStringLiteral("《"));
        QTest::mouseDClick(w.Label1, Qt::LeftButton);
        QCOMPARE(w.Text2->text(), QStringLiteral("《"));
    }

    void doubleClickClearsABoxButRestoresTheIndent() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        QTest::mouseDClick(w.Text2, Qt::LeftButton);
        QCOMPARE(w.Text2->text(), QString());
        QTest::mouseDClick(w.Text7, Qt::LeftButton);
        QCOMPARE(w.Text7->text(), QString());
        w.Text4->clear();
        QTest::mouseDClick(w.Text4, Qt::LeftButton);
        QCOMPARE(w.Text4->text(), kWide2);
    }

    void splittingBoxShowsAndHidesTheDeletionBoxesKeepingTheirTicks() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        w.Check2.at(2)->setChecked(false);
        w.Check1->setChecked(false);
        for (int index : {1, 2, 7}) QVERIFY(!w.Check2.at(index)->isVisible());
        QVERIFY(w.Check2.at(3)->isVisible());
        QVERIFY(!w.takeOptions().SplitParagraphs);
        QVERIFY2(w.takeOptions().DeleteAsterisks, "hidden boxes still count");
        w.Check1->setChecked(true);
        for (int index : {1, 2, 7}) QVERIFY(w.Check2.at(index)->isVisible());
        QVERIFY(w.Check2.at(1)->isChecked() && !w.Check2.at(2)->isChecked() && w.Check2.at(7)->isChecked());
        w.Check3->setCheckState(Qt::PartiallyChecked);
        QVERIFY(!w.takeOptions().MergeLines);
    }

    void contactLabelOpensAMailLink() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        QTest::mouseClick(w.Label3, Qt::LeftButton);
        QCOMPARE(platform.openedUrls, QStringList({"mailto:" + w.Label3->text()}));
        QVERIFY(w.Label3->geometry().right() < w.width());
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
