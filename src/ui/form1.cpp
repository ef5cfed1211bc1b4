#include "ui/form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <string_view>
#include <variant>

#include "formats/epub_writer.h"
#include "options/option_table.h"
#include "ui/failure_texts.h"
#include "run/file_run.h"
#include "run/statistic_texts.h"
#include "ui/output_choices.h"
#include "ui/result_view.h"
#include "ui/run_notes.h"
#include "tidy/tidy_mode.h"
#include "ui_config.h"

// The window's images are compiled into this static library; the linker
// drops them unless something refers to them.
static void initWindowResources() { Q_INIT_RESOURCE(resources); }

namespace quenlet::ui {
namespace {

// The point size the window's fixed layout was drawn for. Set on the window
// so that a larger desktop font cannot push its texts out of their boxes.
constexpr double kDesignedPointSize = 9;
// Captions shown per second at most while a run goes on: enough to see it
// move, few enough that the window system is not flooded.
constexpr int kCaptionIntervalMs = 40;

const QString kFileFolderKey = QStringLiteral("file");
const QString kBatchFolderKey = QStringLiteral("batch");

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

// Shrinks a label's font until its text fits the label's fixed box, wrapped
// when the label wraps: the layout is fixed, the fonts on a given desktop are not.
void fitTextIntoLabel(QLabel* label) {
    QFont font = label->font();
    const int flags = label->wordWrap() ? Qt::TextWordWrap : Qt::TextSingleLine;
    for (; font.pointSizeF() > 6; font.setPointSizeF(font.pointSizeF() - 0.5)) {
        const QRect needed =
            QFontMetrics(font).boundingRect(QRect(0, 0, label->width(), 100000), flags | Qt::AlignLeft, label->text());
        if (needed.height() <= label->height() && needed.width() <= label->width()) break;
    }
    label->setFont(font);
}

// A rectangle moved (and, only when it is larger than the room, cut) so that
// it lies inside `room`.
QRect keptInside(QRect r, const QRect& room) {
    if (r.top() < room.top()) r.moveTop(room.top());
    if (r.bottom() > room.bottom()) r.moveBottom(room.bottom());
    if (r.top() < room.top()) r.setTop(room.top());
    if (r.left() < room.left()) r.moveLeft(room.left());
    if (r.right() > room.right()) r.moveRight(room.right());
    if (r.left() < room.left()) r.setLeft(room.left());
    return r;
}

QString withTrailingSlash(QString folder) {
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

// The kinds of control the window is made of, each at its designed place.
QGroupBox* frame(QWidget* in, QRect where) {
    auto* box = new QGroupBox(in);
    box->setGeometry(where);
    return box;
}

QLabel* label(QWidget* in, QRect where) {
    auto* l = new QLabel(in);
    l->setGeometry(where);
    l->setAttribute(Qt::WA_NoMousePropagation);  // a click on a label is not a click on its frame
    return l;
}

QLineEdit* textBox(QWidget* in, QRect where, const QString& tip) {
    auto* t = new QLineEdit(in);
    t->setGeometry(where);
    t->setToolTip(tip);
    return t;
}

QCheckBox* checkBox(QWidget* in, QRect where) {
    auto* c = new QCheckBox(in);
    c->setGeometry(where);
    return c;
}

QComboBox* comboBox(QWidget* in, QRect where, const std::vector<Choice>& choices, const QString& tip) {
    auto* c = new QComboBox(in);
    c->setGeometry(where);
    for (const Choice& choice : choices) c->addItem(choice.label, choice.value);
    c->setToolTip(tip);
    return c;
}

}  // namespace

void Form1::WorkerProgress::replacingParagraph(Count line) {
    run_.checkStop();
    caption_.post(ProgressCaption::Kind::Replacing, line);
}

void Form1::WorkerProgress::splittingParagraph(Count line) {
    caption_.post(ProgressCaption::Kind::Splitting, line);
}

void Form1::WorkerProgress::fileStarted(Count number, const std::string&) {
    caption_.post(ProgressCaption::Kind::File, number);
}

void Form1::WorkerProgress::fileFinished(Count, const std::string& path, const FileRunResult& result) {
    notes_.notes << fileNotes(path, result, notes_.tidied);
    notes_.rows.push_back(typesetRow(notes_.folder, path, result, notes_.tidied));
}

// The batch's failures come in the same order with their causes once it has
// ended; until then the row holds a word that marks it failed.
void Form1::WorkerProgress::fileFailed(const std::string& path, const std::string&, const FailureCause&) {
    notes_.rows.push_back(failedRow(notes_.folder, path, QStringLiteral("未能处理")));
}

Form1::Form1(WindowPlatform& platform, QWidget* parent)
    : QWidget(parent), platform_(platform), epub_(formats::epubFormat()), remembered_(platform.settings()) {
    initWindowResources();
    QFont designed = font();
    designed.setPointSizeF(kDesignedPointSize);
    setFont(designed);

    createControls();
    setTabOrder();
    Form_Load();
    // The designed window, grown downward by the 扩展设置 frame.
    setFixedSize(twips(0, 0, 7275, 5835).size());
    fitLayout();
    QIcon icon;
    icon.addFile(QStringLiteral(":/quenlet.png"), QSize(24, 24));
    icon.addFile(QStringLiteral(":/quenlet-48.png"), QSize(48, 48));
    setWindowIcon(icon);

    rememberControls();
    watchOptions();
    setAcceptDrops(true);
    captionTimer_.setInterval(kCaptionIntervalMs);
    connect(&captionTimer_, &QTimer::timeout, this, [this] { showNewCaption(); });
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

Form1::~Form1() { run_.stop(); }

QRect Form1::twips(int left, int top, int width, int height) const {
    // 1440 twips to the inch: 15 twips a pixel at 96 dpi, scaled for the screen.
    const double pixelsPerTwip = logicalDpiX() / 1440.0;
    auto px = [pixelsPerTwip](int t) { return static_cast<int>(t * pixelsPerTwip + 0.5); };
    return {px(left), px(top), px(width), px(height)};
}

// The controls in the order the window has always made them (which is
// the order in which their frames list them).
void Form1::createControls() {
    createRulesFrame();
    createResultsFrame();
    createCorrectionsFrame();
    createButtons();
    createExtensionsFrame();
    paintControls();
    watchControls();
}

// 规则设置: the markers, the replace rule, the prefix, 合并断句 and 新增分段.
void Form1::createRulesFrame() {
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
}

// 使用说明, later 结果统计: the usage text, then the statistics.
void Form1::createResultsFrame() {
    Frame2 = frame(this, twips(4680, 120, 2475, 2625));
    Label11 = label(Frame2, twips(480, 240, 1575, 2295));
    Label11->setWordWrap(true);
    Label11->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label9 = label(Frame2, twips(120, 480, 2295, 345));
    Label7 = label(Frame2, twips(120, 960, 2295, 300));
    Label8 = label(Frame2, twips(120, 1440, 2295, 300));
    Label5 = label(Frame2, twips(120, 1920, 2295, 345));
}

// 纠错设置: the corrections, a control array.
void Form1::createCorrectionsFrame() {
    Frame3 = frame(this, twips(120, 2760, 7050, 1095));
    const std::pair<int, QRect> corrections[] = {
        {3, twips(600, 240, 1815, 180)}, {5, twips(2880, 240, 1335, 180)}, {4, twips(5160, 240, 1815, 180)},
        {1, twips(600, 720, 1815, 180)}, {2, twips(2880, 720, 1455, 180)}, {7, twips(5160, 720, 1335, 180)},
    };
    for (const auto& [index, where] : corrections) Check2[index] = checkBox(Frame3, where);
}

// The two buttons and the contact address beside them.
void Form1::createButtons() {
    Command1 = new QPushButton(this);
    Command1->setGeometry(twips(1440, 3960, 1935, 540));
    Command2 = new QPushButton(this);
    Command2->setGeometry(twips(3600, 3960, 1935, 540));
    Label3 = label(this, twips(5760, 4320, 540, 180));
    Label3->setCursor(Qt::PointingHandCursor);
}

// 扩展设置: the output encoding, the conversion, the tidy mode and the EPUB.
void Form1::createExtensionsFrame() {
    Frame4 = frame(this, twips(120, 4620, 7050, 1095));
    Label12 = label(Frame4, extensionLabelCell(0));
    Combo1 = comboBox(Frame4, extensionComboCell(0), outputEncodingChoices(),
                      QStringLiteral("排版结果用哪种编码写出；“与原文件相同”沿用源文件的编码和BOM。\n"
                                     "Big5 写不出简体字：源文件是简体时，请同时选择“简→台湾正体”或“简→台湾(含词汇)”。\n"
                                     "有字写不出时不生成副本，并说明是哪一行的哪个字。"));
    Label13 = label(Frame4, extensionLabelCell(1));
    Combo2 = comboBox(Frame4, extensionComboCell(1), conversionChoices(),
                      QStringLiteral("把排版结果（连同标题和记号）转换为简体或繁体。\n"
                                     "输出为 Big5 时请选“简→台湾正体”或“简→台湾(含词汇)”，原文已是繁体时选“繁→台湾正体”："
                                     "它们写出台湾的标准字形，Big5 基本都能容纳；\n"
                                     "“简→繁”“简→香港繁体”写出的一些字形（如“爲”“説”）Big5 没有，文件会因此失败。"));
    Check4 = checkBox(Frame4, extensionCheckBoxCell(0));
    Check4->setToolTip(QStringLiteral("整理从网上下载的小说：删除网站加进去的杂项（更新时间、字数统计、网址、扫描校对的署名、"
                                      "免责声明等），\n每个章节标题单独成行，目录保持一行一条；正文的文字一个也不丢。"));
    Check5 = checkBox(Frame4, extensionCheckBoxCell(1));
    Check5->setToolTip(QStringLiteral("在TXT副本旁边同时生成电子书“kovra-文件名.epub”：每个章节、卷的标题开始新的一章，并列入目录。\n"
                                      "勾选时同时勾选“整理网络文本”，由它找出章节（可再取消）。\n"
                                      "书名和作者取自文件名或开头几行（如文件名“《书名》作者：某”），否则用文件名；"
                                      "语言按正文是简体还是繁体（或所选的简繁转换）标明。"));
    // Beside the check boxes, hidden until there is a result to show.
    Command3 = new QPushButton(Frame4);
    Command3->setGeometry(twips(5160, 690, 1650, 360));
    Command3->setToolTip(QStringLiteral("在单独的窗口中查看上一次排版的结果：找到的章节标题、删除的网站杂项、"
                                        "缺少的章节，\n首章排版前后的对照；批量排版时每个文件一行。"));
    Command3->hide();
}

void Form1::paintControls() {
    // The colours hold while a box is enabled; a disabled box takes the
    // style's disabled colours, so that it looks disabled.
    auto paint = [](QWidget* w, QPalette::ColorRole role, QColor colour) {
        QPalette p = w->palette();
        for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) p.setColor(group, role, colour);
        w->setPalette(p);
    };
    for (QLineEdit* t : {Text2, Text3, Text4, Text5, Text8}) paint(t, QPalette::Base, QColor(192, 192, 255));
    for (QLineEdit* t : {Text6, Text7}) {
        paint(t, QPalette::Base, QColor(0, 0, 192));
        paint(t, QPalette::Text, QColor(255, 255, 255));
    }
    paint(Label11, QPalette::WindowText, QColor(192, 64, 0));
    paint(Label3, QPalette::WindowText, QColor(255, 0, 255));
}

// The double clicks, the focus and the drops the window answers, and the clicks.
void Form1::watchControls() {
    for (QObject* watched : std::initializer_list<QObject*>{Text2, Text3, Text4, Text5, Text6, Text7, Text8, Frame1,
                                                           Label11, Label3})
        watched->installEventFilter(this);
    connect(Check1, &QCheckBox::stateChanged, this, [this] { Check1_Click(); });
    // A book's chapters are what the tidy mode finds: asking for a book asks
    // for it too, and the user may take it back.
    connect(Check5, &QCheckBox::clicked, this, [this](bool checked) {
        if (checked) Check4->setChecked(true);
    });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
    connect(Command3, &QPushButton::clicked, this, [this] { showResult(); });
}

void Form1::setTabOrder() {
    const std::pair<int, QWidget*> order[] = {
        {2, Text2},      {4, Text3},      {6, Text4},      {7, Text5},      {9, Text6},      {10, Text7},
        {12, Text8},     {14, Check1},    {20, Command1},  {23, Check2[1]}, {24, Check2[2]}, {25, Check2[3]},
        {26, Check2[4]}, {27, Check2[5]}, {28, Check3},    {29, Check2[7]}, {31, Command2},
        {32, Combo1},    {33, Combo2},    {34, Check4},    {35, Check5},    {36, Command3},
    };
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1].second, order[i].second);
}

