#include "ui/calendar.h"

#include "base/platform.h"
#include "ui/uiplatform.h"

#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>
#include <QWindow>

#include <algorithm>

TFormCalendar *FormCalendar = nullptr;
quint16 SelYear = 0;
quint16 SelMonth = 0;
quint16 SelDay = 0;
std::array<QPointer<CalendarLabel>, 32> DayLabels;

namespace {

// The years the date encoding accepts.
constexpr int minYear = 1;
constexpr int maxYear = 9999;

QDate today()
{
    return platform::now().date();
}

void setColors(QWidget *widget, const QColor &background, const QColor &text)
{
    QPalette palette = widget->palette();
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        widget->setAutoFillBackground(true);
    }
    palette.setColor(QPalette::WindowText, text);
    widget->setPalette(palette);
}

void setBold(QWidget *widget)
{
    QFont font = widget->font();
    font.setBold(true);
    widget->setFont(font);
}

QFrame *makeBevel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *bevel = new QFrame(parent);
    bevel->setObjectName(QLatin1String(name));
    bevel->setGeometry(geometry);
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setLineWidth(1);
    return bevel;
}

CalendarLabel *makeImage(QWidget *parent, const char *name, const QRect &geometry, const QString &picture)
{
    auto *image = new CalendarLabel(parent);
    image->setObjectName(QLatin1String(name));
    image->setGeometry(geometry);
    image->setPixmap(QPixmap(picture));
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return image;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QRect &geometry, const QString &caption)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

// A panel with a raised outer bevel and a lowered inner one, like a sunken
// button face.
CalendarLabel *makePanel(QWidget *parent, const char *name, const QRect &geometry, const QString &caption,
                         const QColor &color)
{
    auto *panel = new CalendarLabel(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setGeometry(geometry);
    panel->setText(caption);
    panel->setAlignment(Qt::AlignCenter);
    panel->setFrameStyle(QFrame::Box | QFrame::Raised);
    setColors(panel, color, Qt::black);
    return panel;
}

struct MonthButton {
    const char *name;
    const char *caption;
    QColor color;
};

const MonthButton monthButtons[12] = {
    {"PanelJan", " январь ", QColor(188, 182, 203)}, {"PanelFeb", "февраль", QColor(180, 194, 205)},
    {"PanelMar", "март", QColor(177, 205, 207)},     {"PanelApr", "апрель", QColor(174, 210, 202)},
    {"PanelMay", "май", QColor(176, 208, 191)},      {"PanelJun", "июнь", QColor(177, 207, 179)},
    {"PanelJul", "июль", QColor(191, 207, 177)},     {"PanelAug", "август", QColor(200, 207, 177)},
    {"PanelSep", "сентябрь", QColor(206, 207, 177)}, {"PanelOct", "октябрь", QColor(209, 193, 175)},
    {"PanelNov", "ноябрь", QColor(209, 177, 175)},   {"PanelDec", "декабрь", QColor(208, 176, 189)},
};

constexpr int monthTops[12] = {16, 37, 58, 79, 100, 121, 142, 163, 184, 205, 226, 247};

} // namespace

CalendarLabel::CalendarLabel(QWidget *parent) : QLabel(parent)
{
    setMouseTracking(true);
}

void CalendarLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        m_leftDown = true;
    emit mouseDown(event->button());
}

void CalendarLabel::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = event->button() == Qt::LeftButton && m_leftDown && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        m_leftDown = false;
    emit mouseUp(event->button());
    if (click)
        emit clicked();
}

void CalendarLabel::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() == Qt::NoButton)
        emit mouseMoved();
}

