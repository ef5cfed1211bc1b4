#include "ui/result_view.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "run/output_names.h"

namespace quenlet::ui {
namespace {

// Numbers of chapters as the view lists them: "第8、9、20至35章", runs of
// three or more as a range, at most kShown entries.
QString chapterRanges(const std::vector<std::int64_t>& numbers) {
    constexpr qsizetype kShown = 500;
    QStringList parts;
    std::size_t i = 0;
    while (i < numbers.size() && parts.size() < kShown) {
        std::size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (j - i >= 2) {
            parts << QStringLiteral("%1至%2").arg(numbers[i]).arg(numbers[j]);
        } else {
            for (std::size_t k = i; k <= j; ++k) parts << QString::number(numbers[k]);
        }
        i = j + 1;
    }
    QString text = QStringLiteral("第%1章").arg(parts.join(QStringLiteral("、")));
    if (i < numbers.size()) text += QStringLiteral("……（共%1章）").arg(numbers.size());
    return text;
}

QPlainTextEdit* readOnlyText(QWidget* parent) {
    auto* text = new QPlainTextEdit(parent);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    return text;
}

QTreeView* listView(QWidget* parent, QAbstractItemModel* model) {
    auto* view = new QTreeView(parent);
    view->setModel(model);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);  // a screenful is laid out, not the whole list
    view->setAlternatingRowColors(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return view;
}

QString sampleText(const std::vector<Text>& lines, bool cut) {
    QStringList shown;
    shown.reserve(static_cast<qsizetype>(lines.size()) + 1);
    for (const Text& line : lines) shown << shownText(line);
    if (cut) shown << QStringLiteral("……（以下从略）");
    return shown.join('\n');
}

QString folderOf(const std::string& path) { return pathText(splitSourcePath(path).folder); }

}  // namespace

ResultView::ResultView(WindowPlatform& platform, QWidget* parent) : QWidget(parent, Qt::Window), platform_(platform) {
    setWindowTitle(QStringLiteral("排版结果"));
    auto* layout = new QVBoxLayout(this);
    Summary = new QLabel(this);
    Summary->setWordWrap(true);
    Summary->setTextFormat(Qt::PlainText);
    Summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(Summary);

    Faces = new QStackedWidget(this);
    Faces->addWidget(makeFileFace());
    Faces->addWidget(makeBatchFace());
    layout->addWidget(Faces, 1);

    auto* buttons = new QHBoxLayout;
    OpenCopy = new QPushButton(QStringLiteral("打开副本"), this);
    OpenBook = new QPushButton(QStringLiteral("打开电子书"), this);
    OpenFolder = new QPushButton(QStringLiteral("打开所在文件夹"), this);
    CopyHeadings = new QPushButton(QStringLiteral("复制章节目录"), this);
    CopyHeadings->setToolTip(QStringLiteral("把卷和章的标题复制到剪贴板，一行一个"));
    CloseButton = new QPushButton(QStringLiteral("关闭"), this);
    for (QPushButton* button : {OpenCopy, OpenBook, OpenFolder, CopyHeadings}) buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(CloseButton);
    layout->addLayout(buttons);
    connect(OpenCopy, &QPushButton::clicked, this, [this] { openCopy(); });
    connect(OpenBook, &QPushButton::clicked, this, [this] { openBook(); });
    connect(OpenFolder, &QPushButton::clicked, this, [this] { openFolder(); });
    connect(CopyHeadings, &QPushButton::clicked, this, [this] { copyHeadings(); });
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
    resize(820, 600);
}

QWidget* ResultView::makeFileFace() {
    Tabs = new QTabWidget(this);
    HeadingList = listView(Tabs, &headings);
    Tabs->addTab(HeadingList, QStringLiteral("章节标题"));
    NumberingText = readOnlyText(Tabs);
    Tabs->addTab(NumberingText, QStringLiteral("章节编号"));
    JunkList = listView(Tabs, &junk);
    Tabs->addTab(JunkList, QStringLiteral("删除的杂项"));

    auto* sample = new QWidget(Tabs);
    auto* grid = new QGridLayout(sample);
    SampleNote = new QLabel(sample);
    SampleNote->setWordWrap(true);
    grid->addWidget(SampleNote, 0, 0, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("排版前（源文件）"), sample), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("排版后（副本）"), sample), 1, 1);
    SourceSample = readOnlyText(sample);
    TypesetSample = readOnlyText(sample);
    grid->addWidget(SourceSample, 2, 0);
    grid->addWidget(TypesetSample, 2, 1);
    grid->setRowStretch(2, 1);
    Tabs->addTab(sample, QStringLiteral("首章对照"));
    return Tabs;
}