// The window's opening values, in the order it sets them.
void Form1::Form_Load() {
    setWindowTitle(kIdleCaption);
    contact_ = QStringLiteral(QUENLET_CONTACT);
    Label3->setText(contact_);
    Label3->setToolTip(QString::fromUtf8(QUENLET_CREDIT));
    Frame2->setTitle(QStringLiteral("使用说明"));
    clearStatistics();
    Check1->setText(QStringLiteral("新增分段"));
    for (QWidget* control : std::initializer_list<QWidget*>{Check1, Text2, Text3, Text4, Text5, Text6, Text7, Text8})
        setOpeningValue(control);
    Frame3->setTitle(QStringLiteral("纠错设置"));
    const std::pair<int, QString> captions[] = {
        {1, QStringLiteral("删除“*”")},      {2, QStringLiteral("删除“--”")},
        {3, QStringLiteral("“。。”→“…”")}, {4, QStringLiteral("“～”→“…”")},
        {5, QStringLiteral("\"\"→“”")},      {7, QStringLiteral("删除“==”")},
    };
    for (const auto& [index, caption] : captions) {
        Check2[index]->setText(caption);
        if (index == 7) Check2[index]->setChecked(true);  // it carries no option
        else setOpeningValue(Check2[index]);
    }
    Check3->setText(QStringLiteral("合并断句"));
    setOpeningValue(Check3);

    Frame1->setTitle(QStringLiteral("规则设置"));
    Label1->setText(QStringLiteral("－标题记号－"));
    Label2->setText(QStringLiteral("－段落记号－"));
    Label4->setText(QStringLiteral("－替换为－"));
    Label6->setText(QStringLiteral("直接去除段首字符串－"));
    Label11->setText(usageText());
    Command1->setText(QStringLiteral("打　开　排　版"));
    Command2->setText(QStringLiteral("批　量　排　版"));

    Frame4->setTitle(QStringLiteral("扩展设置"));
    Label12->setText(QStringLiteral("输出编码"));
    Label13->setText(QStringLiteral("简繁转换"));
    Check4->setText(QStringLiteral("整理网络文本"));
    Check5->setText(QStringLiteral("同时生成EPUB"));
    Command3->setText(QStringLiteral("结果"));
}

