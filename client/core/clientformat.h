#pragma once

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QString>

// The client's number and date formats: every conversion between numbers or
// dates and text on the terminal goes through here, so that what a screen
// shows, what a user types and what a field reads as text agree.
//
// The formats are those of the locale the person's machine is set up with
// (Latvian: comma decimal, "dd.MM.yyyy"), never with group separators, and
// with four-digit years even where the locale's short date has two, because
// a two-digit year would read back as 19xx. Tests and the program may pin
// another locale with setLocale().
class ClientFormat final
{
public:
    ClientFormat() = delete;

    static QLocale locale();
    static void setLocale(const QLocale& locale);
    // Back to following the machine's locale.
    static void useSystemLocale();

    static QString decimalSeparator();

    // A number as a person reads it: up to 15 significant digits, no
    // trailing zeros, no group separators ("1234,5" in Latvian).
    static QString toText(double value);
    // A number by a digit pattern made of '0' (a digit always shown) and '#'
    // (a digit shown when not a trailing zero), as in "0.000" or "0.00".
    // Halves round away from zero on the number as written with 15 digits,
    // so 2.675 with "0.00" gives 2,68 and not the 2,67 of its binary value.
    static QString formatFloat(const QString& pattern, double value);
    // Text in the client's number format; surrounding blanks are allowed,
    // group separators are not, and so are "nan", "inf" and numbers beyond
    // a double ("1e400"): only finite decimal numbers convert (a finite
    // exponent form such as "1e3" does). On failure returns 0 and sets *ok
    // false.
    static double textToDouble(const QString& text, bool* ok = nullptr);

    static QString shortDateFormat();
    static QString dateToText(const QDate& date);
    static QDate textToDate(const QString& text, bool* ok = nullptr);
    static QString timeToText(const QTime& time);
    // The date alone at midnight, else date and time.
    static QString dateTimeToText(const QDateTime& dateTime);
    static QDateTime textToDateTime(const QString& text, bool* ok = nullptr);
};
