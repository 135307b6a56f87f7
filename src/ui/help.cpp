#include "ui/help.h"

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

// The guide's pictures are taken at the windows' own size; a wide one (the
// preview) is shown narrower, so that the text never needs scrolling
// sideways.
class GuideBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl &name) override
    {
        QVariant resource = QTextBrowser::loadResource(type, name);
        if (type != QTextDocument::ImageResource)
            return resource;
        QImage image = QImage::fromData(resource.toByteArray());
        if (image.width() > kWidest)
            image = image.scaledToWidth(kWidest, Qt::SmoothTransformation);
        return image.isNull() ? resource : QVariant(image);
    }

    static constexpr int kWidest = 600;
};

} // namespace

TFormHelp::TFormHelp(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormHelp"));
    setWindowTitle(QStringLiteral("справка"));
    setAttribute(Qt::WA_DeleteOnClose);

    BrowserHelp = new GuideBrowser(this);
    BrowserHelp->setObjectName(QStringLiteral("BrowserHelp"));
    BrowserHelp->setOpenExternalLinks(true);
    // The pictures are named beside the guide, so they resolve against it.
    BrowserHelp->setSource(QUrl(QStringLiteral("qrc:/guide/guide.md")), QTextDocument::MarkdownResource);
    BrowserHelp->document()->setDocumentMargin(12);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(BrowserHelp);

    // Wide enough for the pictures, on whatever screen it opens.
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    resize(qMin(640, area.width() * 19 / 20), qMin(700, area.height() * 9 / 10));
}

HelpKey::HelpKey(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

bool HelpKey::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    const auto *key = static_cast<QKeyEvent *>(event);
    if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
        return false;
    QWidget *window = static_cast<QWidget *>(watched)->window();
    if (qobject_cast<TFormHelp *>(window))
        return false;
    // Over a modal dialog the guide must be its child, or it is blocked.
    QWidget *modal = QApplication::activeModalWidget();
    showGuide(modal ? modal : window);
    return true;
}

TFormHelp *showGuide(QWidget *over)
{
    auto *help = over->findChild<TFormHelp *>(QString(), Qt::FindDirectChildrenOnly);
    if (!help)
        help = new TFormHelp(over);
    help->show();
    help->raise();
    help->activateWindow();
    return help;
}
