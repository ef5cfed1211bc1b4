// Qt's own texts (the buttons, columns and prompts of the file and folder
// dialogs, the message boxes) in Chinese, to match the window's.
#pragma once

class QCoreApplication;

namespace quenlet::ui {

// Installs Qt's simplified Chinese translations into the application; false
// when they are not installed (the dialogs then speak Qt's English).
bool installQtChineseTranslations(QCoreApplication& application);

}  // namespace quenlet::ui
