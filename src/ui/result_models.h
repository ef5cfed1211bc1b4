// The lists of the result view as item models, so that a book of thousands
// of headings or a batch of tens of thousands of files is drawn a screenful
// at a time from the report it came with, never as one widget per line.
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <memory>
#include <vector>

#include "ui/result_report.h"

namespace quenlet::ui {

// The headings of one file in order: chapters and volumes numbered, the
// chapters of a volume indented under it, and the lines that are headings
// only by their look (short lines without punctuation, such as a poem's
// title) shown dimmed, unnumbered and indented under their chapter.
class HeadingListModel final : public QAbstractTableModel {
public:
    enum Column { Number, Title, ColumnCount };

    void setReport(std::shared_ptr<const FileReport> report);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The table of contents as text: the chapters and volumes, a line each,
    // the chapters of a volume indented.
    QString contentsText() const;
    bool hasContents() const;

private:
    QString shownTitle(std::size_t row) const;

    std::shared_ptr<const FileReport> report_;
    std::vector<int> numbers_;  // 0 for a heading by its look
    std::vector<unsigned char> depth_;
};

// The pieces of junk the tidy mode removed, each once with how often.
class JunkListModel final : public QAbstractTableModel {
public:
    enum Column { Times, Piece, ColumnCount };

    void setReport(std::shared_ptr<const FileReport> report);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const FileReport> report_;
};

// One row per file of a batch.
class BatchTableModel final : public QAbstractTableModel {
public:
    enum Column { Order, Name, Encoding, Chapters, Warnings, Failure, ColumnCount };

    void setReport(std::shared_ptr<const BatchReport> report);
    const BatchRow& row(int row) const { return report_->rows[static_cast<std::size_t>(row)]; }
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const BatchReport> report_;
};

// The batch's rows in the order the user clicked for, the failures first
// when asked, whichever way the column is sorted.
class BatchSortModel final : public QSortFilterProxyModel {
public:
    void setFailuresFirst(bool first);
    bool failuresFirst() const { return failuresFirst_; }

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    bool failuresFirst_ = false;
};

// Text as the screen can show it: an undecodable byte (kept in the text as
// an escape unit) becomes U+FFFD.
QString shownText(TextView text);

}  // namespace quenlet::ui