TFormCalendar::TFormCalendar(QWidget *parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("FormCalendar"));
    setWindowTitle(QStringLiteral("Календарь"));
    setFixedSize(433, 329);
    setMouseTracking(true);
    setFont(platform::uiFont());
    setColors(this, QColor(170, 170, 170), Qt::black);

    // Frames go in first so that the panels they surround paint over them.
    Bevel2 = makeBevel(this, "Bevel2", QRect(0, 0, 433, 329));
    // The window's own mouse-move handler sees the margin the frame covers.
    Bevel2->setAttribute(Qt::WA_TransparentForMouseEvents);

    PanelDown = new CalendarLabel(this);
    PanelDown->setObjectName(QStringLiteral("PanelDown"));
    PanelDown->setGeometry(8, 8, 417, 313);
    // Lowered outside, raised inside: an etched edge.
    PanelDown->setFrameStyle(QFrame::Box | QFrame::Sunken);

    BevelToday = makeBevel(PanelDown, "BevelToday", QRect(368, 276, 26, 26));
    BevelToday->hide();
    ImageLTD = makeImage(PanelDown, "ImageLTD", QRect(8, 279, 12, 20),
                         QStringLiteral(":/calendar/triangle_left_pressed.png"));
    ImageLTD->hide();
    Bevel1 = makeBevel(PanelDown, "Bevel1", QRect(151, 15, 243, 251));
    ImageMonthPtr
        = makeImage(PanelDown, "ImageMonthPtr", QRect(105, 16, 50, 20), QStringLiteral(":/calendar/month_pointer.png"));
    ImageLTU = makeImage(PanelDown, "ImageLTU", QRect(8, 279, 12, 20), QStringLiteral(":/calendar/triangle_left.png"));
    ImageRTD = makeImage(PanelDown, "ImageRTD", QRect(110, 279, 12, 20),
                         QStringLiteral(":/calendar/triangle_right_pressed.png"));
    ImageRTD->hide();
    ImageRTU
        = makeImage(PanelDown, "ImageRTU", QRect(110, 279, 12, 20), QStringLiteral(":/calendar/triangle_right.png"));
    ImageToday = makeImage(PanelDown, "ImageToday", QRect(372, 281, 17, 17), QStringLiteral(":/calendar/cherries.png"));
    ImageToday->setToolTip(QStringLiteral("сегодня"));

    CalendarLabel **panels[12] = {&PanelJan, &PanelFeb, &PanelMar, &PanelApr, &PanelMay, &PanelJun,
                                  &PanelJul, &PanelAug, &PanelSep, &PanelOct, &PanelNov, &PanelDec};
    for (int i = 0; i < 12; ++i) {
        *panels[i] = makePanel(PanelDown, monthButtons[i].name, QRect(24, monthTops[i], 81, 20),
                               QString::fromUtf8(monthButtons[i].caption), monthButtons[i].color);
    }

    PanelDays = new CalendarLabel(PanelDown);
    PanelDays->setObjectName(QStringLiteral("PanelDays"));
    PanelDays->setGeometry(152, 16, 241, 249);
    setColors(PanelDays, QColor(180, 180, 180), Qt::black);

    BevelSelect = makeBevel(PanelDays, "BevelSelect", QRect(0, 0, 18, 18));
    BevelSelect->hide();

    QLabel **weekdays[7] = {&LabelMo, &LabelTu, &LabelWe, &LabelTh, &LabelFr, &LabelSa, &LabelSu};
    const char *weekdayNames[7] = {"LabelMo", "LabelTu", "LabelWe", "LabelTh", "LabelFr", "LabelSa", "LabelSu"};
    const char *weekdayCaptions[7] = {"Пн", "Вт", "Ср", "Чт", "Пт", "Сб", "Вс"};
    for (int i = 0; i < 7; ++i) {
        QLabel *label = makeLabel(PanelDays, weekdayNames[i], QRect(30 + 24 * i, 32, 19, 16),
                                  QString::fromUtf8(weekdayCaptions[i]));
        label->setAlignment(Qt::AlignCenter);
        setBold(label);
        setColors(label, QColor(), i == 6 ? QColor(247, 216, 215) : QColor(231, 231, 231));
        *weekdays[i] = label;
    }

    PanelYear = makePanel(PanelDown, "PanelYear", QRect(24, 279, 81, 20), QString(), QColor(218, 218, 218));
    setBold(PanelYear);

    QLabel **weekNumbers[5] = {&LabelN1, &LabelN2, &LabelN3, &LabelN4, &LabelN5};
    const char *weekNumberNames[5] = {"LabelN1", "LabelN2", "LabelN3", "LabelN4", "LabelN5"};
    QFont small(QStringLiteral("Small Fonts"));
    small.setPixelSize(9);
    for (int i = 0; i < 5; ++i) {
        QLabel *label = makeLabel(PanelDays, weekNumberNames[i], QRect(212, 65 + 24 * i, 13, 13), QString());
        label->setFont(small);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setColors(label, QColor(), QColor(128, 128, 128));
        *weekNumbers[i] = label;
    }

    LabelHor1 = makeLabel(PanelDays, "LabelHor1", QRect(16, 86, 217, 19), QString());
    setColors(LabelHor1, QColor(197, 197, 197), Qt::black);
    LabelHor2 = makeLabel(PanelDays, "LabelHor2", QRect(16, 134, 217, 19), QString());
    setColors(LabelHor2, QColor(197, 197, 197), Qt::black);
    LabelVert = makeLabel(PanelDays, "LabelVert", QRect(0, 1, 19, 247), QString());
    setColors(LabelVert, QColor(176, 176, 176), Qt::black);
    LabelVert->hide();

    // Stacking in the day area, bottom to top: stripes, column highlight,
    // hover frame, headers and week numbers; the day labels come above all.
    LabelVert->lower();
    LabelHor2->lower();
    LabelHor1->lower();
    BevelSelect->stackUnder(LabelMo);

    EditY = new QLineEdit(PanelDown);
    EditY->setObjectName(QStringLiteral("EditY"));
    EditY->setGeometry(168, 278, 81, 21);
    EditY->setMaxLength(4);
    EditY->hide();
    EditY->installEventFilter(this);
    ImageY = makeImage(PanelDown, "ImageY", QRect(149, 280, 17, 17), QStringLiteral(":/calendar/chevron.png"));
    ImageY->hide();
    Image1 = makeImage(PanelDown, "Image1", QRect(397, 3, 17, 17), QStringLiteral(":/calendar/cross.png"));
    Image1->setToolTip(QStringLiteral("закрыть"));

    connect(PanelJan, &CalendarLabel::clicked, this, &TFormCalendar::PanelJanClick);
    connect(PanelFeb, &CalendarLabel::clicked, this, &TFormCalendar::PanelFebClick);
    connect(PanelMar, &CalendarLabel::clicked, this, &TFormCalendar::PanelMarClick);
    connect(PanelApr, &CalendarLabel::clicked, this, &TFormCalendar::PanelAprClick);
    connect(PanelMay, &CalendarLabel::clicked, this, &TFormCalendar::PanelMayClick);
    connect(PanelJun, &CalendarLabel::clicked, this, &TFormCalendar::PanelJunClick);
    connect(PanelJul, &CalendarLabel::clicked, this, &TFormCalendar::PanelJulClick);
    connect(PanelAug, &CalendarLabel::clicked, this, &TFormCalendar::PanelAugClick);
    connect(PanelSep, &CalendarLabel::clicked, this, &TFormCalendar::PanelSepClick);
    connect(PanelOct, &CalendarLabel::clicked, this, &TFormCalendar::PanelOctClick);
    connect(PanelNov, &CalendarLabel::clicked, this, &TFormCalendar::PanelNovClick);
    connect(PanelDec, &CalendarLabel::clicked, this, &TFormCalendar::PanelDecClick);
    connect(ImageLTU, &CalendarLabel::mouseDown, this, &TFormCalendar::ImageLTUMouseDown);
    connect(ImageRTU, &CalendarLabel::mouseDown, this, &TFormCalendar::ImageRTUMouseDown);
    // Hiding the normal picture on the press hands the release to the pressed
    // one, which holds the mouse until then.
    connect(ImageLTD, &CalendarLabel::mouseUp, this, &TFormCalendar::ImageLTUMouseUp);
    connect(ImageRTD, &CalendarLabel::mouseUp, this, &TFormCalendar::ImageRTUMouseUp);
    connect(PanelYear, &CalendarLabel::clicked, this, &TFormCalendar::PanelYearClick);
    connect(ImageY, &CalendarLabel::clicked, this, &TFormCalendar::ImageYClick);
    connect(ImageToday, &CalendarLabel::clicked, this, &TFormCalendar::ImageTodayClick);
    connect(ImageToday, &CalendarLabel::mouseMoved, this, &TFormCalendar::ImageTodayMouseMove);
    connect(Image1, &CalendarLabel::clicked, this, &TFormCalendar::Image1Click);
    connect(PanelDays, &CalendarLabel::mouseMoved, this, &TFormCalendar::PanelDaysMouseMove);
    connect(PanelDays, &CalendarLabel::mouseDown, this, &TFormCalendar::PanelDaysMouseDown);
    connect(PanelDown, &CalendarLabel::mouseMoved, this, &TFormCalendar::PanelDownMouseMove);
    connect(PanelDown, &CalendarLabel::mouseDown, this, &TFormCalendar::PanelDownMouseDown);

    FormCreate();
}