QWidget* ResultView::makeBatchFace() {
    BatchFace = new QWidget(this);
    auto* layout = new QVBoxLayout(BatchFace);
    layout->setContentsMargins(0, 0, 0, 0);
    FailuresFirst = new QCheckBox(QStringLiteral("未能处理的排在前面"), BatchFace);
    layout->addWidget(FailuresFirst);
    sortedFiles.setSourceModel(&files);
    FileTable = new QTableView(BatchFace);
    FileTable->setModel(&sortedFiles);
    FileTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    FileTable->setSelectionMode(QAbstractItemView::SingleSelection);
    FileTable->setAlternatingRowColors(true);
    FileTable->setWordWrap(false);
    FileTable->verticalHeader()->hide();
    // Rows of one height, and columns of set widths: nothing is measured row by row.
    FileTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    FileTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    QHeaderView* columns = FileTable->horizontalHeader();
    columns->setSectionResizeMode(QHeaderView::Interactive);
    const std::pair<int, int> widths[] = {{BatchTableModel::Order, 56},    {BatchTableModel::Name, 250},
                                          {BatchTableModel::Encoding, 110}, {BatchTableModel::Chapters, 56},
                                          {BatchTableModel::Warnings, 180}};
    for (const auto& [column, width] : widths) columns->resizeSection(column, width);
    columns->setStretchLastSection(true);
    FileTable->setSortingEnabled(true);
    FileTable->sortByColumn(BatchTableModel::Order, Qt::AscendingOrder);
    layout->addWidget(FileTable, 1);
    connect(FailuresFirst, &QCheckBox::toggled, this, [this](bool on) { sortedFiles.setFailuresFirst(on); });
    connect(FileTable, &QTableView::doubleClicked, this, [this] { openCopy(); });
    connect(FileTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { chosenRowChanged(); });
    return BatchFace;
}

void ResultView::showReport(std::shared_ptr<const FileReport> report) {
    batch_.reset();
    files.setReport(nullptr);
    file_ = std::move(report);
    const FileReport& r = *file_;
    const FileRunResult& result = r.result;
    setWindowTitle(QStringLiteral("排版结果：") + pathText(splitSourcePath(r.source).name));
    Faces->setCurrentIndex(0);
    headings.setReport(file_);
    junk.setReport(file_);
    HeadingList->header()->resizeSection(HeadingListModel::Number, 56);
    JunkList->header()->resizeSection(JunkListModel::Times, 56);
    const bool ok = r.failure.isEmpty();
    Tabs->setEnabled(ok);
    Tabs->setTabText(0, QStringLiteral("章节标题（%1）").arg(result.findings.headings));
    Tabs->setTabText(2, QStringLiteral("删除的杂项（%1）").arg(result.findings.junkList.size()));
    showFileSummary(r);
    showNumbering(r);
    showSample(r);
    OpenCopy->setEnabled(ok && !result.outputPath.empty() && result.outputPath != result.bookPath);
    OpenBook->setEnabled(ok && !result.bookPath.empty());
    OpenFolder->setEnabled(true);
    CopyHeadings->show();
    CopyHeadings->setEnabled(ok && headings.hasContents());
}

