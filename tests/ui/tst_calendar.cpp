#include "ui/calendar.h"

#include "base/errors.h"
#include "base/platform.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHash>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

const QDateTime fakeNow(QDate(2006, 1, 15), QTime(10, 30));

TDateTime at(int year, int month, int day, int hour = 0, int minute = 0)
{
    return EncodeDate(year, month, day) + (hour * 60 + minute) / 1440.0;
}

CalendarLabel *day(int n)
{
    return n >= 1 && n <= 31 ? DayLabels[n].data() : nullptr;
}

QList<int> whiteDays()
{
    QList<int> white;
    for (int n = 1; n <= 31; ++n) {
        if (day(n) && day(n)->palette().color(QPalette::WindowText) == QColor(Qt::white))
            white << n;
    }
    return white;
}

QPoint inWindow(QWidget *widget, QPoint local)
{
    return widget->mapTo(widget->window(), local);
}

// Through the window, so that mouse grabs and stacking decide who gets the events.
void clickInWindow(QWidget *widget)
{
    QWindow *handle = widget->window()->windowHandle();
    const QPoint pos = inWindow(widget, widget->rect().center());
    QTest::mousePress(handle, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, pos);
}

void moveInWindow(QWidget *widget, QPoint local)
{
    QTest::mouseMove(widget->window()->windowHandle(), inWindow(widget, local));
}

// Runs the dialog modally; the step drives the real dialog once it is up.
void runModal(TFormCalendar &form, const std::function<void(TFormCalendar *)> &step)
{
    bool stepped = false;
    QTimer::singleShot(0, [&] {
        auto *shown = qobject_cast<TFormCalendar *>(QApplication::activeModalWidget());
        QVERIFY(shown);
        stepped = true;
        step(shown);
    });
    form.exec();
    QVERIFY(stepped);
}

using Act = std::function<void(TFormCalendar *)>;

// Types into a field: <del>, <home>, <right> and <esc> are keys, the rest
// characters. Delete and Esc carry the text X11 gives them.
void typeKeys(QWidget *field, const QString &keys)
{
    struct Key {
        Qt::Key code;
        QString text;
    };
    static const QHash<QString, Key> named{{QStringLiteral("del"), {Qt::Key_Delete, QString(QChar(127))}},
                                           {QStringLiteral("home"), {Qt::Key_Home, QString()}},
                                           {QStringLiteral("right"), {Qt::Key_Right, QString()}},
                                           {QStringLiteral("esc"), {Qt::Key_Escape, QString(QChar(27))}}};
    static const QRegularExpression token(QStringLiteral("<(\\w+)>|."));
    for (const QRegularExpressionMatch &match : token.globalMatch(keys)) {
        if (match.hasCaptured(1)) {
            QVERIFY2(named.contains(match.captured(1)), qPrintable(match.captured(0)));
            const Key key = named.value(match.captured(1));
            QTest::sendKeyEvent(QTest::Click, field, key.code, key.text, Qt::NoModifier);
        } else {
            QTest::keyClicks(field, match.captured(0));
        }
    }
}

// Esc leaves the calendar open, wherever the keyboard is.
void escapeStaysOpen(TFormCalendar *shown, QWidget *focus)
{
    if (focus) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Escape);
    } else {
        QTest::keyClick(shown->windowHandle(), Qt::Key_Escape);
    }
    QVERIFY2(shown->isVisible(), "Esc closed the calendar");
}

void select(int year, int month, int dayOfMonth)
{
    SelYear = quint16(year);
    SelMonth = quint16(month);
    SelDay = quint16(dayOfMonth);
}

} // namespace

class TestCalendar : public QObject {
    Q_OBJECT

    std::function<QDateTime()> m_savedClock;

private slots:
    void initTestCase()
    {
        m_savedClock = platform::now;
        platform::now = [] { return fakeNow; };
    }

    void cleanupTestCase() { platform::now = m_savedClock; }

    void addDays_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<TDateTime>("moment");
        QTest::addColumn<QDate>("expected");