void TFormCalendar::FormCreate()
{
    // Qt widgets paint through a back buffer already, so rebuilding the grid
    // does not flicker.
    const QDate now = today();
    SelYear = quint16(now.year());
    SelMonth = quint16(now.month());
    SelDay = quint16(now.day());
}

void TFormCalendar::FormShow()
{
    Picked = false;
    // A date the grid cannot show is treated like an unset one.
    if (SelYear < minYear || SelYear > maxYear || SelMonth < 1 || SelMonth > 12 || SelDay == 0) {
        const QDate now = today();
        SelYear = quint16(now.year());
        SelMonth = quint16(now.month());
        SelDay = quint16(now.day());
    }
    ShowDay();
}

void TFormCalendar::FormMouseMove()
{
    BevelToday->hide();
}

void TFormCalendar::PanelJanClick()
{
    monthClick(1);
}
void TFormCalendar::PanelFebClick()
{
    monthClick(2);
}
void TFormCalendar::PanelMarClick()
{
    monthClick(3);
}
void TFormCalendar::PanelAprClick()
{
    monthClick(4);
}
void TFormCalendar::PanelMayClick()
{
    monthClick(5);
}
void TFormCalendar::PanelJunClick()
{
    monthClick(6);
}
void TFormCalendar::PanelJulClick()
{
    monthClick(7);
}
void TFormCalendar::PanelAugClick()
{
    monthClick(8);
}
void TFormCalendar::PanelSepClick()
{
    monthClick(9);
}
void TFormCalendar::PanelOctClick()
{
    monthClick(10);
}
void TFormCalendar::PanelNovClick()
{
    monthClick(11);
}
void TFormCalendar::PanelDecClick()
{
    monthClick(12);
}

