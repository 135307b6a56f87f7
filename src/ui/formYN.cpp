#include "ui/formYN.h"

#include "ui/uiplatform.h"

#include <QApplication>
#include <QBitmap>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

char BackLetter = 'g';
extern const char PictureCycle[] = "qrby";
TFormYesNo *FormYesNo = nullptr;

namespace {

void setLeft(QWidget *widget, int left)
{
    widget->move(left, widget->y());
}
void setTop(QWidget *widget, int top)
{
    widget->move(widget->x(), top);
}
void setWidth(QWidget *widget, int width)
{
    widget->resize(width, widget->height());
}
void setHeight(QWidget *widget, int height)
{
    widget->resize(widget->width(), height);
}

QLabel *makePicture(QWidget *parent, const char *name, const QString &file)
{
    auto *picture = new QLabel(parent);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setPixmap(QPixmap(file));
    picture->setGeometry(QRect(QPoint(0, 0), picture->pixmap().size()));
    picture->hide();
    return picture;
}

// The side pictures are drawn on white; the colour of the bottom-left pixel
// drops out so that they sit on the dialog's own grey.
QPixmap transparentCopy(QPixmap picture)
{
    if (picture.isNull())
        return picture;
    const QImage image = picture.toImage();
    picture.setMask(picture.createMaskFromColor(image.pixelColor(0, image.height() - 1)));
    return picture;
}

} // namespace

TFormYesNo::TFormYesNo(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("FormYesNo"));
    setWindowTitle(QStringLiteral(" "));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(208, 204, 196));
    setPalette(palette);
    setAutoFillBackground(true);
    setFont(platform::uiFont());
    resize(520, 120);

    TimerSteps = new QTimer(this);
    TimerSteps->setObjectName(QStringLiteral("TimerSteps"));
    TimerSteps->setInterval(200);

    LabelTXT = new QLabel(this);
    LabelTXT->setObjectName(QStringLiteral("LabelTXT"));
    LabelTXT->setGeometry(96, 8, 216, 104);
    LabelTXT->setAlignment(Qt::AlignCenter);
    LabelTXT->setWordWrap(true);
    // A question is never markup, whatever characters it holds.
    LabelTXT->setTextFormat(Qt::PlainText);
    LabelTXT->installEventFilter(this);

    ImageFootL = makePicture(this, "ImageFootL", QStringLiteral(":/formyn/foot_left.png"));
    ImageFootR = makePicture(this, "ImageFootR", QStringLiteral(":/formyn/foot_right.png"));

    BitBtnNet = new QPushButton(QStringLiteral("нет"), this);
    BitBtnNet->setObjectName(QStringLiteral("BitBtnNet"));
    BitBtnNet->setGeometry(368, 65, 120, 33);

    BitBtnDa = new QPushButton(QStringLiteral("да"), this);
    BitBtnDa->setObjectName(QStringLiteral("BitBtnDa"));
    BitBtnDa->setGeometry(368, 22, 120, 33);
    setTabOrder(BitBtnNet, BitBtnDa);

    ImageQ = makePicture(this, "ImageQ", QStringLiteral(":/formyn/question.png"));
    ImageR = makePicture(this, "ImageR", QStringLiteral(":/formyn/skull_red.png"));
    ImageB = makePicture(this, "ImageB", QStringLiteral(":/formyn/skull_blue.png"));
    ImageY = makePicture(this, "ImageY", QStringLiteral(":/formyn/warning.png"));

    ImageXX = new QLabel(this);
    ImageXX->setObjectName(QStringLiteral("ImageXX"));
    ImageXX->setGeometry(40, 40, 40, 40);
    ImageXX->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImageXX->setPixmap(transparentCopy(ImageQ->pixmap()));
    ImageXX->installEventFilter(this);

    PaintBoxR = new QWidget(this);
    PaintBoxR->setObjectName(QStringLiteral("PaintBoxR"));
    PaintBoxR->setGeometry(336, 2, 182, 116);
    PaintBoxR->installEventFilter(this);
    // The buttons sit on the strip and must be painted after it.
    PaintBoxR->lower();

    ImageGLI = makePicture(this, "ImageGLI", QStringLiteral(":/formyn/stripes_green.png"));
    ImageRLI = makePicture(this, "ImageRLI", QStringLiteral(":/formyn/stripes_red.png"));

    connect(BitBtnDa, &QPushButton::clicked, this, &TFormYesNo::BitBtnDaClick);
    connect(BitBtnNet, &QPushButton::clicked, this, &TFormYesNo::BitBtnNetClick);
    connect(TimerSteps, &QTimer::timeout, this, &TFormYesNo::TimerStepsTimer);

    if (!FormYesNo)
        FormYesNo = this;
    FormCreate();
}