// Adjusts the designed places where the desktop's fonts and style need it,
// so that no text is cut and no control covers another or a frame's caption.
void Form1::fitLayout() {
    // A label between two boxes gives way to them (the design lets the boxes
    // cover its ends).
    for (QLabel* label : {Label1, Label2, Label4, Label6}) {
        for (QLineEdit* box : Frame1->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly)) {
            QRect r = label->geometry();
            const QRect other = box->geometry();
            if (!r.intersects(other)) continue;
            if (other.center().x() < r.center().x()) {
                r.setLeft(other.right() + 1);
            } else {
                r.setRight(other.left() - 1);
            }
            label->setGeometry(r);
        }
    }
    // A check box gets the room its text needs, growing right and down from
    // its place.
    for (QCheckBox* box : findChildren<QCheckBox*>()) {
        QRect r = box->geometry();
        r.setSize(r.size().expandedTo(box->sizeHint()));
        box->setGeometry(r);
    }
    // Everything inside a frame stays clear of its caption and border: a
    // caption in a CJK font needs more room above the first row than the
    // design left.
    for (QGroupBox* frame : findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        const QRect room = frame->contentsRect();
        for (QWidget* child : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->setGeometry(keptInside(child->geometry(), room));
    }
    for (QLabel* label : {Label1, Label2, Label4, Label6, Label11, Label12, Label13}) fitTextIntoLabel(label);
    placeContactLabel();
}

