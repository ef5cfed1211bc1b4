#include "form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>

#include "file_run.h"
#include "ui_config.h"

namespace quenlet::ui {
namespace {

const QString kTwoIdeographicSpaces = QString(2, QChar(0x3000));

QString fromText(const Text& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
Text toText(const QString& text) { return Text(reinterpret_cast<const char16_t*>(text.utf16()), text.size()); }

// The usage text is one string whose runs of spaces make each item start a
// new line in the narrow label.
QString usageText() {
    const QChar space(0x20);
    const QChar wide(0x3000);
    return QString(1, wide) + QStringLiteral("1.先设置规则") + QString(12, space) + QString(5, wide) +
           QStringLiteral("2.打开TXT文件") + QString(7, space) + QString(1, wide) + QString(4, space) +
           QString(4, wide) + QStringLiteral("3.自动排版") + QString(2, space) + QString(1, wide) +
           QString(11, space) + QString(4, wide) + QString(1, space) + QString(1, wide) +
           QStringLiteral("双击清空内容") + QString(10, wide) +
           QStringLiteral("保留原TXT文件，在源文件夹下生成以“KOVRA－”为前缀的TXT文件副本。");
}

// Caption updates of a single-file run: the window's only sign of progress.
class CaptionProgress final : public RunObserver {
public:
    explicit CaptionProgress(QWidget& window) : window_(window) {}
    void replacingParagraph(Count line) override {
        window_.setWindowTitle(fromText(numberedText(u"第", line, u"行正在替换处理......")));
    }
    void splittingParagraph(Count line) override {
        window_.setWindowTitle(fromText(numberedText(u"第", line, u"行正在分段处理......")));
    }

private:
    QWidget& window_;
};

// Caption updates and failures of a batch; the failures are shown once, at the end.
class BatchProgress final : public BatchObserver {
public:
    explicit BatchProgress(QWidget& window) : window_(window) {}
    void fileStarted(Count number, const std::string&) override {
        window_.setWindowTitle(fromText(processingFileText(number)));
    }
    void fileFailed(const std::string&, const std::string& error) override { errors.push_back(error); }
    std::vector<std::string> errors;

private:
    QWidget& window_;
};

// Shrinks a label's font until its wrapped text fits the label's fixed box:
// the layout is fixed, the fonts on a given desktop are not.
void fitTextIntoLabel(QLabel* label) {
    QFont font = label->font();
    for (; font.pointSizeF() > 6; font.setPointSizeF(font.pointSizeF() - 0.5)) {
        const QRect needed = QFontMetrics(font).boundingRect(QRect(0, 0, label->width(), 100000),
                                                             Qt::TextWordWrap | Qt::AlignLeft, label->text());
        if (needed.height() <= label->height() && needed.width() <= label->width()) break;
    }
    label->setFont(font);
}

QString failureSummary(const std::vector<std::string>& errors) {
    constexpr std::size_t kShown = 20;
    QString text = QStringLiteral("以下%1项未能处理，其余文件已排版：\n").arg(errors.size());
    for (std::size_t i = 0; i < errors.size() && i < kShown; ++i) text += QString::fromStdString(errors[i]) + '\n';
    if (errors.size() > kShown) text += QStringLiteral("……");
    return text;
}

}  // namespace

Form1::Form1(WindowPlatform& platform, QWidget* parent) : QWidget(parent), platform_(platform) {
    createControls();
    setTabOrder();
    Form_Load();
    setFixedSize(twips(0, 0, 7275, 4575).size());
    setWindowIcon(QIcon(QStringLiteral(":/quenlet.png")));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

QRect Form1::twips(int left, int top, int width, int height) const {
    // 1440 twips to the inch: 15 twips a pixel at 96 dpi, scaled for the screen.
    const double pixelsPerTwip = logicalDpiX() / 1440.0;
    auto px = [pixelsPerTwip](int t) { return static_cast<int>(t * pixelsPerTwip + 0.5); };
    return {px(left), px(top), px(width), px(height)};
}

void Form1::createControls() {
    auto frame = [this](QWidget* in, QRect where) {
        auto* box = new QGroupBox(in);
        box->setGeometry(where);
        return box;
    };
    auto label = [](QWidget* in, QRect where) {
        auto* l = new QLabel(in);
        l->setGeometry(where);
        l->setAttribute(Qt::WA_NoMousePropagation);  // a click on a label is not a click on its frame
        return l;
    };
    auto textBox = [](QWidget* in, QRect where, const QString& tip) {
        auto* t = new QLineEdit(in);
        t->setGeometry(where);
        t->setToolTip(tip);
        return t;
    };
    auto checkBox = [](QWidget* in, QRect where) {
        auto* c = new QCheckBox(in);
        c->setGeometry(where);
        return c;
    };
    const QString clearTip = QStringLiteral("双击清除");

    Frame1 = frame(this, twips(120, 120, 4515, 2625));
    Text2 = textBox(Frame1, twips(120, 240, 1575, 270), clearTip);
    Label1 = label(Frame1, twips(1680, 240, 1215, 255));
    Text3 = textBox(Frame1, twips(2760, 240, 1575, 270), clearTip);
    Text4 = textBox(Frame1, twips(120, 720, 1575, 270), QStringLiteral("双击清除，默认段前空两格。"));
    Label2 = label(Frame1, twips(1680, 720, 1215, 255));
    Text5 = textBox(Frame1, twips(2760, 720, 1575, 270), clearTip);
    Text6 = textBox(Frame1, twips(120, 1200, 1575, 270), clearTip);
    Label4 = label(Frame1, twips(1800, 1200, 975, 255));
    Text7 = textBox(Frame1, twips(2760, 1200, 1575, 270), clearTip);
    Label6 = label(Frame1, twips(840, 1680, 1815, 255));
    Text8 = textBox(Frame1, twips(2760, 1680, 1575, 270), clearTip);
    Check3 = checkBox(Frame1, twips(960, 2040, 1215, 495));
    Check1 = checkBox(Frame1, twips(2400, 2160, 1095, 255));

    Frame2 = frame(this, twips(4680, 120, 2475, 2625));
    Label11 = label(Frame2, twips(480, 240, 1575, 2295));
    Label11->setWordWrap(true);
    Label11->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label9 = label(Frame2, twips(120, 480, 2295, 345));
    Label7 = label(Frame2, twips(120, 960, 2295, 300));
    Label8 = label(Frame2, twips(120, 1440, 2295, 300));
    Label5 = label(Frame2, twips(120, 1920, 2295, 345));

    Frame3 = frame(this, twips(120, 2760, 7050, 1095));
    const std::pair<int, QRect> corrections[] = {
        {3, twips(600, 240, 1815, 180)}, {5, twips(2880, 240, 1335, 180)}, {4, twips(5160, 240, 1815, 180)},
        {1, twips(600, 720, 1815, 180)}, {2, twips(2880, 720, 1455, 180)}, {7, twips(5160, 720, 1335, 180)},
    };
    for (const auto& [index, where] : corrections) {
        // The check boxes are shorter than their text; they get the room they need.
        QRect tall = where;
        tall.setTop(where.top() - where.height() / 2);
        tall.setHeight(where.height() * 2);
        Check2[index] = checkBox(Frame3, tall);
    }

    Command1 = new QPushButton(this);
    Command1->setGeometry(twips(1440, 3960, 1935, 540));
    Command2 = new QPushButton(this);
    Command2->setGeometry(twips(3600, 3960, 1935, 540));
    Label3 = label(this, twips(5760, 4320, 540, 180));
    Label3->setCursor(Qt::PointingHandCursor);

    auto paint = [](QWidget* w, QPalette::ColorRole role, QColor colour) {
        QPalette p = w->palette();
        p.setColor(role, colour);
        w->setPalette(p);
    };
    for (QLineEdit* t : {Text2, Text3, Text4, Text5, Text8}) paint(t, QPalette::Base, QColor(192, 192, 255));
    for (QLineEdit* t : {Text6, Text7}) {
        paint(t, QPalette::Base, QColor(0, 0, 192));
        paint(t, QPalette::Text, QColor(255, 255, 255));
    }
    paint(Label11, QPalette::WindowText, QColor(192, 64, 0));
    paint(Label3, QPalette::WindowText, QColor(255, 0, 255));

    for (QObject* watched : std::initializer_list<QObject*>{Text2, Text3, Text4, Text5, Text6, Text7, Text8, Frame1,
                                                           Label11, Label3})
        watched->installEventFilter(this);
    connect(Check1, &QCheckBox::stateChanged, this, [this] { Check1_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
}

void Form1::setTabOrder() {
    const std::pair<int, QWidget*> order[] = {
        {2, Text2},      {4, Text3},      {6, Text4},      {7, Text5},      {9, Text6},      {10, Text7},
        {12, Text8},     {14, Check1},    {20, Command1},  {23, Check2[1]}, {24, Check2[2]}, {25, Check2[3]},
        {26, Check2[4]}, {27, Check2[5]}, {28, Check3},    {29, Check2[7]}, {31, Command2},
    };
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

// The window's opening values, in the order it sets them.
void Form1::Form_Load() {
    setWindowTitle(kIdleCaption);
    Label3->setText(QStringLiteral(QUENLET_CONTACT));
    Label3->setToolTip(QString::fromUtf8(QUENLET_CREDIT));
    Label3->adjustSize();
    // Sized to its text; a long address grows to the left rather than out of the window.
    const int rightLimit = twips(0, 0, 7275 - 60, 0).width();
    if (Label3->geometry().right() > rightLimit) Label3->move(rightLimit - Label3->width(), Label3->y());
    Frame2->setTitle(QStringLiteral("使用说明"));
    for (QLabel* l : {Label5, Label7, Label8, Label9}) l->clear();
    Check1->setText(QStringLiteral("新增分段"));
    Check1->setChecked(true);
    Text2->setText(QStringLiteral("《"));
    Text3->setText(QStringLiteral("》"));
    Text4->setText(kTwoIdeographicSpaces);
    Text5->clear();
    Text6->clear();
    Text7->setText(QStringLiteral(" "));
    Text8->setText(QStringLiteral(" "));
    Frame3->setTitle(QStringLiteral("纠错设置"));
    const std::pair<int, QString> captions[] = {
        {1, QStringLiteral("删除“*”")},      {2, QStringLiteral("删除“--”")},
        {3, QStringLiteral("“。。”→“…”")}, {4, QStringLiteral("“～”→“…”")},
        {5, QStringLiteral("\"\"→“”")},      {7, QStringLiteral("删除“==”")},
    };
    for (const auto& [index, caption] : captions) {
        Check2[index]->setText(caption);
        Check2[index]->setChecked(true);
    }
    Check3->setText(QStringLiteral("合并断句"));
    Check3->setChecked(true);

    Frame1->setTitle(QStringLiteral("规则设置"));
    Label1->setText(QStringLiteral("－标题记号－"));
    Label2->setText(QStringLiteral("－段落记号－"));
    Label4->setText(QStringLiteral("－替换为－"));
    Label6->setText(QStringLiteral("直接去除段首字符串－"));
    Label11->setText(usageText());
    fitTextIntoLabel(Label11);
    Command1->setText(QStringLiteral("打　开　排　版"));
    Command2->setText(QStringLiteral("批　量　排　版"));
}

TypesetOptions Form1::takeOptions() const {
    // Only a ticked box counts as on; the texts are taken exactly as they stand.
    auto on = [](const QCheckBox* box) { return box->checkState() == Qt::Checked; };
    TypesetOptions o;
    o.MergeLines = on(Check3);
    o.SplitParagraphs = on(Check1);
    o.HeadingOpen = toText(Text2->text());
    o.HeadingClose = toText(Text3->text());
    o.Indent = toText(Text4->text());
    o.ParagraphEnd = toText(Text5->text());
    o.FindText = toText(Text6->text());
    o.ReplaceText = toText(Text7->text());
    o.StripPrefix = toText(Text8->text());
    o.DeleteAsterisks = on(Check2.at(1));
    o.DeleteDoubleDashes = on(Check2.at(2));
    o.DotsToEllipsis = on(Check2.at(3));
    o.TildeToEllipsis = on(Check2.at(4));
    o.ConvertQuotes = on(Check2.at(5));
    return o;  // index 7 ("删除“==”") carries no option
}

void Form1::setTextBoxesEnabled(bool enabled) {
    for (QLineEdit* t : {Text2, Text3, Text4, Text5, Text6, Text7, Text8}) t->setEnabled(enabled);
}

void Form1::showStatistics(const Statistics& statistics) {
    const StatisticTexts texts = statisticTexts(statistics);
    Label9->setText(fromText(texts.sourceParagraphs));
    Label8->setText(fromText(texts.split));
    Label7->setText(fromText(texts.merged));
    Label5->setText(fromText(texts.finalParagraphs));
}

void Form1::Command1_Click() {
    if (running_) return;
    Label11->hide();
    Frame2->setTitle(QStringLiteral("结果统计"));
    setTextBoxesEnabled(false);
    Command1->setEnabled(false);
    engine_.resetStatistics();

    const QString chosen = platform_.chooseFile(this, QStringLiteral("打开文件"), QCoreApplication::applicationDirPath(),
                                                QStringLiteral("所有文件 (*)"));
    if (chosen.isEmpty()) {
        setTextBoxesEnabled(true);
        Command1->setEnabled(true);
        return;
    }
    running_ = true;
    Command1->setEnabled(false);
    Frame1->setEnabled(false);
    Frame3->setEnabled(false);
    showMinimized();
    setWindowTitle(QStringLiteral("正在合并中......"));

    CaptionProgress progress(*this);
    const std::string path = QFile::encodeName(chosen).toStdString();
    const FileRunResult result = typesetFile(engine_, path, takeOptions(), {}, &progress);

    showNormal();
    setWindowTitle(kIdleCaption);
    setTextBoxesEnabled(true);
    Command1->setEnabled(true);
    if (result.ok) showStatistics(engine_.statistics());
    Command1->setEnabled(true);
    Frame1->setEnabled(true);
    Frame3->setEnabled(true);
    running_ = false;
    if (!result.ok)
        platform_.showWarning(this, kIdleCaption,
                              QStringLiteral("无法排版这个文件：\n") + QString::fromStdString(result.error));
}

QString Form1::BrowseFolder() {
    QString path = platform_.chooseFolder(this, QStringLiteral("请选择路径："));
    auto trimSpaces = [](QString& p) {
        while (p.startsWith(' ')) p.remove(0, 1);
        while (p.endsWith(' ')) p.chop(1);
    };
    trimSpaces(path);
    if (path.isEmpty()) return {};
    if (!path.endsWith('/')) path += '/';
    trimSpaces(path);
    return path;
}

void Form1::Command2_Click() {
    if (running_) return;
    engine_.state().FileCount = 0;
    const QString folder = BrowseFolder();
    if (folder.isEmpty()) return;
    running_ = true;
    showMinimized();

    BatchProgress progress(*this);
    BatchRun::Hooks hooks;
    hooks.takeOptions = [this] { return takeOptions(); };
    hooks.processEvents = [this] { platform_.processEvents(); };
    hooks.observer = &progress;
    const BatchResult result = BatchRun(engine_, hooks).run(QFile::encodeName(folder).toStdString());

    showNormal();
    Label11->hide();
    setWindowTitle(kIdleCaption);
    Frame2->setTitle(fromText(fileCountText(result.files)));
    showStatistics(result.statistics);
    running_ = false;
    if (!progress.errors.empty()) platform_.showWarning(this, kIdleCaption, failureSummary(progress.errors));
}

void Form1::Check1_Click() {
    Command1->setEnabled(true);
    const bool ticked = Check1->checkState() == Qt::Checked;
    for (int index : {1, 2, 7}) Check2[index]->setVisible(ticked);
}

void Form1::resetAllFields() {
    for (QLineEdit* t : {Text2, Text3}) t->clear();
    Text4->setText(kTwoIdeographicSpaces);
    for (QLineEdit* t : {Text5, Text6, Text7, Text8}) t->clear();
    Text4->setFocus();
    Text4->selectAll();
    Command1->setEnabled(true);
    Command2->setEnabled(true);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonDblClick) {
        if (watched == Frame1) {
            resetAllFields();
            return true;
        }
        if (watched == Text4) {
            Text4->setText(kTwoIdeographicSpaces);
            return true;
        }
        if (auto* box = qobject_cast<QLineEdit*>(watched)) {
            box->clear();
            return true;
        }
    } else if (type == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == Label11) {
            resetAllFields();
            return true;
        }
        if (watched == Label3) {
            platform_.openUrl(QUrl(QStringLiteral("mailto:") + Label3->text()));
            return true;
        }
    } else if (type == QEvent::FocusIn && watched == Text4) {
        // After the focus event a mouse press would place the cursor; select once it has.
        QTimer::singleShot(0, Text4, [this] { Text4->selectAll(); });
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quenlet::ui
