#include "ui/remembered_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>

namespace quenlet::ui {
namespace {

QString boxKey(const QString& key) { return QStringLiteral("boxes/") + key; }
QString folderKey(const QString& key) { return QStringLiteral("folders/") + key; }

}  // namespace

void RememberedControls::add(const QString& key, QLineEdit* box) {
    const QString name = boxKey(key);
    if (const QVariant value = settings_.value(name); value.isValid()) box->setText(value.toString());
    QObject::connect(box, &QLineEdit::textChanged, box, [this, name](const QString& text) {
        settings_.setValue(name, text);
    });
}

void RememberedControls::add(const QString& key, QCheckBox* box) {
    const QString name = boxKey(key);
    if (const QVariant value = settings_.value(name); value.isValid()) box->setChecked(value.toBool());
    QObject::connect(box, &QCheckBox::stateChanged, box, [this, name](int state) {
        settings_.setValue(name, state == Qt::Checked);
    });
}

void RememberedControls::add(const QString& key, QComboBox* box) {
    const QString name = boxKey(key);
    if (const QVariant value = settings_.value(name); value.isValid())
        if (const int index = box->findData(value.toString()); index >= 0) box->setCurrentIndex(index);
    QObject::connect(box, &QComboBox::currentIndexChanged, box, [this, name, box] {
        settings_.setValue(name, box->currentData().toString());
    });
}

QString RememberedControls::folder(const QString& key) const {
    const QString remembered = settings_.value(folderKey(key)).toString();
    if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return remembered;
    return QDir::homePath();
}

void RememberedControls::rememberFolder(const QString& key, const QString& folder) {
    settings_.setValue(folderKey(key), folder);
}

}  // namespace quenlet::ui