// Sized to its text at its designed place, the contact label would run out of
// the window with most addresses. It may move left, but not onto the button
// beside it; then its font shrinks; an address too long even for that is
// shown shortened (the mail link still takes the whole address).
void Form1::placeContactLabel() {
    const QRect designed = twips(5760, 4320, 540, 180);
    const int gap = twips(0, 0, 60, 0).width();
    const int right = width() - gap;
    const int leftmost = Command2->geometry().right() + 1 + gap;
    const int room = right - leftmost;
    QFont font = this->font();
    auto needed = [&] { return QFontMetrics(font).boundingRect(contact_).width() + 2; };
    while (needed() > room && font.pointSizeF() > 7) font.setPointSizeF(font.pointSizeF() - 0.5);
    const QFontMetrics metrics(font);
    const int textWidth = std::min(needed(), room);
    const int left = std::clamp(right - textWidth, leftmost, designed.left());
    const int top = std::min(designed.top(), height() - gap - metrics.height());
    Label3->setFont(font);
    Label3->setGeometry(left, top, textWidth, metrics.height());
    Label3->setText(needed() <= room ? contact_ : metrics.elidedText(contact_, Qt::ElideMiddle, room - 4));
}

// Each option box and check box as the user left it last time; the folders
// are remembered as the dialogs are used.
void Form1::rememberControls() {
    const std::pair<const char*, QLineEdit*> boxes[] = {
        {"Text2", Text2}, {"Text3", Text3}, {"Text4", Text4}, {"Text5", Text5},
        {"Text6", Text6}, {"Text7", Text7}, {"Text8", Text8},
    };
    for (const auto& [key, box] : boxes) remembered_.add(QString::fromLatin1(key), box);
    remembered_.add(QStringLiteral("Check1"), Check1);
    remembered_.add(QStringLiteral("Check3"), Check3);
    for (const auto& [index, box] : Check2) remembered_.add(QStringLiteral("Check2_%1").arg(index), box);
    remembered_.add(QStringLiteral("Combo1"), Combo1);
    remembered_.add(QStringLiteral("Combo2"), Combo2);
    remembered_.add(QStringLiteral("Check4"), Check4);
    remembered_.add(QStringLiteral("Check5"), Check5);
}

