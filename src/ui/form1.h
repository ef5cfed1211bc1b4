// The one window: every option of a run, the two buttons that start one (a
// single file, or every .txt file under a folder), the panel that shows the
// usage text and then the statistics, and the contact label.
//
// The window only translates: it reads its controls into TypesetOptions, runs
// the engine or the batch, and shows their progress and statistics.
#pragma once

#include <QWidget>
#include <map>

#include "batch_run.h"
#include "typeset_engine.h"
#include "window_platform.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quenlet::ui {

inline const QString kIdleCaption = QStringLiteral("Quenlet V1.0");

class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(WindowPlatform& platform, QWidget* parent = nullptr);

    // The options the controls hold now.
    TypesetOptions takeOptions() const;
    TypesetEngine& engine() { return engine_; }

    // Handlers, public so that tests and tools can drive the window.
    void Command1_Click();  // typeset one file
    void Command2_Click();  // typeset every .txt file under a folder
    void Check1_Click();
    void resetAllFields();
    QString BrowseFolder();  // the chosen folder ending in '/', or "" when none

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createControls();
    void setTabOrder();
    void Form_Load();
    void showStatistics(const Statistics& statistics);
    QRect twips(int left, int top, int width, int height) const;
    void setTextBoxesEnabled(bool enabled);

    WindowPlatform& platform_;
    TypesetEngine engine_;
    bool running_ = false;  // a batch lets events in between files; no second run may start then
};

}  // namespace quenlet::ui
