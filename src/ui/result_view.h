// The result of the last run in a window of its own: for one file, what was
// read and how, the headings found, the gaps in their numbering, the junk
// removed, and the first chapter before and after side by side; for a batch,
// one row per file. Buttons open the copy, the book and the folder with the
// desktop's programs and copy the list of headings.
#pragma once

#include <QWidget>
#include <memory>

#include "ui/result_models.h"
#include "ui/result_report.h"
#include "ui/window_platform.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTableView;
class QTreeView;

namespace quenlet::ui {

class ResultView final : public QWidget {
    Q_OBJECT

public:
    explicit ResultView(WindowPlatform& platform, QWidget* parent = nullptr);

    void showReport(std::shared_ptr<const FileReport> report);
    void showReport(std::shared_ptr<const BatchReport> report);

    // The buttons' actions, public so that tests can call them.
    void openCopy();
    void openBook();
    void openFolder();
    void copyHeadings();

    // The parts, public for tests and tools.
    QLabel* Summary;
    QStackedWidget* Faces;
    QTabWidget* Tabs;  // one file's face
    QTreeView* HeadingList;
    QPlainTextEdit* NumberingText;
    QTreeView* JunkList;
    QLabel* SampleNote;
    QPlainTextEdit* SourceSample;
    QPlainTextEdit* TypesetSample;
    QWidget* BatchFace;
    QCheckBox* FailuresFirst;
    QTableView* FileTable;
    QPushButton* OpenCopy;
    QPushButton* OpenBook;
    QPushButton* OpenFolder;
    QPushButton* CopyHeadings;
    QPushButton* CloseButton;
    HeadingListModel headings;
    JunkListModel junk;
    BatchTableModel files;
    BatchSortModel sortedFiles;

private:
    QWidget* makeFileFace();
    QWidget* makeBatchFace();
    void showFileSummary(const FileReport& report);
    void showNumbering(const FileReport& report);
    void showSample(const FileReport& report);
    // The row chosen in the batch's table, or none.
    const BatchRow* chosenRow() const;
    void chosenRowChanged();
    void open(const std::string& path);

    WindowPlatform& platform_;
    std::shared_ptr<const FileReport> file_;
    std::shared_ptr<const BatchReport> batch_;
};

}  // namespace quenlet::ui
