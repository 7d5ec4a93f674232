#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

// The user's time separator, read from the locale's time format (":" in most
// locales, "." in some); ":" when the format shows none.
QString timeSeparator(const QLocale &locale);

// "hh:mm:ss" on the 24-hour clock with the locale's separator: 09:05:07.
QString directTimeText(const QTime &time, const QLocale &locale);

// The locale's long time format without its time zone: 9:05:07 PM in a
// 12-hour locale, 21:05:07 in most others.
QString longTimeText(const QTime &time, const QLocale &locale);