void ResultView::showFileSummary(const FileReport& r) {
    const FileRunResult& result = r.result;
    const RunFindings& found = result.findings;
    QStringList lines{QStringLiteral("源文件：") + pathText(r.source)};
    if (!r.failure.isEmpty()) {
        lines << QStringLiteral("没有排版：") + r.failure;
        Summary->setText(lines.join('\n'));
        return;
    }
    if (!result.outputPath.empty() && result.outputPath != result.bookPath)
        lines << QStringLiteral("副本：") + pathText(result.outputPath);
    if (!result.bookPath.empty()) lines << QStringLiteral("电子书：") + pathText(result.bookPath);
    lines << QStringLiteral("编码：%1（%2）；副本：%3")
                 .arg(formatText(result.format), detectionText(result.detectedBy), formatText(result.outputFormat));

    Count volumes = 0;
    Count chapters = 0;
    Count minor = 0;
    for (const RunFindings::Heading& h : found.headingList)
        (h.rank == HeadingRank::Volume ? volumes : h.rank == HeadingRank::Chapter ? chapters : minor) += 1;
    QString headingLine = QStringLiteral("章节标题：共%1个").arg(found.headings);
    QStringList kinds;
    if (volumes) kinds << QStringLiteral("卷%1个").arg(volumes);
    if (volumes || minor) kinds << QStringLiteral("章%1个").arg(chapters);
    if (minor) kinds << QStringLiteral("只按标题排版的短行%1个（列表中以灰色显示）").arg(minor);
    if (!kinds.isEmpty()) headingLine += QStringLiteral("：") + kinds.join(QStringLiteral("，"));
    if (found.headings > static_cast<Count>(found.headingList.size()))
        headingLine += QStringLiteral("；列表只列出前%1个").arg(found.headingList.size());
    if (found.emptyHeadings) headingLine += QStringLiteral("；其中%1个是空标题").arg(found.emptyHeadings);
    lines << headingLine;

    if (!r.tidied) {
        lines << QStringLiteral("章节编号和网站杂项：勾选“整理网络文本”时才检查和删除");
    } else {
        const bool gaps =
            !found.sequenceMissing.empty() || !found.sequenceRepeated.empty() || !found.sequenceBackwards.empty();
        lines << (gaps ? QStringLiteral("章节编号：缺少%1章，重复%2章，倒退%3处（见“章节编号”）")
                             .arg(found.sequenceMissing.size())
                             .arg(found.sequenceRepeated.size())
                             .arg(found.sequenceBackwards.size())
                       : QStringLiteral("章节编号：没有缺少、重复或倒退"));
        lines << (found.junkRemoved ? QStringLiteral("网站杂项：删除了%1处，共%2种（见“删除的杂项”）")
                                          .arg(found.junkRemoved)
                                          .arg(found.junkList.size())
                                    : QStringLiteral("网站杂项：没有找到"));
    }
    lines << (found.linesDropped ? QStringLiteral("删去的行：以一串问号结尾的%1行（共%2个字符）")
                                       .arg(found.linesDropped)
                                       .arg(found.charactersDropped)
                                 : QStringLiteral("删去的行：没有"));
    QStringList replaced;
    if (const QString undecodable = undecodableText(result); !undecodable.isEmpty()) replaced << undecodable;
    if (result.replaced.unencodableReplaced)
        replaced << QStringLiteral("有%1个字符无法用%2写出，写成了“?”。")
                        .arg(result.replaced.unencodableReplaced)
                        .arg(formatText(result.outputFormat));
    if (result.bookReplacedCharacters)
        replaced << QStringLiteral("有%1个字符无法放进EPUB，书中显示为“%2”。")
                        .arg(result.bookReplacedCharacters)
                        .arg(QChar(0xFFFD));
    lines << QStringLiteral("替换的字符：") + (replaced.isEmpty() ? QStringLiteral("没有") : replaced.join(QString()));
    Summary->setText(lines.join('\n'));
}

void ResultView::showNumbering(const FileReport& r) {
    const RunFindings& found = r.result.findings;
    QStringList lines;
    if (!r.failure.isEmpty()) {
    } else if (!r.tidied) {
        lines << QStringLiteral("只在勾选“整理网络文本”时检查章节编号：那时先通读全书，找出章节标题和它们的编号。");
    } else if (found.sequenceMissing.empty() && found.sequenceRepeated.empty() && found.sequenceBackwards.empty()) {
        lines << QStringLiteral("章节编号从头到尾连续，没有缺少、重复或倒退。");
    } else {
        if (!found.sequenceMissing.empty())
            lines << QStringLiteral("缺少：") + chapterRanges(found.sequenceMissing) +
                         QStringLiteral("。下载的文本可能不完整。");
        if (!found.sequenceRepeated.empty())
            lines << QStringLiteral("重复：") + chapterRanges(found.sequenceRepeated) + QStringLiteral("出现了不止一次。");
        if (!found.sequenceBackwards.empty())
            lines << QStringLiteral("倒退：编号在") + chapterRanges(found.sequenceBackwards) +
                         QStringLiteral("之后又变小了。");
    }
    NumberingText->setPlainText(lines.join(QStringLiteral("\n\n")));
}

