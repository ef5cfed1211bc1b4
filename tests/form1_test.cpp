// The window, driven as a user would, with the dialogs answered by the test.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QXmlStreamReader>
#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>

#include "child_process.h"
#include "text/chinese_conversion.h"
#include "epub_reader.h"
#include "ui/failure_texts.h"
#include "ui/form1.h"
#include "ui/output_choices.h"
#include "ui/qt_translations.h"
#include "temp_dir.h"

using quenlet::test::readFile;
using quenlet::test::TempDir;
using namespace quenlet::ui;

namespace {

class ScriptedPlatform final : public WindowPlatform {
public:
    // Settings in a file of their own: never the user's, never another test's.
    explicit ScriptedPlatform(const QString& settingsFile = {})
        : settings_(settingsFile.isEmpty() ? QString::fromStdString(settingsDir_.path("quenlet.ini")) : settingsFile,
                    QSettings::IniFormat) {}

    QString chooseFile(QWidget*, const QString& title, const QString& folder, const QString& filter) override {
        ++dialogs;
        lastDialog = title + "|" + folder + "|" + filter;
        if (onChoose) onChoose();
        return fileAnswer;
    }
    QString chooseFolder(QWidget*, const QString& prompt, const QString& folder) override {
        ++dialogs;
        lastDialog = prompt + "|" + folder;
        return folderAnswer;
    }
    void openUrl(const QUrl& url) override { openedUrls << url.toString(); }
    void showWarning(QWidget*, const QString&, const QString& text) override { warnings << text; }
    QSettings& settings() override { return settings_; }
    // On the worker thread.
    void betweenFileEntries() override {
        ++eventRounds;
        if (onBetween) onBetween();
    }