void Form1::watchOptions() {
    for (QLineEdit* box : {Text2, Text3, Text4, Text5, Text6, Text7, Text8})
        connect(box, &QLineEdit::textChanged, this, [this] { refreshOptionsSnapshot(); });
    for (QCheckBox* box : findChildren<QCheckBox*>())
        connect(box, &QCheckBox::stateChanged, this, [this] { refreshOptionsSnapshot(); });
    for (QComboBox* box : findChildren<QComboBox*>())
        connect(box, &QComboBox::currentIndexChanged, this, [this] { refreshOptionsSnapshot(); });
    refreshOptionsSnapshot();
}

void Form1::refreshOptionsSnapshot() {
    TypesetOptions options = takeOptions();
    FileRunSettings settings = takeSettings();
    const std::lock_guard lock(optionsMutex_);
    optionsSnapshot_ = std::move(options);
    settingsSnapshot_ = std::move(settings);
}

TypesetOptions Form1::optionsSnapshot() const {
    const std::lock_guard lock(optionsMutex_);
    return optionsSnapshot_;
}

FileRunSettings Form1::settingsSnapshot() const {
    const std::lock_guard lock(optionsMutex_);
    return settingsSnapshot_;
}

FileRunSettings Form1::takeSettings() const {
    FileRunSettings settings;
    if (const std::string format = Combo1->currentData().toString().toStdString(); !format.empty())
        settings.outputFormat = outputFormatFromName(format);
    settings.conversion = Combo2->currentData().toString().toStdString();
    if (Check4->checkState() == Qt::Checked) {
        if (!tidyMode_) tidyMode_ = std::make_shared<tidy::TidyMode>(tidy::TidyRules::builtIn());
        settings.hooks = tidyMode_;
    }
    // The book takes the file's name as its title, and its language from the
    // text or from the conversion chosen.
    if (Check5->checkState() == Qt::Checked) settings.book = epub_;
    return settings;
}

// The control the option table names: "Text2", "Check3", "Check2(1)" ...
QWidget* Form1::controlNamed(std::string_view name) const {
    if (name.starts_with("Check2(")) return Check2.at(name[7] - '0');
    const std::pair<std::string_view, QWidget*> controls[] = {
        {"Check1", Check1}, {"Check3", Check3}, {"Text2", Text2}, {"Text3", Text3}, {"Text4", Text4},
        {"Text5", Text5},   {"Text6", Text6},   {"Text7", Text7}, {"Text8", Text8}, {"Combo1", Combo1},
        {"Combo2", Combo2}, {"Check4", Check4}, {"Check5", Check5},
    };
    for (const auto& [known, control] : controls)
        if (known == name) return control;
    return nullptr;
}

// A box or check box set to the default of the option it carries.
void Form1::setOpeningValue(QWidget* control) {
    const TypesetOptions defaults;
    for (const OptionSpec& option : optionTable()) {
        if (option.control.empty() || controlNamed(option.control) != control) continue;
        if (const auto* on = std::get_if<bool TypesetOptions::*>(&option.sets))
            static_cast<QCheckBox*>(control)->setChecked(defaults.**on);
        else if (const auto* text = std::get_if<Text TypesetOptions::*>(&option.sets))
            static_cast<QLineEdit*>(control)->setText(fromText(defaults.**text));
    }
}

TypesetOptions Form1::takeOptions() const {
    // Only a ticked box counts as on; the texts are taken exactly as they stand.
    TypesetOptions o;
    for (const OptionSpec& option : optionTable()) {
        if (option.control.empty()) continue;
        QWidget* control = controlNamed(option.control);
        if (const auto* on = std::get_if<bool TypesetOptions::*>(&option.sets))
            o.**on = static_cast<const QCheckBox*>(control)->checkState() == Qt::Checked;
        else if (const auto* text = std::get_if<Text TypesetOptions::*>(&option.sets))
            o.**text = toText(static_cast<const QLineEdit*>(control)->text());
    }
    return o;  // Check2(7) ("删除“==”") carries no option
}

void Form1::setTextBoxesEnabled(bool enabled) {
    for (QLineEdit* t : {Text2, Text3, Text4, Text5, Text6, Text7, Text8}) t->setEnabled(enabled);
}

// The statistic labels are shown only while they have something to say, so
// that they never lie over the usage text.
void Form1::showStatistics(const Statistics& statistics) {
    const StatisticTexts texts = statisticTexts(statistics);
    Label9->setText(fromText(texts.sourceParagraphs));
    Label8->setText(fromText(texts.split));
    Label7->setText(fromText(texts.merged));
    Label5->setText(fromText(texts.finalParagraphs));
    for (QLabel* l : {Label5, Label7, Label8, Label9}) l->show();
}

void Form1::clearStatistics() {
    for (QLabel* l : {Label5, Label7, Label8, Label9}) {
        l->clear();
        l->hide();
    }
}