void ResultView::showSample(const FileReport& r) {
    const ChapterSample& sample = r.result.firstChapter;
    const bool headings = std::any_of(r.result.findings.headingList.begin(), r.result.findings.headingList.end(),
                                      [](const auto& h) { return h.rank != HeadingRank::Minor; });
    SampleNote->setText(headings ? QStringLiteral("从文件开头到第二章的标题之前，每边最多%1行。")
                                       .arg(ChapterSampler::kMaxLines)
                                 : QStringLiteral("没有找到章节标题：以下是文件的开头，每边最多%1行。")
                                       .arg(ChapterSampler::kMaxLines));
    SourceSample->setPlainText(sampleText(sample.source, sample.sourceCut));
    TypesetSample->setPlainText(sampleText(sample.typeset, sample.typesetCut));
}

void ResultView::showReport(std::shared_ptr<const BatchReport> report) {
    file_.reset();
    headings.setReport(nullptr);
    junk.setReport(nullptr);
    batch_ = std::move(report);
    const BatchReport& r = *batch_;
    const auto failed = std::count_if(r.rows.begin(), r.rows.end(), [](const BatchRow& row) { return row.failed(); });
    setWindowTitle(QStringLiteral("批量排版结果：共%1个文件").arg(r.files));
    QStringList lines;
    if (!r.folder.empty()) lines << QStringLiteral("文件夹：") + pathText(r.folder);
    QString counts = QStringLiteral("共%1个文件已排版").arg(r.files);
    if (failed) counts += QStringLiteral("，%1项未能处理").arg(failed);
    lines << counts + QStringLiteral("。双击一行打开它的副本。");
    Summary->setText(lines.join('\n'));
    Faces->setCurrentIndex(1);
    files.setReport(batch_);
    CopyHeadings->hide();
    chosenRowChanged();
}

const BatchRow* ResultView::chosenRow() const {
    if (!batch_) return nullptr;
    const QModelIndex current = FileTable->currentIndex();
    if (!current.isValid()) return nullptr;
    return &files.row(sortedFiles.mapToSource(current).row());
}

void ResultView::chosenRowChanged() {
    const BatchRow* row = chosenRow();
    OpenCopy->setEnabled(row && !row->failed());
    OpenBook->setEnabled(row && !row->book.empty());
    OpenFolder->setEnabled(row || !batch_->folder.empty());
}

void ResultView::open(const std::string& path) {
    if (!path.empty()) platform_.openUrl(QUrl::fromLocalFile(pathText(path)));
}

void ResultView::openCopy() {
    if (file_ && file_->failure.isEmpty() && file_->result.outputPath != file_->result.bookPath) {
        open(file_->result.outputPath);
    } else if (const BatchRow* row = chosenRow()) {
        open(copyPathOf(*row));
    }
}

void ResultView::openBook() {
    if (file_ && file_->failure.isEmpty()) {
        open(file_->result.bookPath);
    } else if (const BatchRow* row = chosenRow()) {
        open(row->book);
    }
}

void ResultView::openFolder() {
    QString folder;
    if (file_) {
        folder = folderOf(file_->source);
    } else if (const BatchRow* row = chosenRow()) {
        folder = folderOf(row->source);
    } else if (batch_) {
        folder = pathText(batch_->folder);
    }
    if (!folder.isEmpty()) platform_.openUrl(QUrl::fromLocalFile(folder));
}

void ResultView::copyHeadings() {
    if (file_) QApplication::clipboard()->setText(headings.contentsText());
}

}  // namespace quenlet::ui