        QTest::newRow("into March, common year") << 1 << at(2001, 2, 28) << QDate(2001, 3, 1);
        QTest::newRow("into 29 February") << 1 << at(2000, 2, 28) << QDate(2000, 2, 29);
        QTest::newRow("into the next year") << 1 << at(2001, 12, 31) << QDate(2002, 1, 1);
        QTest::newRow("back from March, 1900 not leap") << -1 << at(1900, 3, 1) << QDate(1900, 2, 28);
        QTest::newRow("back from March, 2000 leap") << -1 << at(2000, 3, 1) << QDate(2000, 2, 29);
        QTest::newRow("back into the previous year") << -1 << at(2002, 1, 1) << QDate(2001, 12, 31);
        QTest::newRow("zero drops the time of day") << 0 << at(2003, 5, 15, 18, 30) << QDate(2003, 5, 15);
        QTest::newRow("a leap year ahead") << 366 << at(2004, 1, 1) << QDate(2005, 1, 1);
        QTest::newRow("evening, back") << -15 << at(2006, 1, 15, 18, 0) << QDate(2005, 12, 31);
        QTest::newRow("last day accepted") << 1 << at(9999, 12, 30) << QDate(9999, 12, 31);
        QTest::newRow("first day accepted") << -1 << at(1, 1, 2) << QDate(1, 1, 1);
    }

    void addDays()
    {
        QFETCH(int, count);
        QFETCH(TDateTime, moment);
        QFETCH(QDate, expected);
        QCOMPARE(AddDays(count, moment), double(dateTimeEpoch().daysTo(expected)));
    }

    void addDaysRefusesYearsOutOfRange()
    {
        QVERIFY_THROWS_EXCEPTION(ConvertError, AddDays(1, at(9999, 12, 31)));
        QVERIFY_THROWS_EXCEPTION(ConvertError, AddDays(-1, at(1, 1, 1)));
    }

    void weekOfYear_data()
    {
        QTest::addColumn<TDateTime>("date");
        QTest::addColumn<int>("expected");

        QTest::newRow("1 January, Sunday") << at(2006, 1, 1) << 1;
        QTest::newRow("1 January, Saturday, at noon") << at(2000, 1, 1, 12, 0) << 1;
        QTest::newRow("Sunday before the second Monday, late") << at(2001, 1, 7, 23, 59) << 1;
        QTest::newRow("second Monday") << at(2001, 1, 8) << 2;
        QTest::newRow("Monday after a Sunday start") << at(2006, 1, 2) << 2;
        QTest::newRow("31 December, Monday start") << at(2001, 12, 31) << 53;
        QTest::newRow("31 December, leap year from Sunday") << at(2012, 12, 31) << 54;
    }

    void weekOfYear()
    {
        QFETCH(TDateTime, date);
        QFETCH(int, expected);
        QCOMPARE(WeekOfYear(date), expected);
    }

    void weekOfYearFollowsTheMondayRule()
    {
        // Years starting on every weekday, leap and common, and both ends of the range,
        // against the rule walked one day at a time.
        for (int year : {1, 1900, 2000, 2001, 2002, 2003, 2004, 2005, 2006, 2010, 2012, 9999}) {
            int week = 1;
            for (QDate d(year, 1, 1); d.year() == year; d = d.addDays(1)) {
                if (d.dayOfWeek() == Qt::Monday && d.dayOfYear() > 1)
                    ++week;
                if (WeekOfYear(at(d.year(), d.month(), d.day())) != week)
                    QFAIL(qPrintable(d.toString(Qt::ISODate)));
            }
        }
    }

    void grid_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("days");
        QTest::addColumn<QPoint>("firstAt");
        QTest::addColumn<QPoint>("lastAt");
        QTest::addColumn<int>("firstWeek");

        QTest::newRow("January 2006, Sunday start") << 2006 << 1 << 31 << QPoint(172, 64) << QPoint(52, 184) << 1;
        QTest::newRow("February 2000, leap") << 2000 << 2 << 29 << QPoint(52, 64) << QPoint(52, 160) << 6;
        QTest::newRow("February 1900, not leap") << 1900 << 2 << 28 << QPoint(100, 64) << QPoint(76, 160) << 5;
        QTest::newRow("February 2001") << 2001 << 2 << 28 << QPoint(100, 64) << QPoint(76, 160) << 5;
        QTest::newRow("May 2010, 31 days from Saturday") << 2010 << 5 << 31 << QPoint(148, 64) << QPoint(28, 184) << 18;
        QTest::newRow("April 2012, 30 days from Sunday") << 2012 << 4 << 30 << QPoint(172, 64) << QPoint(28, 184) << 14;
        QTest::newRow("February 2010, four rows") << 2010 << 2 << 28 << QPoint(28, 64) << QPoint(172, 136) << 6;
        QTest::newRow("December 2012 runs past the year")
            << 2012 << 12 << 31 << QPoint(148, 64) << QPoint(28, 184) << 49;
        QTest::newRow("January of year 1") << 1 << 1 << 31 << QPoint(28, 64) << QPoint(76, 160) << 1;
    }

    void grid()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, days);
        QFETCH(QPoint, firstAt);
        QFETCH(QPoint, lastAt);
        QFETCH(int, firstWeek);

        TFormCalendar form;
        select(year, month, 1);
        form.show();

        QVERIFY(day(days));
        QVERIFY(!day(days + 1));
        QCOMPARE(day(1)->pos(), firstAt);
        QCOMPARE(day(days)->pos(), lastAt);
        QCOMPARE(day(days)->objectName(), QStringLiteral("day%1").arg(days));
        QCOMPARE(day(days)->parentWidget(), form.PanelDays);
        QCOMPARE(form.PanelYear->text(), QString::number(year));
        // Each day 24 pixels right of the one before; a Monday starts the next row.
        for (int n = 1; n < days; ++n) {
            const QPoint here = day(n)->pos();
            QCOMPARE(day(n + 1)->pos(), here.x() == 172 ? QPoint(28, here.y() + 24) : here + QPoint(24, 0));
        }
        const QLabel *weeks[5] = {form.LabelN1, form.LabelN2, form.LabelN3, form.LabelN4, form.LabelN5};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(weeks[i]->text(), QString::number(firstWeek + i));
    }

    void rebuildLeavesOneLabelPerDay()
    {
        TFormCalendar form;
        form.show();
        form.PanelMarClick();
        form.PanelFebClick();
        QCOMPARE(form.PanelDays->findChildren<CalendarLabel *>(QRegularExpression(QStringLiteral("^day\\d+$"))).size(),
                 28);
        form.PanelDecClick();
        QCOMPARE(form.PanelDays->findChildren<CalendarLabel *>(QStringLiteral("day31")).size(), 1);
    }

    void showUsesTodayForUnsetDates_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("dayOfMonth");
        QTest::addColumn<bool>("today");
        QTest::addColumn<QList<int>>("white");

        QTest::newRow("set by the caller") << 1999 << 7 << 20 << false << QList<int>{20};
        QTest::newRow("day past the month's end") << 2001 << 2 << 30 << false << QList<int>{};
        QTest::newRow("year unset") << 0 << 7 << 20 << true << QList<int>{15};
        QTest::newRow("day unset") << 1999 << 7 << 0 << true << QList<int>{15};
        QTest::newRow("month 13") << 1999 << 13 << 20 << true << QList<int>{15};
        QTest::newRow("year 10000") << 10000 << 7 << 20 << true << QList<int>{15};
    }

    void showUsesTodayForUnsetDates()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, dayOfMonth);
        QFETCH(bool, today);
        QFETCH(QList<int>, white);

        TFormCalendar form;
        form.Picked = true;
        select(year, month, dayOfMonth);
        form.show();

        QVERIFY(!form.Picked);
        const QDate now = fakeNow.date();
        QCOMPARE(int(SelYear), today ? now.year() : year);
        QCOMPARE(int(SelMonth), today ? now.month() : month);
        QCOMPARE(int(SelDay), today ? now.day() : dayOfMonth);
        QCOMPARE(form.ImageMonthPtr->y(), form.PanelJan->y() + 21 * (SelMonth - 1));
        QCOMPARE(whiteDays(), white);
    }

    void everyShowingCentresOnTheScreen()
    {
        TFormCalendar form;
        const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
        for (int showing = 0; showing < 2; ++showing) {
            form.show();
            QCOMPARE(form.geometry().center(), centre);
            // Dragged away, then closed: the next showing is centred again.
            form.move(7, 9);
            form.hide();
        }
    }

    void closing_data()
    {
        QTest::addColumn<Act>("act");
        QTest::addColumn<bool>("picked");
        QTest::addColumn<QDate>("selected");

        QTest::newRow("day click picks the date") << Act([](TFormCalendar *shown) {
            shown->PanelMarClick();
            QTest::mouseClick(shown->findChild<QWidget *>(QStringLiteral("day31")), Qt::LeftButton);
        }) << true << QDate(2004, 3, 31);
        QTest::newRow("cross keeps the month shown") << Act([](TFormCalendar *shown) {
            shown->PanelSepClick();
            clickInWindow(shown->ImageRTU);
            QTest::mouseClick(shown->Image1, Qt::LeftButton);
        }) << false << QDate(2005, 9, 3);
        QTest::newRow("escape does nothing, then the cross") << Act([](TFormCalendar *shown) {
            escapeStaysOpen(shown, nullptr);
            QTest::mouseClick(shown->Image1, Qt::LeftButton);
        }) << false << QDate(2004, 6, 3);
        QTest::newRow("escape in the year field, then a day") << Act([](TFormCalendar *shown) {
            clickInWindow(shown->PanelYear);
            escapeStaysOpen(shown, shown->EditY);
            QVERIFY(shown->EditY->isVisible());
            QTest::mouseClick(shown->findChild<QWidget *>(QStringLiteral("day5")), Qt::LeftButton);
        }) << true << QDate(2004, 6, 5);
    }

    void closing()
    {
        QFETCH(Act, act);
        QFETCH(bool, picked);
        QFETCH(QDate, selected);

        TFormCalendar form;
        select(2004, 6, 3);
        runModal(form, act);
        QCOMPARE(form.Picked, picked);
        QVERIFY(!form.isVisible());
        QCOMPARE(QDate(SelYear, SelMonth, SelDay), selected);

        // The next showing starts unpicked again.
        runModal(form, [](TFormCalendar *shown) {
            QVERIFY(!shown->Picked);
            QTest::mouseClick(shown->findChild<QWidget *>(QStringLiteral("day1")), Qt::LeftButton);
        });
        QVERIFY(form.Picked);
    }

    void monthChangeClearsHighlight()
    {
        TFormCalendar form;
        select(2006, 1, 10);
        form.show();
        QCOMPARE(whiteDays(), QList<int>{10});

        clickInWindow(form.PanelFeb);
        QCOMPARE(int(SelMonth), 2);
        QCOMPARE(form.ImageMonthPtr->y(), form.PanelFeb->y());
        QCOMPARE(whiteDays(), QList<int>{});
        clickInWindow(form.ImageLTU);
        QCOMPARE(whiteDays(), QList<int>{});

        clickInWindow(form.ImageToday);
        QCOMPARE(QDate(SelYear, SelMonth, SelDay), fakeNow.date());
        QCOMPARE(form.ImageMonthPtr->y(), form.PanelJan->y());
        QCOMPARE(whiteDays(), QList<int>{fakeNow.date().day()});
    }

    void yearChange_data()
    {
        QTest::addColumn<int>("startYear");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("expected");

        QTest::newRow("left arrow") << 2006 << "left" << 2005;
        QTest::newRow("right arrow") << 2006 << "right" << 2007;
        QTest::newRow("left arrow stops at 1") << 1 << "left" << 1;
        QTest::newRow("right arrow stops at 9999") << 9999 << "right" << 9999;
        QTest::newRow("typed year") << 2006 << "type:1812" << 1812;
        QTest::newRow("typed 0000 becomes 1") << 2006 << "type:0000" << 1;
        QTest::newRow("empty is the current year") << 1990 << "type:" << 2006;
        QTest::newRow("pasted letters are the current year") << 1990 << "paste:abc" << 2006;
        QTest::newRow("pasted negative becomes 1") << 1990 << "paste:-5" << 1;
        QTest::newRow("delete empties the selected field") << 1990 << "keys:<del>" << 2006;
        QTest::newRow("delete after the cursor") << 2006 << "keys:<home><right><del>" << 206;
        QTest::newRow("delete, then a digit") << 2006 << "keys:<home><del>1" << 1006;
        QTest::newRow("escape in the field does nothing") << 1990 << "keys:<esc>1812" << 1812;
    }

    void yearChange()
    {
        QFETCH(int, startYear);
        QFETCH(QString, action);
        QFETCH(int, expected);

        TFormCalendar form;
        select(startYear, 2, 1);
        form.show();

        if (action == QLatin1String("left") || action == QLatin1String("right")) {
            const bool left = action == QLatin1String("left");
            CalendarLabel *normal = left ? form.ImageLTU : form.ImageRTU;
            CalendarLabel *pressed = left ? form.ImageLTD : form.ImageRTD;
            const QPoint pos = inWindow(normal, normal->rect().center());
            QTest::mousePress(form.windowHandle(), Qt::LeftButton, {}, pos);
            QVERIFY(pressed->isVisible());
            QVERIFY(!normal->isVisible());
            QCOMPARE(form.PanelYear->text(), QString::number(startYear));
            // Released off the picture: the step still happens and the normal look returns.
            QTest::mouseRelease(form.windowHandle(), Qt::LeftButton, {}, pos + QPoint(0, -40));
            QVERIFY(normal->isVisible());
            QVERIFY(!pressed->isVisible());
        } else {
            clickInWindow(form.PanelYear);
            QVERIFY(form.EditY->isVisible());
            QCOMPARE(form.EditY->text(), QString::number(startYear));
            form.EditY->selectAll();
            const QString text = action.section(u':', 1);
            if (action.startsWith(QLatin1String("type")))
                QTest::keyClicks(form.EditY, text.isEmpty() ? QStringLiteral("\b") : text);
            else if (action.startsWith(QLatin1String("keys")))
                typeKeys(form.EditY, text);
            else
                form.EditY->setText(text);
            clickInWindow(form.ImageY);
            QVERIFY(!form.EditY->isVisible());
            QVERIFY(!form.ImageY->isVisible());
        }

        // Nothing in year entry closes the calendar.
        QVERIFY(form.isVisible());
        QCOMPARE(int(SelYear), expected);
        QCOMPARE(form.PanelYear->text(), QString::number(expected));
        const int februaryDays = QDate(expected, 2, 1).daysInMonth();
        QVERIFY(day(februaryDays));
        QVERIFY(!day(februaryDays + 1));
    }

    void yearFieldRefusesLetters()
    {
        TFormCalendar form;
        form.show();
        form.PanelYearClick();
        form.EditY->clear();
        QTest::keyClicks(form.EditY, QStringLiteral("1a9 -./:"));
        QTest::sendKeyEvent(QTest::Click, form.EditY, Qt::Key_unknown, QStringLiteral("ф"), Qt::NoModifier);
        QTest::keyClicks(form.EditY, QStringLiteral("8z"));
        QCOMPARE(form.EditY->text(), QStringLiteral("198"));
        QTest::keyClick(form.EditY, Qt::Key_Backspace);
        QTest::keyClicks(form.EditY, QStringLiteral("0734"));
        QCOMPARE(form.EditY->text(), QStringLiteral("1907"));

        // Enter does not apply the year; only the chevron does.
        QTest::keyClick(form.EditY, Qt::Key_Return);
        QVERIFY(form.isVisible());
        QVERIFY(form.EditY->isVisible());
        QCOMPARE(int(SelYear), fakeNow.date().year());
    }

    void hoverMarks()
    {
        TFormCalendar form;
        select(2006, 1, 1);
        form.show();

        CalendarLabel *tenth = day(10);
        moveInWindow(tenth, QPoint(8, 8));
        QVERIFY(form.BevelSelect->isVisible());
        QCOMPARE(form.BevelSelect->pos(), tenth->pos() + QPoint(2, -1));
        QVERIFY(form.LabelVert->isVisible());
        QCOMPARE(form.LabelVert->x(), tenth->x() + 1);
        // Between two days of the highlighted column the marks stay.
        moveInWindow(form.PanelDays, QPoint(tenth->x() + 8, tenth->y() + 20));
        QVERIFY(form.LabelVert->isVisible());
        moveInWindow(form.PanelDays, QPoint(4, 4));
        QVERIFY(!form.BevelSelect->isVisible());
        QVERIFY(!form.LabelVert->isVisible());

        moveInWindow(form.ImageToday, QPoint(8, 8));
        QVERIFY(form.BevelToday->isVisible());
        moveInWindow(form.PanelDown, QPoint(300, 290));
        QVERIFY(!form.BevelToday->isVisible());
        moveInWindow(form.ImageToday, QPoint(8, 8));
        // The window's margin, under the outer frame.
        QTest::mouseMove(form.windowHandle(), QPoint(3, 3));
        QVERIFY(!form.BevelToday->isVisible());
    }

    void picturesFitTheirControls()
    {
        TFormCalendar form;
        for (const char *name :
             {"ImageLTU", "ImageLTD", "ImageRTU", "ImageRTD", "ImageMonthPtr", "ImageY", "ImageToday", "Image1"}) {
            const auto *image = form.findChild<QLabel *>(QLatin1String(name));
            QVERIFY2(image, name);
            QCOMPARE(image->pixmap().size(), image->size());
        }
    }
};

QTEST_MAIN(TestCalendar)
#include "tst_calendar.moc"