void Form1::startRun(std::function<void()> job, std::function<void()> done) {
    caption_.clear();
    captionTimer_.start();
    run_.start(std::move(job), [this, done = std::move(done)] {
        captionTimer_.stop();
        showNewCaption();  // the last caption of the run is always shown
        done();
        emit runEnded();
    });
}

void Form1::showNewCaption() {
    if (const std::optional<QString> caption = caption_.takeNew()) setWindowTitle(*caption);
}

void Form1::Command1_Click() {
    if (busy()) return;
    prepareSingleRun();
    choosing_ = true;
    const QString chosen = platform_.chooseFile(this, QStringLiteral("打开文件"), remembered_.folder(kFileFolderKey),
                                                QStringLiteral("所有文件 (*)"));
    choosing_ = false;
    if (chosen.isEmpty()) {
        setTextBoxesEnabled(true);
        Command1->setEnabled(true);
        return;
    }
    remembered_.rememberFolder(kFileFolderKey, QFileInfo(chosen).absolutePath());
    typesetChosenFile(chosen);
}

// What a single-file run does before it asks for the file.
void Form1::prepareSingleRun() {
    Label11->hide();
    Frame2->setTitle(QStringLiteral("结果统计"));
    setTextBoxesEnabled(false);
    Command1->setEnabled(false);
    engine_.resetStatistics();
}

void Form1::typesetChosenFile(const QString& chosen) {
    Command1->setEnabled(false);
    Frame1->setEnabled(false);
    Frame3->setEnabled(false);
    Frame4->setEnabled(false);
    showMinimized();
    setWindowTitle(QStringLiteral("正在合并中......"));
    const std::string path = QFile::encodeName(chosen).toStdString();
    const TypesetOptions options = takeOptions();
    FileRunSettings settings = takeSettings();
    // What the result view shows of the file; neither costs the run anything worth a word.
    settings.listHeadings = true;
    settings.sampleFirstChapter = true;
    singleResult_ = FileRunResult();  // a run that never starts has no result
    singlePath_ = path;
    singleTidied_ = settings.hooks != nullptr;
    startRun([this, path, options, settings] {
        singleResult_ = typesetFile(engine_, path, options, settings, &progress_);
    }, [this] { endSingleRun(); });
}

void Form1::endSingleRun() {
    showNormal();
    setWindowTitle(kIdleCaption);
    setTextBoxesEnabled(true);
    Command1->setEnabled(true);
    // A failed run counts nothing; the previous run's figures would mislead.
    const bool unexpected = run_.unexpectedFailure().kind != FailureKind::None;
    if (singleResult_.ok && !unexpected) {
        showStatistics(engine_.statistics());
    } else {
        clearStatistics();
    }
    Frame1->setEnabled(true);
    Frame3->setEnabled(true);
    Frame4->setEnabled(true);
    const QString failure = unexpected ? failureText(run_.unexpectedFailure(), run_.unexpectedError())
                            : !singleResult_.ok ? failureText(singleResult_.failure, singleResult_.error)
                                                : QString();
    const QStringList notes = fileNotes(singlePath_, singleResult_, singleTidied_);
    if (queue_.several) {
        // Said once for all the paths, at the end.
        const std::string folder = splitSourcePath(singlePath_).folder;
        if (failure.isEmpty()) {
            ++queue_.files;
            queue_.totals += engine_.statistics();
            queue_.rows.push_back(typesetRow(folder, singlePath_, singleResult_, singleTidied_));
            queue_.notes << notes;
        } else {
            queue_.failures << failure;
            queue_.rows.push_back(unexpected ? failedRow(folder, singlePath_, run_.unexpectedFailure(),
                                                         run_.unexpectedError())
                                             : failedRow(folder, singlePath_, singleResult_.failure, singleResult_.error));
        }
    } else if (!failure.isEmpty()) {
        platform_.showWarning(this, kIdleCaption, QStringLiteral("无法排版这个文件：\n") + failure);
    } else {
        showNotes(QStringLiteral("排版已完成。\n"), notes);
    }
    auto report = std::make_shared<FileReport>();
    report->source = singlePath_;
    report->result = std::move(singleResult_);
    report->tidied = singleTidied_;
    report->failure = failure;
    fileReport_ = std::move(report);
    batchReport_.reset();
    Command3->show();
    endQueuedRun();
}

// Said after the statistics are shown, so that they are on screen behind the message.
// One message for a run of several files: its failures, then the notes on
// the files that went through; without failures, the notes alone.
void Form1::showFailuresAndNotes(QString failures, const QStringList& notes, const QString& lead) {
    if (failures.isEmpty()) {
        showNotes(lead, notes);
        return;
    }
    if (!notes.isEmpty()) {
        if (!failures.endsWith('\n')) failures += '\n';
        failures += notesText(notes);
    }
    platform_.showWarning(this, kIdleCaption, failures);
}

