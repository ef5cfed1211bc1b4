#include "ui/result_models.h"

#include <QColor>
#include <QFont>
#include <algorithm>

#include "text/encoding.h"

namespace quenlet::ui {
namespace {

const QString kIndentStep(2, QChar(0x3000));
const QColor kDimmed(128, 128, 128);
const QColor kFailed(176, 0, 0);

QVariant header(const QStringList& titles, int section, Qt::Orientation orientation, int role) {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= titles.size()) return {};
    return titles[section];
}

}  // namespace

QString shownText(TextView text) {
    QString shown(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
    for (QChar& c : shown)
        if (isEscapeUnit(c.unicode())) c = QChar(0xFFFD);
    return shown;
}

void HeadingListModel::setReport(std::shared_ptr<const FileReport> report) {
    beginResetModel();
    report_ = std::move(report);
    numbers_.clear();
    depth_.clear();
    if (report_) {
        const auto& headings = report_->result.findings.headingList;
        numbers_.reserve(headings.size());
        depth_.reserve(headings.size());
        int number = 0;
        bool inVolume = false;
        bool inChapter = false;
        for (const RunFindings::Heading& heading : headings) {
            switch (heading.rank) {
                case HeadingRank::Volume:
                    inVolume = true;
                    inChapter = false;
                    numbers_.push_back(++number);
                    depth_.push_back(0);
                    break;
                case HeadingRank::Chapter:
                    inChapter = true;
                    numbers_.push_back(++number);
                    depth_.push_back(inVolume ? 1 : 0);
                    break;
                case HeadingRank::Minor:
                    numbers_.push_back(0);
                    depth_.push_back(static_cast<unsigned char>((inVolume ? 1 : 0) + (inChapter || inVolume ? 1 : 0)));
                    break;
            }
        }
    }
    endResetModel();
}

int HeadingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(numbers_.size());
}

int HeadingListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString HeadingListModel::shownTitle(std::size_t row) const {
    const Text& title = report_->result.findings.headingList[row].title;
    QString shown = shownText(title).trimmed();
    if (shown.isEmpty() || shown.count(QChar(0x3000)) == shown.size()) shown = QStringLiteral("（空标题）");
    return shown;
}

QVariant HeadingListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const auto row = static_cast<std::size_t>(index.row());
    const HeadingRank rank = report_->result.findings.headingList[row].rank;
    switch (role) {
        case Qt::DisplayRole:
            if (index.column() == Number) return numbers_[row] ? QVariant(numbers_[row]) : QVariant();
            return kIndentStep.repeated(depth_[row]) + shownTitle(row);
        case Qt::ForegroundRole:
            if (rank == HeadingRank::Minor) return kDimmed;
            break;
        case Qt::FontRole:
            if (rank == HeadingRank::Volume) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            break;
        case Qt::ToolTipRole:
            if (rank == HeadingRank::Minor)
                return QStringLiteral("字数少、没有标点的短行，只按标题排版，不开始新的章节");
            break;
        case Qt::TextAlignmentRole:
            if (index.column() == Number) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            break;
        default: break;
    }
    return {};
}

QVariant HeadingListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header({QStringLiteral("序号"), QStringLiteral("标题")}, section, orientation, role);
}

QString HeadingListModel::contentsText() const {
    QStringList lines;
    for (std::size_t row = 0; row < numbers_.size(); ++row)
        if (numbers_[row]) lines << kIndentStep.repeated(depth_[row]) + shownTitle(row);
    return lines.isEmpty() ? QString() : lines.join('\n') + '\n';
}

bool HeadingListModel::hasContents() const {
    return std::any_of(numbers_.begin(), numbers_.end(), [](int number) { return number != 0; });
}

void JunkListModel::setReport(std::shared_ptr<const FileReport> report) {
    beginResetModel();
    report_ = std::move(report);
    endResetModel();
}

int JunkListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !report_ ? 0 : static_cast<int>(report_->result.findings.junkList.size());
}

int JunkListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant JunkListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const RunFindings::JunkPiece& piece = report_->result.findings.junkList[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole) return index.column() == Times ? QVariant(static_cast<qlonglong>(piece.count)) : QVariant(shownText(piece.text));
    if (role == Qt::TextAlignmentRole && index.column() == Times) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant JunkListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header({QStringLiteral("次数"), QStringLiteral("删除的内容")}, section, orientation, role);
}

void BatchTableModel::setReport(std::shared_ptr<const BatchReport> report) {
    beginResetModel();
    report_ = std::move(report);
    endResetModel();
}

int BatchTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !report_ ? 0 : static_cast<int>(report_->rows.size());
}

int BatchTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant BatchTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const BatchRow& r = row(index.row());
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case Order: return index.row() + 1;
                case Name: return r.name;
                case Encoding: return r.encoding;
                case Chapters: return r.failed() ? QVariant() : QVariant(static_cast<qlonglong>(r.chapters));
                case Warnings: return r.warnings.join(QStringLiteral("；"));
                case Failure: return r.failure;
                default: return {};
            }
        case Qt::ToolTipRole:
            if (index.column() == Warnings && !r.warnings.isEmpty()) return r.warnings.join('\n');
            if (index.column() == Failure && r.failed()) return r.failure;
            if (index.column() == Name) return pathText(r.source);
            return {};
        case Qt::ForegroundRole:
            if (r.failed()) return kFailed;
            return {};
        case Qt::TextAlignmentRole:
            if (index.column() == Order || index.column() == Chapters)
                return QVariant(Qt::AlignRight | Qt::AlignVCenter);
            return {};
        default: return {};
    }
}

QVariant BatchTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    return header({QStringLiteral("序号"), QStringLiteral("文件"), QStringLiteral("编码"), QStringLiteral("章节"),
                   QStringLiteral("提示"), QStringLiteral("失败原因")},
                  section, orientation, role);
}

void BatchSortModel::setFailuresFirst(bool first) {
    if (first == failuresFirst_) return;
    failuresFirst_ = first;
    invalidate();
}

// Compares the rows themselves rather than their display values: no text is
// made for a comparison, and numbers compare as numbers.
bool BatchSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const auto* rows = static_cast<const BatchTableModel*>(sourceModel());
    const BatchRow& l = rows->row(left.row());
    const BatchRow& r = rows->row(right.row());
    if (failuresFirst_ && l.failed() != r.failed())
        return sortOrder() == Qt::AscendingOrder ? l.failed() : r.failed();  // descending asks (right, left)
    switch (left.column()) {
        case BatchTableModel::Name:
            if (const int c = l.name.compare(r.name); c != 0) return c < 0;
            break;
        case BatchTableModel::Encoding:
            if (const int c = l.encoding.compare(r.encoding); c != 0) return c < 0;
            break;
        case BatchTableModel::Chapters:
            if (l.chapters != r.chapters) return l.chapters < r.chapters;
            break;
        case BatchTableModel::Warnings:
            if (l.warnings.size() != r.warnings.size()) return l.warnings.size() < r.warnings.size();
            break;
        case BatchTableModel::Failure:
            if (const int c = l.failure.compare(r.failure); c != 0) return c < 0;
            break;
        default: break;
    }
    return left.row() < right.row();  // ties, and the 序号 column: the order the files were typeset in
}

}  // namespace quenlet::ui