    QString fileAnswer;
    QString folderAnswer;
    int dialogs = 0;
    QString lastDialog;
    QStringList openedUrls;
    QStringList warnings;
    std::atomic<int> eventRounds = 0;
    std::function<void()> onChoose;
    std::function<void()> onBetween;

private:
    TempDir settingsDir_;
    QSettings settings_;
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
// As novels are downloaded: a site prefix before a heading, an update stamp,
// and a heading run into the unfinished paragraph before it.
const std::string kDownload =
    "　　正文 第一回  雨夜投店\r\n　　更新时间:2007-11-16 7:55:51 本章字数:4804\r\n"
    "　　老陈站在店门口，看着街上的灯火。\r\n　　年轻人翻开旧书，又说：“这一页\r\n"
    "　　第二回 旧书新信\r\n　　天亮了，他把信放在柜台上。\r\n";
// Over 100 KB of text without a single chapter heading.
std::string headinglessNovel() {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "他走进房间，看见桌上放着一封信。\r\n";
    return text;
}

QStringList statisticLabels(const Form1& w) {
    return {w.Label9->text(), w.Label7->text(), w.Label8->text(), w.Label5->text()};
}

// Waits until the window shows the end of its run, its event loop running all the while.
bool runEnds(Form1& w) {
    if (!w.isRunning()) return true;
    QEventLoop loop;
    QObject::connect(&w, &Form1::runEnded, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return !w.isRunning();
}

// From the worker thread: does `action` on the window's thread and waits for it.
void onWindowThread(QObject& window, const std::function<void()>& action) {
    QMetaObject::invokeMethod(&window, action, Qt::BlockingQueuedConnection);
}

// True when every caption shown is one of `all`, in the order of `all`.
bool inOrderOf(const QStringList& shown, const QStringList& all) {
    qsizetype next = 0;
    for (const QString& caption : shown) {
        while (next < all.size() && all[next] != caption) ++next;
        if (next == all.size()) return false;
        ++next;
    }
    return true;
}

void drop(QWidget& target, QMimeData& data) {
    const QPointF at(target.width() / 2.0, target.height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &dropped);
    QTest::qWait(1);  // the drop is taken up once the event is over
}

QColor middleRightPixel(QWidget* box) {
    return box->grab().toImage().pixelColor(box->width() - 6, box->height() / 2);
}

// The visible children of `parent` that are widgets of their own (not the
// parts of a line edit or button).
QList<QWidget*> visibleControls(QWidget* parent) {
    QList<QWidget*> controls;
    for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible()) controls << child;
    return controls;
}

// Everything that is wrong with the layout as it stands: overlapping
// siblings, controls over a frame's caption or border or outside the window,
// and texts that do not fit their controls.
QStringList layoutFaults(Form1& w) {
    QStringList faults;
    QList<QWidget*> containers{&w};
    for (QGroupBox* frame : w.findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) containers << frame;
    for (QWidget* parent : containers) {
        const QList<QWidget*> controls = visibleControls(parent);
        const auto* frame = qobject_cast<QGroupBox*>(parent);
        const QRect room = frame ? frame->contentsRect() : parent->rect();
        for (qsizetype i = 0; i < controls.size(); ++i) {
            const QRect a = controls[i]->geometry();
            if (!room.contains(a))
                faults << QStringLiteral("'%1' leaves the room of '%2'")
                              .arg(controls[i]->property("text").toString(), parent->property("title").toString());
            for (qsizetype j = i + 1; j < controls.size(); ++j)
                if (a.intersects(controls[j]->geometry()))
                    faults << QStringLiteral("overlap: '%1' and '%2'")
                                  .arg(controls[i]->property("text").toString(),
                                       controls[j]->property("text").toString());
        }
    }
    for (QWidget* control : w.findChildren<QWidget*>()) {
        if (!control->isVisible()) continue;
        if (auto* label = qobject_cast<QLabel*>(control)) {
            const bool fits = label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                                : label->sizeHint().width() <= label->width();
            if (!fits) faults << "clipped: " + label->text();
        } else if (qobject_cast<QCheckBox*>(control) || qobject_cast<QPushButton*>(control) ||
                   qobject_cast<QComboBox*>(control)) {
            if (control->sizeHint().width() > control->width())
                faults << "clipped: " + control->property("text").toString();
        }
    }
    return faults;
}

// True when nothing of `message` is in English: what is left once the file
// names, the names of encodings and character codes are taken out holds no
// Latin letter.
bool wholeChinese(QString message, const QStringList& names) {
    for (const QString& name : names) message.remove(name);
    for (const quenlet::EncodingInfo& info : quenlet::encodings())
        message.remove(quenlet::ui::encodingLabel(info.encoding));
    message.remove(QRegularExpression(QStringLiteral("U\\+[0-9A-F]{4,6}")));
    return !message.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

}  // namespace

class Form1Test : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // A safety net: whatever the window opens by default stays out of the user's configuration.
        QStandardPaths::setTestModeEnabled(true);
    }

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
        QCOMPARE(w.Frame4->title(), QStringLiteral("扩展设置"));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("与原文件相同"));
        QCOMPARE(w.Combo2->currentText(), QStringLiteral("不转换"));
        QVERIFY(!w.takeSettings().outputFormat.has_value() && w.takeSettings().conversion.empty());
        QCOMPARE(w.Check4->text(), QStringLiteral("整理网络文本"));
        QCOMPARE(w.Check5->text(), QStringLiteral("同时生成EPUB"));
        QVERIFY(!w.Check4->isChecked() && !w.Check5->isChecked());
        QVERIFY(!w.takeSettings().hooks && !w.takeSettings().book && w.takeSettings().writeText);
        for (QCheckBox* box : {w.Check4, w.Check5}) QVERIFY(wholeChinese(box->toolTip(), {"EPUB", "kovra-", ".epub", "TXT"}));
        const double scale = w.logicalDpiX() / 96.0;
        // The designed window, grown downward by the 扩展设置 frame below everything else.
        QCOMPARE(w.size(), QSize(qRound(485 * scale), qRound(389 * scale)));
        for (QWidget* above : std::initializer_list<QWidget*>{w.Frame1, w.Frame2, w.Frame3, w.Command1, w.Command2,
                                                             w.Label3})
            QVERIFY(above->geometry().bottom() < w.Frame4->geometry().top());
        QCOMPARE(w.Command2->geometry(), QRect(qRound(240 * scale), qRound(264 * scale), qRound(129 * scale),
                                               qRound(36 * scale)));
    }

    void carriesItsIcon() {
        ScriptedPlatform platform;
        Form1 w(platform);
        const QIcon icon = w.windowIcon();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().contains(QSize(24, 24)));
        QVERIFY(icon.availableSizes().contains(QSize(48, 48)));
        QCOMPARE(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
    }

    void installsValidIcons() {
        const QString folder = QStringLiteral(QUENLET_UI_RESOURCES);
        QCOMPARE(QImage(folder + "/quenlet-48.png").size(), QSize(48, 48));
        QFile svg(folder + "/quenlet.svg");
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        QVERIFY(xml.readNextStartElement() && xml.name() == QStringLiteral("svg"));
        while (!xml.atEnd()) xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    }

    void qtDialogsSpeakChinese() {
        QVERIFY(installQtChineseTranslations(*QCoreApplication::instance()));
        QDialogButtonBox buttons(QDialogButtonBox::Open | QDialogButtonBox::Cancel);
        QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
        QVERIFY(buttons.button(QDialogButtonBox::Open)->text().contains(QStringLiteral("打开")));
    }

    void layoutHolds_data() {
        QTest::addColumn<double>("desktopPointSize");
        QTest::addColumn<QString>("state");
        QTest::addRow("opening") << 0.0 << "opening";
        QTest::addRow("11 pt desktop font") << 11.0 << "opening";
        QTest::addRow("14 pt desktop font, statistics shown") << 14.0 << "statistics";
        QTest::addRow("splitting box cleared") << 0.0 << "unsplit";
    }
    void layoutHolds() {
        QFETCH(double, desktopPointSize);
        QFETCH(QString, state);
        const QFont desktopFont = QApplication::font();
        if (desktopPointSize > 0) {
            QFont larger = desktopFont;
            larger.setPointSizeF(desktopPointSize);
            QApplication::setFont(larger);
        }
        TempDir dir;
        ScriptedPlatform platform;
        auto w = std::make_unique<Form1>(platform);
        QApplication::setFont(desktopFont);
        w->show();
        if (state == "statistics") {
            platform.fileAnswer = QString::fromStdString(dir.write("a.txt", kRoad));
            w->Command1_Click();
            QVERIFY(runEnds(*w));
            QVERIFY(w->Label9->isVisible());
        } else if (state == "unsplit") {
            w->Check1->setChecked(false);
        }
        QCOMPARE(layoutFaults(*w), QStringList());
        QCOMPARE(w->font().pointSizeF(), 9.0);
    }

    void cancelledDialogUnlocksButKeepsTheResultsFace() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        w.Command1_Click();
        QCOMPARE(platform.lastDialog, "打开文件|" + QDir::homePath() + "|所有文件 (*)");
        QVERIFY(!w.Label11->isVisible());
        QCOMPARE(w.Frame2->title(), QStringLiteral("结果统计"));
        QCOMPARE(statisticLabels(w), QStringList({"", "", "", ""}));
        QVERIFY(w.Text2->isEnabled() && w.Text8->isEnabled() && w.Command1->isEnabled());
        QCOMPARE(w.windowTitle(), QStringLiteral("Quenlet V1.0"));
        QVERIFY(!w.isRunning());
    }

    void disabledBoxesLookDisabled() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        const QColor lightEnabled = middleRightPixel(w.Text2);
        const QColor darkEnabled = middleRightPixel(w.Text6);
        QCOMPARE(lightEnabled, QColor(192, 192, 255));
        QCOMPARE(darkEnabled, QColor(0, 0, 192));
        QColor lightDisabled;
        QColor darkDisabled;
        platform.onChoose = [&] {  // the boxes are disabled while the file dialog is open
            QVERIFY(!w.Text2->isEnabled());
            lightDisabled = middleRightPixel(w.Text2);
            darkDisabled = middleRightPixel(w.Text6);
        };
        w.Command1_Click();
        QVERIFY(lightDisabled.isValid() && lightDisabled != lightEnabled);
        QVERIFY(darkDisabled.isValid() && darkDisabled != darkEnabled);
        QCOMPARE(middleRightPixel(w.Text2), lightEnabled);
    }

    void typesetsOneFileWithProgressCaptions() {
        TempDir dir;
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("书.txt", kRoad));
        Form1 w(platform);
        w.show();
        CaptionLog log(w);
        w.Command1_Click();
        QVERIFY(runEnds(w));
        // Captions are shown at the window's pace: some may be passed over,
        // but never reordered, and the run's last one is always shown.
        const QStringList all{"正在合并中......",         "第1行正在替换处理......", "第1行正在分段处理......",
                              "第3行正在替换处理......", "第3行正在分段处理......", "Quenlet V1.0"};
        QVERIFY2(inOrderOf(log.captions, all), qPrintable(log.captions.join(',')));
        QCOMPARE(log.captions.first(), all.first());
        QCOMPARE(log.captions.mid(log.captions.size() - 2), all.mid(4));
        QCOMPARE(statisticLabels(w),
                 QStringList({"原文件共3个段落", "合并掉了1个段落", "新分成了0个段落", "最终成了2个段落"}));
        QCOMPARE(readFile(dir.path("kovra-书.txt")), "《第一章开端》\r\n\r\n　　他走进房间，看见桌上放着一封信。\r\n");
        QVERIFY(!w.isMinimized());
        QVERIFY(w.Frame1->isEnabled() && w.Frame3->isEnabled() && w.Command1->isEnabled() && w.Text5->isEnabled());
        QVERIFY(platform.warnings.isEmpty());
    }

    void aLargeFileShowsFewCaptionsInOrder() {
        TempDir dir;
        std::string novel;
        for (int i = 0; i < 40000; ++i) novel += "他走进房间，看见桌上放着一封信。\r\n";
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("big.txt", novel));
        Form1 w(platform);
        w.show();
        CaptionLog log(w);
        QElapsedTimer clock;
        clock.start();
        w.Command1_Click();
        QVERIFY(runEnds(w));
        const qint64 elapsed = clock.elapsed();
        // Two captions for each of 40000 paragraphs; the window shows a few dozen a second.
        QVERIFY2(log.captions.size() <= 4 + elapsed / 30, qPrintable(QString::number(log.captions.size())));
        QCOMPARE(log.captions.mid(log.captions.size() - 2),
                 QStringList({"第40000行正在分段处理......", "Quenlet V1.0"}));
        qint64 previous = 0;
        for (const QString& caption : log.captions.mid(1, log.captions.size() - 2)) {
            const qint64 line = QRegularExpression("^第(\\d+)行").match(caption).captured(1).toLongLong();
            QVERIFY2(line >= previous, qPrintable(caption));
            previous = line;
        }
        QCOMPARE(w.Label9->text(), QStringLiteral("原文件共40000个段落"));
    }

    void aFailedRunIsExplainedAndClearsTheStatistics() {
        TempDir dir;
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("good.txt", kRoad));
        Form1 w(platform);
        w.show();
        w.Command1_Click();
        QVERIFY(runEnds(w));
        QCOMPARE(w.Label9->text(), QStringLiteral("原文件共3个段落"));

        platform.fileAnswer = QString::fromStdString(dir.write("a.txt", kRoad));
        std::filesystem::create_directory(dir.path("kovra-a.txt"));
        w.Command1_Click();
        QVERIFY(runEnds(w));
        QCOMPARE(platform.warnings.size(), 1);
        QCOMPARE(platform.warnings[0], QStringLiteral("无法排版这个文件：\n") +
                                           QString::fromStdString(dir.path("kovra-a.txt")) +
                                           QStringLiteral("：无法用新的副本替换已有的同名文件（那是一个文件夹）。"));
        QCOMPARE(statisticLabels(w), QStringList({"", "", "", ""}));
        QVERIFY(!w.Label9->isVisible());
        QVERIFY(w.Frame1->isEnabled() && w.Command1->isEnabled() && w.Text2->isEnabled());
        QCOMPARE(w.windowTitle(), QStringLiteral("Quenlet V1.0"));
        QVERIFY(!w.isMinimized());
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
        platform.onBetween = [&w] { onWindowThread(w, [&w] { w.Text2->setText(QStringLiteral("【")); }); };
        w.Command2_Click();
        QVERIFY(runEnds(w));
        QCOMPARE(platform.lastDialog, QStringLiteral("请选择路径：|") + QDir::homePath());
        QVERIFY2(inOrderOf(log.captions, {"处理第1文件", "处理第2文件", "Quenlet V1.0"}),
                 qPrintable(log.captions.join(',')));
        QCOMPARE(log.captions.mid(log.captions.size() - 2), QStringList({"处理第2文件", "Quenlet V1.0"}));
        QCOMPARE(w.Frame2->title(), QStringLiteral("共2个文件"));
        QCOMPARE(statisticLabels(w),
                 QStringList({"原文件共2个段落", "合并掉了0个段落", "新分成了0个段落", "最终成了2个段落"}));
        QVERIFY(!w.Label11->isVisible());
        QCOMPARE(readFile(dir.path("kovra-a.txt")), "《标题》\r\n\r\n");
        QCOMPARE(readFile(dir.path("sub/kovra-b.txt")), "【标题》\r\n\r\n");
        QCOMPARE(platform.eventRounds.load(), 3);  // after each file entry: a.txt, kovra-old.txt, sub/b.txt
        QVERIFY(!w.isMinimized());
    }

    void clicksDuringARunAreIgnoredNotQueued() {
        TempDir dir;
        dir.write("a.txt", "标题\n");
        dir.write("b.txt", "标题\n");
        ScriptedPlatform platform;
        platform.folderAnswer = QString::fromStdString(dir.path());
        platform.fileAnswer = QString::fromStdString(dir.path("a.txt"));
        Form1 w(platform);
        w.show();
        platform.onBetween = [&w] {
            onWindowThread(w, [&w] {
                QTest::mouseClick(w.Command2, Qt::LeftButton);
                QTest::mouseClick(w.Command1, Qt::LeftButton);
            });
        };
        w.Command2_Click();
        QVERIFY(runEnds(w));
        QTest::qWait(20);
        QCOMPARE(platform.dialogs, 1);
        QCOMPARE(w.Frame2->title(), QStringLiteral("共2个文件"));

        // A single file: the window's thread is free the moment the run starts.
        w.Command1_Click();
        QVERIFY(w.isRunning());
        QTest::mouseClick(w.Command2, Qt::LeftButton);
        w.Command1_Click();
        QVERIFY(runEnds(w));
        QTest::qWait(20);
        QCOMPARE(platform.dialogs, 2);
        QCOMPARE(w.Frame2->title(), QStringLiteral("结果统计"));
        QCOMPARE(w.Label9->text(), QStringLiteral("原文件共1个段落"));
    }

    void closingTheWindowDuringARunLeavesNoPartialOutput() {
        TempDir dir;
        std::string novel;
        for (int i = 0; i < 200000; ++i) novel += "他走进房间，看见桌上放着一封信。\r\n";
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("big.txt", novel));
        auto w = std::make_unique<Form1>(platform);
        w->show();
        w->Command1_Click();
        QVERIFY(w->isRunning());
        w.reset();
        // The run was stopped: its copy is absent (or, had it already ended, whole).
        QStringList left = QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden);
        left.removeOne("big.txt");
        if (!left.isEmpty()) {
            QCOMPARE(left, QStringList({"kovra-big.txt"}));
            QVERIFY(readFile(dir.path("kovra-big.txt")).size() > novel.size());
        }
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
        QVERIFY(runEnds(w));
        QCOMPARE(platform.warnings.size(), 1);
        const QString replaced = QStringLiteral("：无法用新的副本替换已有的同名文件（那是一个文件夹）。\n");
        QCOMPARE(platform.warnings[0], QStringLiteral("以下2项未能处理，其余文件已排版：\n") +
                                           QString::fromStdString(dir.path("kovra-a.txt")) + replaced +
                                           QString::fromStdString(dir.path("kovra-c.txt")) + replaced);
        QCOMPARE(w.Frame2->title(), QStringLiteral("共1个文件"));
    }

    void failuresAreExplainedInChinese_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("failedName");  // relative to the scratch folder, unless absolute
        QTest::addColumn<QString>("reason");
        QTest::addRow("missing file") << "missing" << "gone.txt" << "：无法打开（文件不存在）。";
        QTest::addRow("a folder") << "folder" << "shelf" << "：这是一个文件夹，不是文件。";
        QTest::addRow("unreadable") << "unreadable" << "/proc/self/mem"
                                    << "：读取时出错（磁盘读写出错，可能是硬件或文件系统的故障）。";
        QTest::addRow("Big5 lacks a character")
            << "big5" << "kovra-a.txt"
            << "：第3行的“说”（U+8BF4）无法用Big5编码写出，文件没有写入任何内容；请换一种输出编码或简繁转换。";
        QTest::addRow("the book's name is taken by a folder")
            << "book" << "kovra-a.epub" << "：无法用新的副本替换已有的同名文件（那是一个文件夹）。";
    }
    void failuresAreExplainedInChinese() {
        QFETCH(QString, setup);
        QFETCH(QString, failedName);
        QFETCH(QString, reason);
        TempDir dir;
        const std::string source = dir.write("a.txt", "第一章\r\n他说好。\r\n");
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        platform.fileAnswer = QString::fromStdString(source);
        if (setup == "missing") {
            platform.fileAnswer = QString::fromStdString(dir.path("gone.txt"));
        } else if (setup == "folder") {
            dir.makeFolders(dir.path("shelf"));
            platform.fileAnswer = QString::fromStdString(dir.path("shelf"));
        } else if (setup == "unreadable") {
            platform.fileAnswer = QStringLiteral("/proc/self/mem");
        } else if (setup == "big5") {
            w.Combo1->setCurrentIndex(w.Combo1->findData(QStringLiteral("big5")));
        } else if (setup == "book") {
            w.Check5->setChecked(true);
            dir.makeFolders(dir.path("kovra-a.epub"));
        }
        w.Command1_Click();
        QVERIFY(runEnds(w));
        const QString failed =
            failedName.startsWith('/') ? failedName : QString::fromStdString(dir.path(failedName.toStdString()));
        QCOMPARE(platform.warnings, QStringList({QStringLiteral("无法排版这个文件：\n") + failed + reason}));
        QVERIFY2(wholeChinese(platform.warnings[0], {failed}), qPrintable(platform.warnings[0]));
        QCOMPARE(statisticLabels(w), QStringList({"", "", "", ""}));
        // A failed file leaves no copy (the text copy is put in place before
        // its book, so a book that cannot be is another matter).
        if (setup != "book") QVERIFY(!QFile::exists(QString::fromStdString(dir.path("kovra-a.txt"))));
    }

    void everyFailureKindHasAReasonOfItsOwn() {
        using quenlet::FailureKind;
        const std::string path = "/书架/第一册.txt";
        QSet<QString> texts;
        for (int k = static_cast<int>(FailureKind::None) + 1; k < static_cast<int>(FailureKind::Other); ++k) {
            quenlet::FailureCause cause(static_cast<FailureKind>(k), path);
            cause.unencodable = {12, U'𠀀', quenlet::Encoding::Big5};
            const QString text = quenlet::ui::failureText(cause, path + ": an English reason");
            QVERIFY2(text.startsWith(QStringLiteral("/书架/第一册.txt：")) && text.endsWith(QStringLiteral("。")) &&
                         wholeChinese(text, {QString::fromStdString(path)}),
                     qPrintable(text));
            texts.insert(text);
        }
        QCOMPARE(texts.size(), static_cast<qsizetype>(FailureKind::Other) - 1);
        // What the engine could not name is shown in its own words, less the file's name.
        QCOMPARE(quenlet::ui::failureText({FailureKind::Other, path}, path + ": an English reason"),
                 QStringLiteral("/书架/第一册.txt：出现意外错误：an English reason。"));
        QCOMPARE(quenlet::ui::failureText({FailureKind::CannotWrite, "a.txt", ENOSPC}),
                 QStringLiteral("a.txt：写入时出错（磁盘已满）。"));
        QCOMPARE(quenlet::ui::systemErrorText(EHWPOISON), QStringLiteral("系统错误，代码%1").arg(EHWPOISON));
    }

    void aRunWhoseThreadCannotStartEndsAsAFailure() {
        // In a child process that may start no thread at all.
        const quenlet::test::ChildResult child = quenlet::test::runInChild(
            [](std::string& report) {
                BackgroundRun run;
                bool ran = false;
                bool done = false;
                run.start([&ran] { ran = true; }, [&done] { done = true; });
                QElapsedTimer clock;
                clock.start();
                while (!done && clock.elapsed() < 10000) QCoreApplication::processEvents();
                report = std::to_string(static_cast<int>(run.unexpectedFailure().kind));
                return done && !ran && !run.active() ? 0 : 1;
            },
            {.unprivileged = true, .maxProcesses = 0});
        QCOMPARE(child.status, 0);
        QCOMPARE(child.report, std::to_string(static_cast<int>(quenlet::FailureKind::CannotStart)));
    }

    void extensionChoicesComeFromTheEngine() {
        ScriptedPlatform platform;
        Form1 w(platform);
        QStringList labels;
        for (int i = 0; i < w.Combo1->count(); ++i) labels << w.Combo1->itemText(i);
        QCOMPARE(labels, QStringList({"与原文件相同", "UTF-8", "UTF-8 (带BOM)", "UTF-16LE", "UTF-16BE", "GB18030", "Big5"}));
        for (const quenlet::NamedFormat& named : quenlet::outputFormats())
            QVERIFY(w.Combo1->findData(QString::fromStdString(std::string(named.name))) > 0);
        QCOMPARE(w.Combo2->count(), static_cast<int>(quenlet::conversionNames().size()) + 1);
        QCOMPARE(w.Combo2->itemText(2), QStringLiteral("繁→简"));
        for (std::string_view name : quenlet::conversionNames()) {
            // Every conversion the engine offers, under a Chinese label.
            const QString label = w.Combo2->itemText(w.Combo2->findData(QString::fromStdString(std::string(name))));
            QVERIFY2(label.contains(QStringLiteral("→")) && wholeChinese(label, {}), name.data());
        }
    }

    void theExtensionOptionsReachTheEngine() {
        TempDir dir;
        // Traditional characters in GB18030, typeset into simplified ones in UTF-8.
        const QByteArray traditional = QStringLiteral("第一章　開端\r\n他走進房間，看見桌上\r\n放了一封信。\r\n").toUtf8();
        std::string gb18030;
        quenlet::encodeText(quenlet::Encoding::Gb18030, quenlet::fromUtf8(traditional.toStdString()), gb18030);
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("书.txt", gb18030));
        Form1 w(platform);
        w.show();
        w.Combo1->setCurrentIndex(w.Combo1->findData(QStringLiteral("utf-8")));
        w.Combo2->setCurrentIndex(w.Combo2->findData(QStringLiteral("t2s")));
        QCOMPARE(w.Combo2->currentText(), QStringLiteral("繁→简"));
        w.Command1_Click();
        QVERIFY(w.isRunning());
        QVERIFY(!w.Frame4->isEnabled());  // locked with the other options while the file runs
        QVERIFY(runEnds(w));
        QCOMPARE(readFile(dir.path("kovra-书.txt")), "《第一章开端》\r\n\r\n　　他走进房间，看见桌上放了一封信。\r\n");
        QVERIFY(w.Frame4->isEnabled());
        QVERIFY(platform.warnings.isEmpty());
    }

    void aBatchTakesTheExtensionOptionsForEachFile() {
        TempDir dir;
        dir.write("a.txt", "标题\n");
        dir.write("b.txt", "标题\n");
        ScriptedPlatform platform;
        platform.folderAnswer = QString::fromStdString(dir.path());
        Form1 w(platform);
        w.show();
        // After the first file the user picks another encoding; the next file is written in it.
        platform.onBetween = [&w] {
            onWindowThread(w, [&w] { w.Combo1->setCurrentIndex(w.Combo1->findData(QStringLiteral("utf-16le"))); });
        };
        w.Command2_Click();
        QVERIFY(runEnds(w));
        QCOMPARE(readFile(dir.path("kovra-a.txt")), "《标题》\r\n\r\n");
        using namespace std::string_literals;
        QCOMPARE(readFile(dir.path("kovra-b.txt")), "\xFF\xFE\x0A\x30\x07\x68\x98\x98\x0B\x30\r\0\n\0\r\0\n\0"s);
    }

    void theTidyBoxReachesTheEngine_data() {
        QTest::addColumn<bool>("tidy");
        QTest::addRow("box clear: the rules alone") << false;
        QTest::addRow("box ticked: the tidy mode") << true;
    }
    void theTidyBoxReachesTheEngine() {
        QFETCH(bool, tidy);
        TempDir dir;
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("书.txt", kDownload));
        Form1 w(platform);
        w.show();
        w.Check4->setChecked(tidy);
        w.Command1_Click();
        QVERIFY(!w.Check4->isEnabled() && !w.Check5->isEnabled());  // locked while the file runs
        QVERIFY(runEnds(w));
        QVERIFY(w.Check4->isEnabled());
        const std::string copy = readFile(dir.path("kovra-书.txt"));
        // The update stamp is junk, and the second chapter's heading stands
        // apart even though the paragraph before it is unfinished.
        QCOMPARE(copy.find("更新时间") == std::string::npos, tidy);
        QCOMPARE(copy.find("\r\n《第二回　旧书新信》\r\n") != std::string::npos, tidy);
        QCOMPARE(copy.find("天亮了，他把信放在柜台上。") != std::string::npos, true);
        QVERIFY(platform.warnings.isEmpty());
        if (tidy) {
            // One tidy mode serves every run: it is made once, not for each file.
            QVERIFY(w.takeSettings().hooks.get() == w.takeSettings().hooks.get());
        }
    }

    // A book's chapters are what the tidy mode finds: ticking the book ticks
    // it, and the user may untick it again without losing the book.
    void theEpubBoxTicksTheTidyBox() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        w.Check5->click();
        QVERIFY(w.Check5->isChecked() && w.Check4->isChecked());
        QVERIFY(w.takeSettings().hooks && w.takeSettings().book);
        w.Check4->click();
        QVERIFY(w.Check5->isChecked() && !w.Check4->isChecked());
        QVERIFY(!w.takeSettings().hooks && w.takeSettings().book);
        w.Check5->click();
        QVERIFY(!w.Check5->isChecked() && !w.Check4->isChecked());
    }

    void theEpubBoxWritesABookBesideTheCopy() {
        TempDir dir;
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("风雨记.txt", kRoad));
        Form1 w(platform);
        w.show();
        w.Check5->setChecked(true);
        // The conversion decides the book's language.
        w.Combo2->setCurrentIndex(w.Combo2->findData(QStringLiteral("s2twp")));
        w.Command1_Click();
        QVERIFY(runEnds(w));
        QVERIFY(platform.warnings.isEmpty());
        QCOMPARE(readFile(dir.path("kovra-风雨记.txt")), "《第一章開端》\r\n\r\n　　他走進房間，看見桌上放著一封信。\r\n");
        const std::string bytes = readFile(dir.path("kovra-风雨记.epub"));
        const quenlet::test::EpubBook book = quenlet::test::readEpub(bytes);
        QCOMPARE(book.entries.front().name, std::string("mimetype"));
        QVERIFY(book.entries.front().stored && bytes.compare(30, 8, "mimetype") == 0);
        QCOMPARE(book.title, std::string("風雨記"));  // the file name, converted as the text is
        QCOMPARE(book.language, std::string("zh-TW"));
        QCOMPARE(book.texts("h2"), std::vector<std::string>({"第一章開端"}));
        QCOMPARE(book.texts("p"), std::vector<std::string>({"他走進房間，看見桌上放著一封信。"}));
        // The statistics stay the four of the text.
        QCOMPARE(statisticLabels(w),
                 QStringList({"原文件共3个段落", "合并掉了1个段落", "新分成了0个段落", "最终成了2个段落"}));

        const QString jar = QStringLiteral("/usr/share/java/epubcheck.jar");
        const QString java = QStandardPaths::findExecutable(QStringLiteral("java"));
        if (!QFile::exists(jar) || java.isEmpty())
            QSKIP("epubcheck (Debian packages epubcheck and default-jre-headless) is not installed");
        QProcess check;
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(java, {QStringLiteral("-jar"), jar, QString::fromStdString(dir.path("kovra-风雨记.epub"))});
        QVERIFY(check.waitForFinished(120000));
        const QString report = QString::fromUtf8(check.readAll());
        QVERIFY2(check.exitCode() == 0 && report.contains(QStringLiteral("No errors or warnings detected.")),
                 qPrintable(report));
    }

    void aBatchTakesTheNewBoxesForEachFile() {
        TempDir dir;
        dir.write("a.txt", kDownload);
        dir.write("b.txt", kDownload);
        ScriptedPlatform platform;
        platform.folderAnswer = QString::fromStdString(dir.path());
        Form1 w(platform);
        w.show();
        // After the first file the user ticks both boxes; the next file is tidied and gets its book.
        platform.onBetween = [&w] {
            onWindowThread(w, [&w] {
                w.Check4->setChecked(true);
                w.Check5->setChecked(true);
            });
        };
        w.Command2_Click();
        QVERIFY(runEnds(w));
        QVERIFY(platform.warnings.isEmpty());
        QVERIFY(readFile(dir.path("kovra-a.txt")).find("更新时间") != std::string::npos);
        QVERIFY(readFile(dir.path("kovra-b.txt")).find("更新时间") == std::string::npos);
        QVERIFY(!QFile::exists(QString::fromStdString(dir.path("kovra-a.epub"))));
        QCOMPARE(quenlet::test::readEpub(readFile(dir.path("kovra-b.epub"))).title, std::string("b"));
        QCOMPARE(w.Frame2->title(), QStringLiteral("共2个文件"));
    }

    void aRunTellsWhatTheUserShouldKnow_data() {
        QTest::addColumn<bool>("tidy");
        QTest::addColumn<bool>("epub");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("note");  // %1: the scratch folder; empty when the run says nothing
        const QString noHeading = QStringLiteral("%1/a.txt：在146 KB的文字中没有找到任何章节标题，排版结果没有分章。");
        const QString replaced =
            QStringLiteral("%1/kovra-a.epub：有1个字符（源文件中无法解码的字节或控制字符）无法放进EPUB，书中显示为“\uFFFD”。");
        QTest::addRow("tidied, long, no heading") << true << false << "headingless" << noHeading;
        QTest::addRow("not tidied: headings are not looked for") << false << false << "headingless" << QString();
        QTest::addRow("tidied, short, no heading") << true << false << "short" << QString();
        QTest::addRow("tidied, long, with headings") << true << false << "chapters" << QString();
        QTest::addRow("a control character in the book") << false << true << "control" << replaced;
        QTest::addRow("tidied, chapters missing")
            << true << false << "gaps" << QStringLiteral("%1/a.txt：章节编号不连续，缺少第4、7章。");
    }
    void aRunTellsWhatTheUserShouldKnow() {
        QFETCH(bool, tidy);
        QFETCH(bool, epub);
        QFETCH(QString, source);
        QFETCH(QString, note);
        TempDir dir;
        std::string text = source == "short" ? "他走进房间，看见桌上放着一封信。\r\n" : headinglessNovel();
        if (source == "chapters") text = "第一章 开端\r\n" + text;
        if (source == "control") text = "第一章\r\n他说\x01好。\r\n";
        if (source == "gaps") {
            text.clear();
            for (const int chapter : {1, 2, 3, 5, 6, 8, 9, 10})
            {
                text += "第" + std::to_string(chapter) + "章 风雨\r\n";
                for (int line = 0; line < 20; ++line) text += "他走进房间，看见桌上放着一封信。\r\n";
            }
        }
        ScriptedPlatform platform;
        platform.fileAnswer = QString::fromStdString(dir.write("a.txt", text));
        Form1 w(platform);
        w.show();
        w.Check4->setChecked(tidy);
        w.Check5->setChecked(epub);
        w.Command1_Click();
        QVERIFY(runEnds(w));
        if (note.isEmpty()) {
            QCOMPARE(platform.warnings, QStringList());
        } else {
            QCOMPARE(platform.warnings,
                     QStringList({QStringLiteral("排版已完成。\n请注意：\n") + note.arg(QString::fromStdString(dir.path())) +
                                  "\n"}));
        }
        QVERIFY(w.Label9->isVisible());  // the run went through: its statistics are shown with the note
    }

    void aBatchSumsUpItsFailuresAndNotesInOneMessage() {
        TempDir dir;
        dir.write("a.txt", headinglessNovel());
        dir.write("b.txt", "第一章\r\n他说\x01好。\r\n");
        dir.write("c.txt", kRoad);
        std::filesystem::create_directory(dir.path("kovra-c.txt"));
        ScriptedPlatform platform;
        platform.folderAnswer = QString::fromStdString(dir.path());
        Form1 w(platform);
        w.show();
        w.Check4->setChecked(true);
        w.Check5->setChecked(true);
        w.Command2_Click();
        QVERIFY(runEnds(w));
        const QString folder = QString::fromStdString(dir.path());
        QCOMPARE(platform.warnings,
                 QStringList({QStringLiteral("以下1项未能处理，其余文件已排版：\n") + folder +
                              QStringLiteral("/kovra-c.txt：无法用新的副本替换已有的同名文件（那是一个文件夹）。\n"
                                             "请注意：\n") +
                              folder + QStringLiteral("/a.txt：在146 KB的文字中没有找到任何章节标题，排版结果没有分章。\n") +
                              folder +
                              QStringLiteral("/kovra-b.epub：有1个字符（源文件中无法解码的字节或控制字符）"
                                             "无法放进EPUB，书中显示为“\uFFFD”。\n")}));
        QCOMPARE(w.Frame2->title(), QStringLiteral("共2个文件"));

        // Without failures the notes come alone, after the batch is reported done.
        std::filesystem::remove(dir.path("kovra-c.txt"));
        platform.warnings.clear();
        w.Command2_Click();
        QVERIFY(runEnds(w));
        QCOMPARE(platform.warnings.size(), 1);
        QVERIFY2(platform.warnings[0].startsWith(QStringLiteral("批量排版已完成。\n请注意：\n") + folder + "/a.txt："),
                 qPrintable(platform.warnings[0]));
    }

    void cancelledFolderDialogChangesNothing() {
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        w.Command2_Click();
        QCOMPARE(w.Frame2->title(), QStringLiteral("使用说明"));
        QVERIFY(w.Label11->isVisible());
        QVERIFY(!w.isRunning());
    }

    void settingsAndFoldersComeBackInANewWindow() {
        TempDir dir;
        const QString settingsFile = QString::fromStdString(dir.path("settings/quenlet.ini"));
        const QString books = QString::fromStdString(dir.path("books"));
        const QString library = QString::fromStdString(dir.path("library"));
        dir.write("books/a.txt", kRoad);
        dir.write("library/b.txt", kRoad);
        {
            ScriptedPlatform platform(settingsFile);
            Form1 w(platform);
            w.resetAllFields();  // a reset is remembered like any edit
            w.Text2->setText(QStringLiteral("【"));
            w.Text5->setText(QStringLiteral(" 完 "));
            w.Check1->setChecked(false);
            w.Check2.at(4)->setChecked(false);
            w.Combo1->setCurrentIndex(w.Combo1->findData(QStringLiteral("big5")));
            w.Combo2->setCurrentIndex(w.Combo2->findData(QStringLiteral("s2twp")));
            w.Check4->setChecked(true);
            w.Check5->setChecked(true);
            platform.fileAnswer = books + "/a.txt";
            w.Command1_Click();
            QVERIFY(runEnds(w));
            platform.folderAnswer = library;
            w.Command2_Click();
            QVERIFY(runEnds(w));
        }
        ScriptedPlatform platform(settingsFile);
        Form1 w(platform);
        w.show();
        QCOMPARE(w.Text2->text(), QStringLiteral("【"));
        QCOMPARE(w.Text3->text(), QString());
        QCOMPARE(w.Text4->text(), kWide2);
        QCOMPARE(w.Text5->text(), QStringLiteral(" 完 "));
        QCOMPARE(w.Text7->text(), QString());
        QCOMPARE(w.Text8->text(), QString());
        QVERIFY(!w.Check1->isChecked());
        QVERIFY2(!w.Check2.at(1)->isVisible(), "the splitting box's handler ran for the restored value");
        QVERIFY(!w.Check2.at(4)->isChecked() && w.Check2.at(3)->isChecked() && w.Check3->isChecked());
        const quenlet::TypesetOptions options = w.takeOptions();
        QVERIFY(!options.SplitParagraphs && !options.TildeToEllipsis && options.ParagraphEnd == u" 完 ");
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("Big5"));
        QCOMPARE(w.Combo2->currentText(), QStringLiteral("简→台湾(含词汇)"));
        const quenlet::FileRunSettings settings = w.takeSettings();
        QVERIFY(settings.outputFormat == quenlet::outputFormatFromName("big5") && settings.conversion == "s2twp");
        QVERIFY(w.Check4->isChecked() && w.Check5->isChecked());
        QVERIFY(settings.hooks && settings.book && settings.writeText);

        w.Command1_Click();
        QCOMPARE(platform.lastDialog, "打开文件|" + books + "|所有文件 (*)");
        w.Command2_Click();
        QCOMPARE(platform.lastDialog, QStringLiteral("请选择路径：|") + library);
        // The reset gestures still reset the boxes, and only the boxes.
        QTest::mouseClick(w.Label11, Qt::LeftButton);
        QCOMPARE(w.Text2->text(), QString());
        QTest::mouseDClick(w.Frame1, Qt::LeftButton, {}, QPoint(5, w.Frame1->height() - 5));
        QCOMPARE(w.Combo1->currentText(), QStringLiteral("Big5"));
        QCOMPARE(w.Combo2->currentText(), QStringLiteral("简→台湾(含词汇)"));
        QVERIFY(w.Check4->isChecked() && w.Check5->isChecked());
    }

    void aRememberedChoiceNoLongerOfferedIsPassedOver() {
        TempDir dir;
        const QString settingsFile = QString::fromStdString(dir.path("quenlet.ini"));
        {
            QSettings settings(settingsFile, QSettings::IniFormat);
            settings.setValue("boxes/Combo1", "ebcdic");
            settings.setValue("boxes/Combo2", "gb18030");
        }
        ScriptedPlatform platform(settingsFile);
        Form1 w(platform);
        QCOMPARE(w.Combo1->currentIndex(), 0);
        QCOMPARE(w.Combo2->currentIndex(), 0);
    }

    void aDroppedFileOrFolderIsTypeset() {
        TempDir dir;
        dir.write("书.TXT", kRoad);
        dir.write("shelf/a.txt", "标题\n");
        dir.write("shelf/deep/b.txt", "标题\n");
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();

        QMimeData file;
        // As a file manager offers it: the link and its path as text.
        file.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.path("书.TXT")))});
        file.setText(QString::fromStdString(dir.path("书.TXT")));
        drop(*w.Text6, file);  // onto a box: taken as a file, not as text
        QVERIFY(runEnds(w));
        QCOMPARE(w.Text6->text(), QString());
        QCOMPARE(readFile(dir.path("kovra-书.TXT")), "《第一章开端》\r\n\r\n　　他走进房间，看见桌上放着一封信。\r\n");
        QCOMPARE(w.Frame2->title(), QStringLiteral("结果统计"));
        QCOMPARE(w.Label5->text(), QStringLiteral("最终成了2个段落"));

        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(QString::fromStdString(dir.path("shelf")))});
        drop(w, folder);
        QVERIFY(runEnds(w));
        QCOMPARE(readFile(dir.path("shelf/deep/kovra-b.txt")), "《标题》\r\n\r\n");
        QCOMPARE(w.Frame2->title(), QStringLiteral("共2个文件"));
        QCOMPARE(platform.dialogs, 0);
        QVERIFY(platform.warnings.isEmpty());
    }

    void otherDropsAreRefusedWithAMessage_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("text");
        QTest::addRow("not a .txt file") << QStringList{"a.doc"} << QString();
        QTest::addRow("two files") << QStringList{"a.txt", "b.txt"} << QString();
        QTest::addRow("a missing file") << QStringList{"gone.txt"} << QString();
        QTest::addRow("plain text") << QStringList{} << QStringLiteral("第一章");
    }
    void otherDropsAreRefusedWithAMessage() {
        QFETCH(QStringList, names);
        QFETCH(QString, text);
        TempDir dir;
        dir.write("a.doc", kRoad);
        dir.write("a.txt", kRoad);
        dir.write("b.txt", kRoad);
        ScriptedPlatform platform;
        Form1 w(platform);
        w.show();
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& name : names) urls << QUrl::fromLocalFile(QString::fromStdString(dir.path()) + "/" + name);
        if (!urls.isEmpty()) data.setUrls(urls);
        if (!text.isEmpty()) data.setText(text);
        drop(w, data);
        QTRY_COMPARE(platform.warnings.size(), 1);
        QVERIFY(platform.warnings[0].contains(QStringLiteral("TXT文件")));
        QVERIFY(!w.isRunning());
        QCOMPARE(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files).filter("kovra-"), QStringList());
        QCOMPARE(w.Frame2->title(), QStringLiteral("使用说明"));
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