void Form1::showNotes(const QString& lead, const QStringList& notes) {
    if (!notes.isEmpty()) platform_.showWarning(this, kIdleCaption, lead + notesText(notes));
}

QString Form1::BrowseFolder() {
    QString path = platform_.chooseFolder(this, QStringLiteral("请选择路径："), remembered_.folder(kBatchFolderKey));
    while (path.startsWith(' ')) path.remove(0, 1);
    while (path.endsWith(' ')) path.chop(1);
    if (path.isEmpty()) return {};
    remembered_.rememberFolder(kBatchFolderKey, path);
    return withTrailingSlash(path);
}

void Form1::Command2_Click() {
    if (busy()) return;
    choosing_ = true;
    const QString folder = BrowseFolder();
    choosing_ = false;
    if (folder.isEmpty()) return;
    typesetFolder(folder);
}

void Form1::typesetFolder(const QString& folder) {
    showMinimized();
    BatchRun::Hooks hooks;
    // Nothing is locked during a batch: each file takes the options the
    // boxes hold when it begins.
    hooks.takeOptions = [this] { return optionsSnapshot(); };
    hooks.takeSettings = [this] {
        FileRunSettings settings = settingsSnapshot();
        batchNotes_.tidied = settings.hooks != nullptr;
        return settings;
    };
    hooks.processEvents = [this] {
        run_.checkStop();
        platform_.betweenFileEntries();
    };
    hooks.observer = &progress_;
    const std::string path = QFile::encodeName(folder).toStdString();
    batchNotes_ = {};
    batchNotes_.folder = path;
    startRun([this, path, hooks] { batchResult_ = BatchRun(engine_, hooks).run(path); }, [this] { endBatch(); });
}

void Form1::endBatch() {
    showNormal();
    Label11->hide();
    setWindowTitle(kIdleCaption);
    const bool unexpected = run_.unexpectedFailure().kind != FailureKind::None;
    if (!unexpected) batchReportFromNotes();
    if (queue_.several) {
        if (unexpected) {
            queue_.failures << failureText(run_.unexpectedFailure(), run_.unexpectedError());
        } else {
            queue_.files += batchResult_.files;
            queue_.totals += batchResult_.statistics;
            queue_.rows.insert(queue_.rows.end(), batchReport_->rows.begin(), batchReport_->rows.end());
            for (const BatchFailure& failure : batchResult_.failures) {
                FailureCause cause = failure.cause;
                if (cause.path.empty()) cause.path = failure.path;
                queue_.failures << failureText(cause, failure.error);
            }
            queue_.notes << batchNotes_.notes;
        }
    } else if (unexpected) {
        clearStatistics();
        platform_.showWarning(this, kIdleCaption,
                              QStringLiteral("批量排版中断：\n") +
                                  failureText(run_.unexpectedFailure(), run_.unexpectedError()));
    } else {
        Frame2->setTitle(fromText(fileCountText(batchResult_.files)));
        showStatistics(batchResult_.statistics);
        // One message for the whole batch: its failures, then the notes on the files that went through.
        showFailuresAndNotes(batchResult_.failures.empty() ? QString() : batchFailureText(batchResult_.failures),
                             batchNotes_.notes, QStringLiteral("批量排版已完成。\n"));
    }
    endQueuedRun();
}

// The batch's rows for the result view, each failure now with its Chinese text.
void Form1::batchReportFromNotes() {
    auto report = std::make_shared<BatchReport>();
    report->folder = batchNotes_.folder;
    report->files = batchResult_.files;
    report->rows = std::move(batchNotes_.rows);
    std::size_t next = 0;
    for (BatchRow& row : report->rows) {
        if (!row.failed() || next >= batchResult_.failures.size()) continue;
        const BatchFailure& failure = batchResult_.failures[next++];
        row.failure = failedRow(report->folder, row.source, failure.cause, failure.error).failure;
    }
    batchReport_ = std::move(report);
    fileReport_.reset();
    Command3->show();
}

void Form1::typesetPaths(const QStringList& paths) {
    if (busy() || paths.isEmpty()) return;
    queue_ = {};
    queue_.active = true;
    queue_.several = paths.size() > 1;
    queue_.pending = paths;
    runNextQueued();
}

void Form1::runNextQueued() {
    while (!queue_.pending.isEmpty()) {
        const QFileInfo item(queue_.pending.takeFirst());
        const QString path = item.absoluteFilePath();
        if (item.isDir()) {
            queue_.ran = true;
            typesetFolder(withTrailingSlash(path));
            return;
        }
        // A path that does not exist is left to the run, which says so as it
        // says it of any file it cannot open.
        if (item.exists() && !isTextFileName(QFile::encodeName(item.fileName()).toStdString())) {
            refuseQueued(path);
            continue;
        }
        queue_.ran = true;
        prepareSingleRun();
        typesetChosenFile(path);
        return;
    }
    finishQueue();
}