TFormYesNo::~TFormYesNo()
{
    if (FormYesNo == this)
        FormYesNo = nullptr;
}

void TFormYesNo::FormCreate()
{
    Language = 'r';
    PictureLetter = 'q';
    BackLetter = 'g';
    QuitMode = false;
    FitHeight = false;
    RestoreDEF();
    StepCount = 0;
}

void TFormYesNo::setVisible(bool visible)
{
    if (visible == isVisible()) {
        QDialog::setVisible(visible);
        return;
    }
    if (visible) {
        // Set on the native window itself: changing the widget's flags would
        // rebuild the window, and its old size would come back later.
        create();
        windowHandle()->setFlag(Qt::WindowStaysOnTopHint, true);
        QDialog::setVisible(true);
    } else {
        // Every way of closing (a button, the close command, hide) ends here.
        // The layout is reset while still shown so that the native window
        // takes the default size too and does not hand the old one back.
        FormClose();
        QDialog::setVisible(false);
    }
}

void TFormYesNo::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormYesNo::FormShow()
{
    QPalette palette = LabelTXT->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    LabelTXT->setPalette(palette);
    Answer = 0;

    if (Language == 'e') {
        BitBtnDa->setText(QStringLiteral("yes"));
        BitBtnNet->setText(QStringLiteral("no"));
    } else if (Language == 'r') {
        BitBtnDa->setText(QStringLiteral("да"));
        BitBtnNet->setText(QStringLiteral("нет"));
    }
    (DefaultButton == 'y' ? BitBtnDa : BitBtnNet)->setFocus();

    if (QuitMode)
        startQuitMode();
    else
        ShowImage(true);
    if (FitHeight)
        fitHeight();
}

void TFormYesNo::FormClose()
{
    // A walk cut short by an answer must not go on beeping unseen into the
    // next question.
    TimerSteps->stop();
    ShowImage(true);
    RestoreDEF();
    ResetNogi();
    QuitMode = false;
    if (QWindow *window = windowHandle())
        window->setFlag(Qt::WindowStaysOnTopHint, false);
}

void TFormYesNo::paintEvent(QPaintEvent *)
{
    if (m_stamp) {
        // White in a print leaves what the window shows as it is.
        QPainter painter(this);
        painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
        painter.drawPixmap(m_stamp->rect, m_stamp->picture, FootSourceRect);
        return;
    }
    FormPaint();
}

void TFormYesNo::FormPaint()
{
    const int cw = width();
    const int ch = height();
    QPainter painter(this);
    QPoint pen;
    // Each line stops one pixel short of its end point, which the next line
    // starts from; so the raised edge's top-right pixel is grey and its
    // bottom-left one white. The frame's lines are all level or upright.
    const auto lineTo = [&](int x, int y) {
        const QPoint to(x, y);
        const QPoint step((to.x() > pen.x()) - (to.x() < pen.x()), (to.y() > pen.y()) - (to.y() < pen.y()));
        if (!step.isNull())
            painter.drawLine(pen, to - step);
        pen = to;
    };
    painter.setPen(Qt::black);
    pen = QPoint(0, ch - 1);
    lineTo(0, 0);
    lineTo(cw - 1, 0);
    lineTo(cw - 1, ch - 1);
    lineTo(0, ch - 1);
    painter.setPen(Qt::white);
    pen = QPoint(1, ch - 2);
    lineTo(1, 1);
    lineTo(cw - 2, 1);
    painter.setPen(QColor(128, 128, 128));
    lineTo(cw - 2, ch - 2);
    lineTo(1, ch - 2);
}

void TFormYesNo::mousePressEvent(QMouseEvent *)
{
    FormMouseDown();
}

void TFormYesNo::FormMouseDown()
{
    // Borderless, so the body stands in for the title bar.
    if (QWindow *window = windowHandle())
        window->startSystemMove();
}