void TFormCalendar::ImageLTUMouseDown()
{
    ImageLTU->hide();
    ImageLTD->show();
    ImageLTD->grabMouse();
}

void TFormCalendar::ImageLTUMouseUp()
{
    ImageLTD->releaseMouse();
    ImageLTU->show();
    ImageLTD->hide();
    stepYear(-1);
}

void TFormCalendar::ImageRTUMouseDown()
{
    ImageRTU->hide();
    ImageRTD->show();
    ImageRTD->grabMouse();
}

void TFormCalendar::ImageRTUMouseUp()
{
    ImageRTD->releaseMouse();
    ImageRTU->show();
    ImageRTD->hide();
    stepYear(+1);
}

void TFormCalendar::PanelYearClick()
{
    ImageY->show();
    EditY->show();
    EditY->setText(QString::number(SelYear));
}

bool TFormCalendar::EditYKeyPress(const QString &text)
{
    // Digits and control characters such as Backspace pass; everything else
    // typed is dropped.
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        const char16_t code = c.unicode();
        return (code >= 32 && code <= 47) || code > 57;
    });
}

void TFormCalendar::ImageYClick()
{
    bool ok = false;
    const int typed = EditY->text().toInt(&ok);
    const int year = ok ? typed : today().year();
    // Only the years the date routines accept can be shown.
    SelYear = quint16(std::clamp(year, minYear, maxYear));
    PanelYear->setText(QString::number(SelYear));
    DisposeDays();
    EditY->hide();
    ImageY->hide();
}

void TFormCalendar::ImageTodayClick()
{
    const QDate now = today();
    SelYear = quint16(now.year());
    SelMonth = quint16(now.month());
    SelDay = quint16(now.day());
    ShowDay();
}

void TFormCalendar::ImageTodayMouseMove()
{
    BevelToday->show();
}

void TFormCalendar::Image1Click()
{
    close();
}

void TFormCalendar::DayClick(CalendarLabel *day)
{
    SelDay = quint16(day->text().toUInt());
    Picked = true;
    close();
}

void TFormCalendar::DayMouseMove(CalendarLabel *day)
{
    BevelSelect->move(day->x() + 2, day->y() - 1);
    BevelSelect->show();
    LabelVert->move(day->x() + 1, LabelVert->y());
    LabelVert->show();
}

void TFormCalendar::PanelDaysMouseMove()
{
    BevelSelect->hide();
    BevelToday->hide();
    LabelVert->hide();
}

void TFormCalendar::PanelDaysMouseDown()
{
    dragWindow();
}

