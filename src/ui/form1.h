// The one window: every option of a run, the two buttons that start one (a
// single file, or every .txt file under a folder), the panel that shows the
// usage text and then the statistics, and the contact label.
//
// The window only translates: it reads its controls into TypesetOptions, runs
// the engine or the batch on a worker thread, and shows their progress and
// statistics.
#pragma once

#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <map>
#include <mutex>
#include <string_view>

#include "ui/background_run.h"
#include "batch/batch_run.h"
#include "run/file_run.h"
#include "ui/remembered_controls.h"
#include "ui/result_report.h"
#include "engine/typeset_engine.h"
#include "ui/window_platform.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quenlet::ui {

class ResultView;

inline const QString kIdleCaption = QStringLiteral("Quenlet V1.0");

class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(WindowPlatform& platform, QWidget* parent = nullptr);
    ~Form1() override;  // a run still going is stopped: its file leaves no output

    // The options the controls hold now.
    TypesetOptions takeOptions() const;
    // The output's encoding, the conversion, the tidy mode and the EPUB as the
    // 扩展设置 frame holds them now.
    FileRunSettings takeSettings() const;
    // From a button's click (or a drop) until the window shows the run's end.
    bool isRunning() const { return run_.active(); }

    // Handlers, public so that tests and tools can drive the window.
    void Command1_Click();  // typeset one file
    void Command2_Click();  // typeset every .txt file under a folder
    void Check1_Click();
    void resetAllFields();
    QString BrowseFolder();  // the chosen folder ending in '/', or "" when none
    // Typesets each file as 打开排版 would and each folder as 批量排版 would,
    // one after the other, without a dialog; then opens the result view.
    // Several items are summed up as one batch. For the paths the window is
    // started with.
    void typesetPaths(const QStringList& paths);
    // The last run's result in its window (结果), made the first time.
    void showResult();
    ResultView* resultView() const { return resultView_; }

    // The controls, under the names the rest of the program uses for them.
    QGroupBox* Frame1;
    QLineEdit* Text2;
    QLabel* Label1;
    QLineEdit* Text3;
    QLineEdit* Text4;
    QLabel* Label2;
    QLineEdit* Text5;
    QLineEdit* Text6;
    QLabel* Label4;
    QLineEdit* Text7;
    QLabel* Label6;
    QLineEdit* Text8;
    QCheckBox* Check3;
    QCheckBox* Check1;
    QGroupBox* Frame2;
    QLabel* Label11;
    QLabel* Label9;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label5;
    QGroupBox* Frame3;
    std::map<int, QCheckBox*> Check2;  // indexes 1, 2, 3, 4, 5 and 7
    QPushButton* Command1;
    QPushButton* Command2;
    QLabel* Label3;
    // 扩展设置, below the buttons: the capabilities beyond the rules and corrections.
    QGroupBox* Frame4;
    QLabel* Label12;    // 输出编码
    QComboBox* Combo1;  // the output's encoding
    QLabel* Label13;    // 简繁转换
    QComboBox* Combo2;  // the simplified/traditional conversion
    QCheckBox* Check4;  // 整理网络文本: the tidy mode
    QCheckBox* Check5;  // 同时生成EPUB: a book beside the text copy
    QPushButton* Command3;  // 结果: shown once a run has ended

