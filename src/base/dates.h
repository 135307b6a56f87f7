#pragma once

#include "base/datetime.h"

// The calendar's date routines; the sign-in counts a password's validity
// with AddDays. Pure functions, free of any window.

// The date count days after (before, when negative) the moment's date, at 00:00.
TDateTime AddDays(qint32 count, TDateTime moment);

// 1 plus the Mondays after 1 January of the date's year up to the date: 1 to 54.
qint32 WeekOfYear(TDateTime date);
