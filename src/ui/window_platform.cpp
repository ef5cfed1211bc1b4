#include "window_platform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>

namespace quenlet::ui {

QString DesktopPlatform::chooseFile(QWidget* owner, const QString& title, const QString& folder,
                                    const QString& filter) {
    // Qt's dialog only returns a file and a path that exist.
    return QFileDialog::getOpenFileName(owner, title, folder, filter, nullptr, QFileDialog::ReadOnly);
}

QString DesktopPlatform::chooseFolder(QWidget* owner, const QString& prompt) {
    return QFileDialog::getExistingDirectory(owner, prompt, QString(), QFileDialog::ShowDirsOnly);
}

void DesktopPlatform::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

void DesktopPlatform::processEvents() { QCoreApplication::processEvents(); }

void DesktopPlatform::showWarning(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox::warning(owner, title, text);
}

}  // namespace quenlet::ui