void Form1::refuseQueued(const QString& path) {
    const QString reason = QStringLiteral("不是TXT文件，没有排版（只排版名字以.txt结尾的文件）。");
    if (!queue_.several) {
        platform_.showWarning(this, kIdleCaption, QStringLiteral("无法排版这个文件：\n") + path + QStringLiteral("：") + reason);
        return;
    }
    queue_.failures << path + QStringLiteral("：") + reason;
    const std::string source = QFile::encodeName(path).toStdString();
    queue_.rows.push_back(failedRow(splitSourcePath(source).folder, source, reason));
}

// Between the runs of typesetPaths(): the next one once this one's end is shown.
void Form1::endQueuedRun() {
    if (queue_.active) QTimer::singleShot(0, this, [this] { runNextQueued(); });
}

void Form1::finishQueue() {
    queue_.active = false;
    if (queue_.several) {
        if (queue_.ran) {
            Label11->hide();
            Frame2->setTitle(fromText(fileCountText(queue_.files)));
            showStatistics(queue_.totals);
            auto report = std::make_shared<BatchReport>();
            report->files = queue_.files;
            report->rows = std::move(queue_.rows);
            batchReport_ = std::move(report);
            fileReport_.reset();
            Command3->show();
        }
        showFailuresAndNotes(queue_.failures.isEmpty() ? QString() : failureListText(queue_.failures), queue_.notes,
                             QStringLiteral("排版已完成。\n"));
    }
    const bool ran = queue_.ran;
    queue_ = {};
    if (ran) showResult();
}

void Form1::showResult() {
    if (!fileReport_ && !batchReport_) return;
    if (!resultView_) resultView_ = new ResultView(platform_, this);
    if (fileReport_) resultView_->showReport(fileReport_);
    else resultView_->showReport(batchReport_);
    resultView_->show();
    resultView_->raise();
    resultView_->activateWindow();
    emit resultShown();
}

void Form1::Check1_Click() {
    Command1->setEnabled(true);
    const bool ticked = Check1->checkState() == Qt::Checked;
    for (int index : {1, 2, 7}) Check2[index]->setVisible(ticked);
}

void Form1::resetAllFields() {
    for (QLineEdit* t : {Text2, Text3}) t->clear();
    setOpeningValue(Text4);
    for (QLineEdit* t : {Text5, Text6, Text7, Text8}) t->clear();
    Text4->setFocus();
    Text4->selectAll();
    Command1->setEnabled(true);
    Command2->setEnabled(true);
}

// A file or a folder dragged onto the window, boxes included, is taken as if
// chosen in the dialogs; anything else is refused with a message.
void Form1::dragEnterEvent(QDragEnterEvent* event) {
    if (!busy()) event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
    if (busy()) return;
    event->acceptProposedAction();
    const QList<QUrl> urls = event->mimeData()->urls();
    const QString path = urls.size() == 1 && urls.front().isLocalFile() ? urls.front().toLocalFile() : QString();
    // Not from inside the drop: the program that the item came from waits
    // until the drop returns, and a run or a message box would hold it up.
    QMetaObject::invokeMethod(this, [this, path] { takeDropped(path); }, Qt::QueuedConnection);
}

void Form1::takeDropped(const QString& path) {
    if (busy()) return;
    const QFileInfo item(path);
    if (!path.isEmpty() && item.isDir()) {
        typesetFolder(withTrailingSlash(path));
    } else if (!path.isEmpty() && item.isFile() && isTextFileName(QFile::encodeName(item.fileName()).toStdString())) {
        prepareSingleRun();
        typesetChosenFile(path);
    } else {
        platform_.showWarning(this, kIdleCaption,
                              QStringLiteral("只能拖入一个TXT文件（排版这个文件）或一个文件夹（批量排版其中的TXT文件）。"));
    }
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonDblClick) {
        if (watched == Frame1) {
            resetAllFields();
            return true;
        }
        if (watched == Text4) {
            setOpeningValue(Text4);
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
            platform_.openUrl(QUrl(QStringLiteral("mailto:") + contact_));
            return true;
        }
    } else if (type == QEvent::FocusIn && watched == Text4) {
        // After the focus event a mouse press would place the cursor; select once it has.
        QTimer::singleShot(0, Text4, [this] { Text4->selectAll(); });
    } else if ((type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) &&
               qobject_cast<QLineEdit*>(watched) && static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
        // A box would take a dropped file as text (its path); the window takes it as a file.
        if (type == QEvent::Drop) {
            dropEvent(static_cast<QDropEvent*>(event));
        } else if (!busy()) {
            static_cast<QDropEvent*>(event)->acceptProposedAction();
        }
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quenlet::ui
