// What the window needs from the desktop: the file and folder dialogs, opening
// a link, message boxes and the place where its settings are kept. Behind
// this seam so that tests and benchmarks can answer the dialogs and keep the
// settings away from the user's own.
#pragma once

#include <QString>
#include <QUrl>
#include <memory>

class QSettings;
class QWidget;

namespace quenlet::ui {

class WindowPlatform {
public:
    virtual ~WindowPlatform() = default;
    // The chosen file's path, or an empty text when the dialog was cancelled.
    virtual QString chooseFile(QWidget* owner, const QString& title, const QString& folder, const QString& filter) = 0;
    // The chosen folder's path, or an empty text when the dialog was cancelled.
    virtual QString chooseFolder(QWidget* owner, const QString& prompt, const QString& folder) = 0;
    virtual void openUrl(const QUrl& url) = 0;
    virtual void showWarning(QWidget* owner, const QString& title, const QString& text) = 0;
    // Where the window remembers its boxes and folders; lives as long as the platform.
    virtual QSettings& settings() = 0;
    // Called on the run's worker thread after each file entry a batch
    // examines: the one point between two files at which a batch may be acted
    // on from outside. The desktop has nothing to do there, since the window's
    // own thread stays free throughout a run; tests act between files here.
    virtual void betweenFileEntries() {}
};

// The real desktop: Qt's dialogs, QDesktopServices, QMessageBox and the
// user's configuration folder.
class DesktopPlatform final : public WindowPlatform {
public:
    DesktopPlatform();
    ~DesktopPlatform() override;
    QString chooseFile(QWidget* owner, const QString& title, const QString& folder, const QString& filter) override;
    QString chooseFolder(QWidget* owner, const QString& prompt, const QString& folder) override;
    void openUrl(const QUrl& url) override;
    void showWarning(QWidget* owner, const QString& title, const QString& text) override;
    QSettings& settings() override;

private:
    std::unique_ptr<QSettings> settings_;
};

}  // namespace quenlet::ui
