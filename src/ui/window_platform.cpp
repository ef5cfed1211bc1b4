#include "ui/window_platform.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>

namespace quenlet::ui {

DesktopPlatform::DesktopPlatform()
    : settings_(std::make_unique<QSettings>(QStringLiteral("Quenlet"), QStringLiteral("quenlet"))) {}

DesktopPlatform::~DesktopPlatform() = default;

QString DesktopPlatform::chooseFile(QWidget* owner, const QString& title, const QString& folder,
                                    const QString& filter) {
    // Qt's dialog only returns a file and a path that exist.
    return QFileDialog::getOpenFileName(owner, title, folder, filter, nullptr, QFileDialog::ReadOnly);
}

QString DesktopPlatform::chooseFolder(QWidget* owner, const QString& prompt, const QString& folder) {
    return QFileDialog::getExistingDirectory(owner, prompt, folder, QFileDialog::ShowDirsOnly);
}

void DesktopPlatform::openUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

void DesktopPlatform::showWarning(QWidget* owner, const QString& title, const QString& text) {
    QMessageBox::warning(owner, title, text);
}

QSettings& DesktopPlatform::settings() { return *settings_; }

}  // namespace quenlet::ui