signals:
    // The window shows the end of a run: back to normal, with its statistics or its message.
    void runEnded();
    // The result view has been opened and shows the last run.
    void resultShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // What a batch's files found worth a word, gathered on the worker thread
    // as each file ends; read by the window's thread once the run is over.
    struct BatchNotes {
        bool tidied = false;  // the file being typeset is in the tidy mode
        QStringList notes;
        std::string folder;         // the batch's, which the rows' names are given below
        std::vector<BatchRow> rows;  // a failure's text is filled in once the batch has ended
    };

    // The progress of a run, posted from the worker thread.
    class WorkerProgress final : public RunObserver, public BatchObserver {
    public:
        WorkerProgress(ProgressCaption& caption, const BackgroundRun& run, BatchNotes& notes)
            : caption_(caption), run_(run), notes_(notes) {}
        void replacingParagraph(Count line) override;
        void splittingParagraph(Count line) override;
        void fileStarted(Count number, const std::string& path) override;
        void fileFinished(Count number, const std::string& path, const FileRunResult& result) override;
        void fileFailed(const std::string& path, const std::string& error, const FailureCause& cause) override;

    private:
        ProgressCaption& caption_;
        const BackgroundRun& run_;
        BatchNotes& notes_;
    };

    void createControls();
    void createRulesFrame();
    void createResultsFrame();
    void createCorrectionsFrame();
    void createButtons();
    void createExtensionsFrame();
    void paintControls();
    void watchControls();
    void setTabOrder();
    void Form_Load();
    void fitLayout();
    void placeContactLabel();
    void rememberControls();
    void watchOptions();
    void refreshOptionsSnapshot();
    TypesetOptions optionsSnapshot() const;
    QWidget* controlNamed(std::string_view name) const;
    void setOpeningValue(QWidget* control);
    FileRunSettings settingsSnapshot() const;
    QRect twips(int left, int top, int width, int height) const;
    // The cells of 扩展设置, relative to the frame: a row of combo boxes, each
    // after its label, and under it a row of check boxes.
    QRect extensionLabelCell(int column) const { return twips(240 + column * 3360, 330, 900, 255); }
    QRect extensionComboCell(int column) const { return twips(1140 + column * 3360, 300, 2160, 315); }
    QRect extensionCheckBoxCell(int column) const { return twips(600 + column * 2280, 780, 1815, 180); }
    void setTextBoxesEnabled(bool enabled);
    void showStatistics(const Statistics& statistics);
    void clearStatistics();

    bool busy() const { return choosing_ || run_.active() || queue_.active; }
    void prepareSingleRun();
    void typesetChosenFile(const QString& chosen);
    void endSingleRun();
    void typesetFolder(const QString& folder);
    void endBatch();
    void startRun(std::function<void()> job, std::function<void()> done);
    void showNewCaption();
    void takeDropped(const QString& path);
    void showNotes(const QString& lead, const QStringList& notes);
    void showFailuresAndNotes(QString failures, const QStringList& notes, const QString& lead);
    void batchReportFromNotes();
    void runNextQueued();
    void refuseQueued(const QString& path);
    void endQueuedRun();
    void finishQueue();

    WindowPlatform& platform_;
    TypesetEngine engine_;
    // The tidy mode, made on the window's thread the first time its box is
    // read ticked, then shared by every file of every run: it only reads its rules.
    mutable std::shared_ptr<const RunHooksMaker> tidyMode_;
    std::shared_ptr<const BookFormat> epub_;  // the EPUB output, for 同时生成EPUB
    RememberedControls remembered_;
    QString contact_;  // the address Label3 shows, whole even when the label cannot show it all

    bool choosing_ = false;  // a file or folder dialog of a run is open
    BackgroundRun run_;
    ProgressCaption caption_;
    BatchNotes batchNotes_;
    WorkerProgress progress_{caption_, run_, batchNotes_};
    QTimer captionTimer_;
    FileRunResult singleResult_;  // written by the worker, read once it has ended
    std::string singlePath_;
    bool singleTidied_ = false;
    BatchResult batchResult_;

    // What the result view shows: the last run's, one file or a batch.
    std::shared_ptr<const FileReport> fileReport_;
    std::shared_ptr<const BatchReport> batchReport_;
    ResultView* resultView_ = nullptr;
    // The paths typesetPaths() was given, one run after the other.
    struct Queue {
        bool active = false;
        bool several = false;  // summed up as one batch: one message, one row per file
        bool ran = false;      // a run took place
        QStringList pending;
        Count files = 0;
        Statistics totals;
        std::vector<BatchRow> rows;
        QStringList failures;  // in Chinese
        QStringList notes;
    };
    Queue queue_;

    // The options and settings as the controls hold them, kept up to date on
    // every change, for a batch to take afresh for each file on its worker thread.
    mutable std::mutex optionsMutex_;
    TypesetOptions optionsSnapshot_;
    FileRunSettings settingsSnapshot_;
};

}  // namespace quenlet::ui
