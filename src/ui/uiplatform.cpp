#include "ui/uiplatform.h"

#include "ui/xkb.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QInputMethod>
#include <QLocale>
#include <QMessageBox>
#include <QWidget>

namespace platform {

std::function<void(QWidget *, const QString &)> showError
    = [](QWidget *parent, const QString &text) { QMessageBox::critical(parent, QString(), text); };

std::function<QString(QWidget *, const QString &)> openFileName = [](QWidget *parent, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
};

std::function<QString(QWidget *, const QString &, const QString &)> saveFileName
    = [](QWidget *parent, const QString &filter, const QString &proposed) {
          return QFileDialog::getSaveFileName(parent, QString(), proposed, filter);
      };

std::function<bool()> capsLockOn = [] { return xkbCapsLock().value_or(false); };

std::function<QString()> keyboardLayout = [] {
    // No keyboard behind these.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return QString();
    const QString layout = xkbLayout();
    if (!layout.isEmpty())
        return layout;
    // Elsewhere the input method's language, where it knows one.
    const QLocale::Language language = QGuiApplication::inputMethod()->locale().language();
    if (language == QLocale::C || language == QLocale::AnyLanguage)
        return QString();
    return QLocale::languageToCode(language).toUpper();
};

QRect outerFrame(const QRect &reported, const QRect &client)
{
    return reported.contains(client) ? reported : client;
}

QRect outerFrame(const QWidget *window)
{
    return outerFrame(window->frameGeometry(), window->geometry());
}

QFont uiFont(int pixelSize)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    return font;
}

} // namespace platform
