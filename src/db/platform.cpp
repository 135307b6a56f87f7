#include "db/platform.h"

#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QStandardPaths>

namespace platform {

std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };

std::function<void(QWidget *, const QString &)> showError = [](QWidget *parent, const QString &text) {
    QMessageBox::critical(parent, QString(), text);
};

std::function<QString(QWidget *, const QString &)> openFileName = [](QWidget *parent, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
};

std::function<QString(QWidget *, const QString &)> saveFileName = [](QWidget *parent, const QString &filter) {
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
};

QFont uiFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    return font;
}

std::function<QString()> registryFolder = [] {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
};

std::function<QString()> systemSettingsFolder = [] { return QLibraryInfo::path(QLibraryInfo::SettingsPath); };

} // namespace platform
