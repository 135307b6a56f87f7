#include "app/application.h"

#include "ui/uiplatform.h"

#include <QFont>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    setFont(platform::uiFont());
    // The installed program's icon, as its menu entry shows it.
    setWindowIcon(QIcon::fromTheme(QStringLiteral("org.tovi.vesko_mika")));
    // Qt's own windows (the file dialogs, the print preview and print
    // dialogs, message box buttons) speak Russian like the rest of the
    // program, where the Qt translations are installed.
    auto *translator = new QTranslator(this);
    if (translator->load(QLocale(QLocale::Russian, QLocale::Russia), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(translator);
}

bool Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        platform::showError(activeWindow(), QString::fromUtf8(e.what()));
    }
    return false;
}
