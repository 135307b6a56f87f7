#include "app/application.h"

#include "db/platform.h"

#include <QFont>

Application::Application(int &argc, char **argv) : QApplication(argc, argv)
{
    setFont(programFont());
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

QFont programFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}
