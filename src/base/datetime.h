#pragma once

#include <QDate>
#include <QDateTime>

// A date-time as the program stores it: days since 30 December 1899 00:00,
// the fraction being the time of day.
using TDateTime = double;

// Day 0 of TDateTime.
inline QDate dateTimeEpoch()
{
    return QDate(1899, 12, 30);
}

// Composes a date (years 1 to 9999) at 00:00; throws ConvertError when the
// date does not exist.
TDateTime EncodeDate(int year, int month, int day);

// Splits a date-time into its calendar date.
void DecodeDate(TDateTime value, int &year, int &month, int &day);

TDateTime toTDateTime(const QDateTime &value);
QDateTime toQDateTime(TDateTime value);

// The current local date and time, read through platform::now.
TDateTime Now();
