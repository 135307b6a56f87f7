// Opens the calendar dialog on its own, as the end-to-end run needs it: the
// program creates the dialog but never shows it. Prints where day 20 lies
// in the dialog, then the date the dialog hands back when it closes.

#include "app/application.h"
#include "base/platform.h"
#include "ui/calendar.h"

#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    Application app(argc, argv);
    // A fixed today, so that the picture of the dialog does not change with the date.
    platform::now = [] { return QDateTime(QDate(2024, 5, 15), QTime(10, 0)); };

    TFormCalendar calendar;
    FormCalendar = &calendar;
    QTimer::singleShot(0, &calendar, [&calendar] {
        const CalendarLabel *day = DayLabels[20];
        if (!day)
            return;
        const QPoint centre = day->mapTo(&calendar, day->rect().center());
        std::printf("day20 %d %d\n", centre.x(), centre.y());
        std::fflush(stdout);
    });
    calendar.exec();
    std::printf("picked %d %04d-%02d-%02d\n", calendar.Picked ? 1 : 0, SelYear, SelMonth, SelDay);
    return 0;
}
