#include "dialogs/uiplatform.h"

#include <QFileDialog>
#include <QMessageBox>

namespace platform {

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

} // namespace platform
