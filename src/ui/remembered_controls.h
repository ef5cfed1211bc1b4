// The window's boxes, check boxes and folders as the user left them, kept
// from one session to the next.
#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSettings;

namespace quenlet::ui {

// Each control added is set from the settings at once, when they hold a value
// for it (so its change handlers run as for any other change), and saved
// whenever it changes from then on -- by the user or by the program, so a
// reset is remembered like any edit.
class RememberedControls {
public:
    explicit RememberedControls(QSettings& settings) : settings_(settings) {}

    void add(const QString& key, QLineEdit* box);
    void add(const QString& key, QCheckBox* box);
    // A combo box is remembered by its current item's data: a remembered
    // value that is no longer offered leaves the box as it is.
    void add(const QString& key, QComboBox* box);

    // The folder last remembered under `key` while it still exists, else the
    // user's home folder.
    QString folder(const QString& key) const;
    void rememberFolder(const QString& key, const QString& folder);

private:
    QSettings& settings_;
};

}  // namespace quenlet::ui