void TFormYesNo::keyPressEvent(QKeyEvent *event)
{
    // Only the two buttons answer; Esc does nothing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFormYesNo::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (watched == LabelTXT && type == QEvent::MouseButtonPress) {
        FormMouseDown();
        return true;
    }
    // Presses on the picture and the strip stay there, so that a double
    // click is not swallowed by a window move.
    if (watched == ImageXX || watched == PaintBoxR) {
        if (type == QEvent::MouseButtonPress)
            return true;
        if (type == QEvent::MouseButtonDblClick) {
            if (watched == ImageXX)
                ImageXXDblClick();
            else
                PaintBoxRDblClick();
            return true;
        }
    }
    if (watched == PaintBoxR && type == QEvent::Paint) {
        PaintBoxRPaint();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFormYesNo::BitBtnDaClick()
{
    BackLetter = 'g';
    Answer = 1;
    accept();
}

void TFormYesNo::BitBtnNetClick()
{
    BackLetter = 'g';
    Answer = 0;
    accept();
}

QString TFormYesNo::q1310(const QString &question) const
{
    qsizetype first = 0;
    qsizetype last = question.size();
    while (first < last && question.at(first).unicode() <= 32)
        ++first;
    while (last > first && question.at(last - 1).unicode() <= 32)
        --last;
    QString rest = question.mid(first, last - first);

    QString result;
    while (!rest.isEmpty()) {
        const qsizetype bar = rest.indexOf(QLatin1Char('|'));
        if (bar < 0) {
            result += rest;
            break;
        }
        result += rest.left(bar);
        rest.remove(0, bar + 1);
        if (!rest.isEmpty())
            result += QStringLiteral("\r\n");
    }
    return result;
}

void TFormYesNo::ShowImage(bool show)
{
    const QString name = QStringLiteral("image") + QLatin1Char(PictureLetter);
    for (QObject *child : children()) {
        auto *picture = qobject_cast<QLabel *>(child);
        if (!picture || picture->objectName().toLower() != name)
            continue;
        if (show) {
            ImageXX->setPixmap(transparentCopy(picture->pixmap()));
            ImageXX->setVisible(true);
        } else {
            ImageXX->setVisible(false);
        }
        return;
    }
}

void TFormYesNo::ImageXXDblClick()
{
    qsizetype position = 0;
    while (position < 4 && PictureCycle[position] != PictureLetter)
        ++position;
    PictureLetter = position + 1 < 4 ? PictureCycle[position + 1] : 'q';
    ShowImage(true);
}

void TFormYesNo::PaintBoxRPaint()
{
    if (!PaintBoxR->isVisible())
        return;
    const QPixmap texture = (BackLetter == 'r' ? ImageRLI : ImageGLI)->pixmap();
    // An empty texture would never advance the tiling.
    if (texture.isNull())
        return;
    QPainter painter(PaintBoxR);
    for (int x = 0; x < PaintBoxR->width(); x += texture.width())
        for (int y = 0; y < PaintBoxR->height(); y += texture.height())
            painter.drawPixmap(x, y, texture);
}

void TFormYesNo::PaintBoxRDblClick()
{
    BackLetter = BackLetter == 'g' ? 'r' : 'g';
    PaintBoxR->update();
}

void TFormYesNo::RestoreDEF()
{
    setWidth(this, 520);
    setWidth(BitBtnDa, 120);
    setWidth(BitBtnNet, 120);
    setLeft(BitBtnDa, width() - BitBtnDa->width() - 32);
    setLeft(BitBtnNet, BitBtnDa->x());
    setLeft(PaintBoxR, BitBtnDa->x() - 32);
    setWidth(PaintBoxR, width() - PaintBoxR->x() - 2);
    setLeft(ImageXX, 40);
    setLeft(LabelTXT, ImageXX->x() + ImageXX->width() + 16);
    setWidth(LabelTXT, PaintBoxR->x() - LabelTXT->x() - 24);

    setHeight(this, 120);
    setHeight(BitBtnDa, 33);
    setHeight(BitBtnNet, 33);
    setTop(BitBtnDa, (height() - 2 * BitBtnDa->height()) * 42 / 100);
    setTop(BitBtnNet, height() - BitBtnDa->y() - BitBtnNet->height());
    setHeight(PaintBoxR, height() - 4);
    setHeight(LabelTXT, height() - 2 * LabelTXT->y());
    setTop(ImageXX, (height() - ImageXX->height()) / 2);

    LabelTXT->setText(QStringLiteral("Вы действительно хотите удалить текущую запись?"));
    PictureLetter = 'q';
}

void TFormYesNo::ResetNogi()
{
    StepCount = 0;
    const qint32 h = height() * 60 / 100;
    RightFootRect = QRect(110, h + 20, 24, 24);
    LeftFootRect = QRect(86, h + 20, 24, 24);
    FootSourceRect = QRect(0, 0, 24, 24);
}

void TFormYesNo::SetWH(qint32 newWidth, qint32 newHeight, char centre)
{
    resize(newWidth, newHeight);
    setLeft(BitBtnDa, width() - BitBtnDa->width() - 16);
    setLeft(BitBtnNet, BitBtnDa->x());
    setTop(BitBtnDa, 16);
    setTop(BitBtnNet, BitBtnDa->y() + BitBtnDa->height() + 8);
    setLeft(PaintBoxR, BitBtnDa->x() - 16);
    setWidth(PaintBoxR, width() - PaintBoxR->x() - 2);
    setHeight(PaintBoxR, height() - 4);
    setWidth(LabelTXT, PaintBoxR->x() - LabelTXT->x() - 8);
    setHeight(LabelTXT, height() - 2 * LabelTXT->y());
    if (centre == 'y') {
        setTop(BitBtnDa, (height() - (BitBtnDa->height() + 8 + BitBtnNet->height())) / 2);
        setTop(BitBtnNet, BitBtnDa->y() + BitBtnDa->height() + 8);
        setTop(ImageXX, (height() - ImageXX->height()) / 2);
    }
}

void TFormYesNo::startQuitMode()
{
    ShowImage(false);
    LabelTXT->setText(Language == 'r' ? QStringLiteral("Уже уходите?") : QStringLiteral("Do you really want to quit?"));
    ResetNogi();
    TimerSteps->start();
}

void TFormYesNo::TimerStepsTimer()
{
    const bool right = StepCount % 2 == 0;
    QRect &rect = right ? RightFootRect : LeftFootRect;
    rect.translate(-20, -20);
    stampFootprint(rect, (right ? ImageFootR : ImageFootL)->pixmap());
    QApplication::beep();
    ++StepCount;
    if (StepCount > 5)
        TimerSteps->stop();
}

// A print goes straight onto what the window shows and is not part of its
// picture: Qt draws only from paint events, so the step gets one paint of its
// own, of the print's rectangle only and without the background filled in
// first. No other paint draws it again, so the next repaint of that part of
// the window erases it.
void TFormYesNo::stampFootprint(const QRect &rect, const QPixmap &picture)
{
    if (!isVisible())
        return;
    // Paints already asked for are done first, with their background, so
    // that they are not folded into the print's own.
    QEvent pending(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(this, &pending);
    m_stamp = Footprint{rect, picture};
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    repaint(rect);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    m_stamp.reset();
}

void TFormYesNo::fitHeight()
{
    // Measured on a throw-away label with the question's own font and
    // wrapping, so that the fitted height matches what LabelTXT shows.
    QLabel tlx(this);
    tlx.setObjectName(QStringLiteral("tlx"));
    tlx.setWordWrap(true);
    tlx.setAlignment(Qt::AlignCenter);
    tlx.setTextFormat(Qt::PlainText);
    tlx.setText(LabelTXT->text());
    const int textHeight = qMax(tlx.heightForWidth(LabelTXT->width()), 0);

    const int h = textHeight + 2 * LabelTXT->y();
    setHeight(this, h > 88 ? h + 16 : 88);
    setHeight(LabelTXT, height() - 2 * LabelTXT->y());
    // As in the other two layouts; left at 116 the strip would hang below a
    // shorter window over its frame.
    setHeight(PaintBoxR, height() - 4);
    setTop(BitBtnDa, (height() - BitBtnDa->height() - BitBtnNet->height() - 8) / 2);
    setTop(BitBtnNet, BitBtnDa->y() + BitBtnDa->height() + 8);
    setTop(ImageXX, (height() - ImageXX->height()) / 2);
}

bool AskYesNo(const QString &question, QObject *owner)
{
    auto *ownerWindow = qobject_cast<QWidget *>(owner);
    if (ownerWindow && !ownerWindow->isWindow())
        ownerWindow = nullptr;
    // Normally made at start-up; made here on first use otherwise, owned by
    // the window that asked.
    if (!FormYesNo)
        new TFormYesNo(ownerWindow);
    TFormYesNo *dialog = FormYesNo;

    QRect reference;
    if (ownerWindow)
        reference = platform::outerFrame(ownerWindow);
    else if (const QScreen *screen = QGuiApplication::primaryScreen())
        reference = screen->geometry();
    dialog->move(reference.x() + (reference.width() - dialog->width()) / 2,
                 reference.y() + (reference.height() - dialog->height()) / 2);

    const QString text = dialog->q1310(question);
    if (!text.isEmpty())
        dialog->LabelTXT->setText(text);
    else if (dialog->Language == 'e')
        dialog->LabelTXT->setText(QStringLiteral("Do you really want\r\nto delete this record?"));
    else
        dialog->LabelTXT->setText(QStringLiteral("Вы действительно хотите\r\nудалить текущую запись?"));

    dialog->exec();
    return dialog->Answer == 1;
}