void TFormCalendar::PanelDownMouseMove()
{
    BevelToday->hide();
}

void TFormCalendar::PanelDownMouseDown()
{
    dragWindow();
}

void TFormCalendar::DisposeDays()
{
    const QDate first(SelYear, SelMonth, 1);
    int column = first.dayOfWeek();
    const int dayCount = first.daysInMonth();
    int rowTop = LabelMo->y() + 32;
    const int columnOrigin = LabelMo->x() - 2;

    // Every old label goes before any new one is made, so the names never collide.
    for (QPointer<CalendarLabel> &entry : DayLabels) {
        // Destroyed at once rather than later, since the new day1 to day31 follow.
        delete entry.data();
        entry = nullptr;
    }

    for (int n = 1; n <= dayCount; ++n) {
        auto *label = new CalendarLabel(PanelDays);
        label->setObjectName(QStringLiteral("day%1").arg(n));
        label->setText(QString::number(n));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setColors(label, QColor(), Qt::black);
        label->setGeometry((column - 1) * 24 + columnOrigin, rowTop, 16, 16);
        label->setFixedSize(16, 16);
        connect(label, &CalendarLabel::clicked, this, [this, label] { DayClick(label); });
        connect(label, &CalendarLabel::mouseMoved, this, [this, label] { DayMouseMove(label); });
        label->show();
        DayLabels[n] = label;
        if (++column > 7) {
            column = 1;
            rowTop += 24;
        }
    }

    // Rows past the fifth carry no number; December's run on past the year's end.
    const qint32 week = WeekOfYear(EncodeDate(SelYear, SelMonth, 1));
    QLabel *const weekNumbers[5] = {LabelN1, LabelN2, LabelN3, LabelN4, LabelN5};
    for (int i = 0; i < 5; ++i)
        weekNumbers[i]->setText(QString::number(week + i));
}

void TFormCalendar::ShowDay()
{
    if (CalendarLabel *panel = monthPanel(SelMonth))
        ImageMonthPtr->move(ImageMonthPtr->x(), panel->y());
    PanelYear->setText(QString::number(SelYear));
    DisposeDays();
    if (SelDay < DayLabels.size() && DayLabels[SelDay])
        setColors(DayLabels[SelDay], QColor(), Qt::white);
}

void TFormCalendar::setVisible(bool visible)
{
    // Centred before the native window exists: moved later, from the show
    // event, a borderless window under X11 can leave Qt believing it sits
    // at 0,0, and a drag then makes it jump by its own distance from there.
    if (visible && !isVisible())
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            move(screen->geometry().center() - rect().center());
    QDialog::setVisible(visible);
}

void TFormCalendar::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    FormShow();
}

void TFormCalendar::mouseMoveEvent(QMouseEvent *event)
{
    if (event->buttons() == Qt::NoButton)
        FormMouseMove();
}

void TFormCalendar::keyPressEvent(QKeyEvent *event)
{
    // Only a day or the cross closes the calendar.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TFormCalendar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == EditY && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Delete is an editing key, not a typed character, even where the
        // platform hands it over as character 127.
        if (key->key() != Qt::Key_Delete && !key->text().isEmpty() && EditYKeyPress(key->text()))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

CalendarLabel *TFormCalendar::monthPanel(int month) const
{
    CalendarLabel *const panels[12] = {PanelJan, PanelFeb, PanelMar, PanelApr, PanelMay, PanelJun,
                                       PanelJul, PanelAug, PanelSep, PanelOct, PanelNov, PanelDec};
    if (month < 1 || month > 12)
        return nullptr;
    return panels[month - 1];
}

void TFormCalendar::monthClick(int month)
{
    ImageMonthPtr->move(ImageMonthPtr->x(), monthPanel(month)->y());
    SelMonth = quint16(month);
    SelYear = quint16(std::clamp(PanelYear->text().toInt(), minYear, maxYear));
    DisposeDays();
}

void TFormCalendar::stepYear(int step)
{
    // The arrows stop at the first and last year the date routines accept.
    SelYear = quint16(std::clamp(PanelYear->text().toInt() + step, minYear, maxYear));
    PanelYear->setText(QString::number(SelYear));
    DisposeDays();
}

void TFormCalendar::dragWindow()
{
    if (QWindow *handle = window()->windowHandle())
        handle->startSystemMove();
}
