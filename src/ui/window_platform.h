// What the window needs from the desktop: the file and folder dialogs, opening
// a link, letting pending events run, and message boxes. Behind this seam so
// that tests can answer the dialogs.
#pragma once

#include <QString>
#include <QUrl>

class QWidget;

namespace quenlet::ui {

class WindowPlatform {
public:
    virtual ~WindowPlatform() = default;
    // The chosen file's path, or an empty text when the dialog was cancelled.
    virtual QString chooseFile(QWidget* owner, const QString& title, const QString& folder, const QString& filter) = 0;
    // The chosen folder's path, or an empty text when the dialog was cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& prompt) = 0;
    virtual void openUrl(const QUrl& url) = 0;
    virtual void processEvents() = 0;
    virtual void showWarning(QWidget* owner, const QString& title, const QString& text) = 0;
};

// The real desktop: Qt's dialogs, QDesktopServices and QMessageBox.
class DesktopPlatform final : public WindowPlatform {
public:
    QString chooseFile(QWidget* owner, const QString& title, const QString& folder, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& prompt) override;
    void openUrl(const QUrl& url) override;
    void processEvents() override;
    void showWarning(QWidget* owner, const QString& title, const QString& text) override;
};

}  // namespace quenlet::ui
