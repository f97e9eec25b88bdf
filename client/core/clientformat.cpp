#include "client/core/clientformat.h"

#include <QRegularExpression>

#include <cmath>
#include <optional>

namespace {

constexpr int kSignificantDigits = 15;
const QString kTimeFormat = QStringLiteral("HH:mm:ss");
const QString kShortTimeFormat = QStringLiteral("HH:mm");

std::optional<QLocale>& pinnedLocale()
{
    static std::optional<QLocale> locale;
    return locale;
}

// The decimal digits of |value| to 15 significant digits, and the power of
// ten of the first one: 2.675 gives "267500000000000" and 0.
struct DecimalDigits
{
    QString digits;
    int exponent = 0;
};

DecimalDigits decimalDigits(double value)
{
    const QString scientific =
        QString::number(std::fabs(value), 'e', kSignificantDigits - 1); // d.dddde+xx
    const qsizetype e = scientific.indexOf(QLatin1Char('e'));
    DecimalDigits result;
    result.digits = scientific.left(e).remove(QLatin1Char('.'));
    result.exponent = scientific.mid(e + 1).toInt();
    return result;
}

// |value| rounded half away from zero to `decimals` places, as plain digits
// with the decimal point at the end minus `decimals`.
QString roundedDigits(double value, int decimals)
{
    const DecimalDigits d = decimalDigits(value);
    const int keep = d.exponent + 1 + decimals; // digits left of the cut
    if (keep < 0)
        return QString(decimals + 1, QLatin1Char('0'));
    QString digits = d.digits.left(keep);
    digits = digits.leftJustified(keep, QLatin1Char('0'));
    const bool roundUp = keep < d.digits.size() && d.digits.at(keep) >= QLatin1Char('5');
    if (roundUp) {
        qsizetype i = digits.size() - 1;
        while (i >= 0 && digits.at(i) == QLatin1Char('9'))
            digits[i--] = QLatin1Char('0');
        if (i >= 0)
            digits[i] = QChar(digits.at(i).unicode() + 1);
        else
            digits.prepend(QLatin1Char('1'));
    }
    // Leading zeros so that there is at least one integer digit.
    if (digits.size() < decimals + 1)
        digits = digits.rightJustified(decimals + 1, QLatin1Char('0'));
    return digits;
}

bool isAllZeros(const QString& digits)
{
    for (const QChar c : digits) {
        if (c != QLatin1Char('0'))
            return false;
    }
    return true;
}

} // namespace

QLocale ClientFormat::locale()
{
    QLocale locale = pinnedLocale().value_or(QLocale::system());
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator |
                            QLocale::OmitLeadingZeroInExponent);
    return locale;
}

void ClientFormat::setLocale(const QLocale& locale)
{
    pinnedLocale() = locale;
}

void ClientFormat::useSystemLocale()
{
    pinnedLocale().reset();
}

QString ClientFormat::decimalSeparator()
{
    return locale().decimalPoint();
}

QString ClientFormat::toText(double value)
{
    if (value == 0) // also -0, which would show its sign
        return QStringLiteral("0");
    return locale().toString(value, 'g', kSignificantDigits);
}

QString ClientFormat::formatFloat(const QString& pattern, double value)
{
    static const QRegularExpression kPattern(QStringLiteral("^([0#]*)(?:\\.([0#]*))?$"));
    const QRegularExpressionMatch match = kPattern.match(pattern);
    if (!match.hasMatch() || !std::isfinite(value))
        return toText(value);
    const QString fraction = match.captured(2);
    const int minDecimals = int(fraction.count(QLatin1Char('0')));
    const int maxDecimals = int(fraction.size());
    const int minIntegerDigits = int(match.captured(1).count(QLatin1Char('0')));

    QString digits = roundedDigits(value, maxDecimals);
    QString integerPart = digits.left(digits.size() - maxDecimals);
    QString fractionPart = digits.right(maxDecimals);
    while (fractionPart.size() > minDecimals && fractionPart.endsWith(QLatin1Char('0')))
        fractionPart.chop(1);
    while (integerPart.size() > 1 && integerPart.startsWith(QLatin1Char('0')))
        integerPart.remove(0, 1);
    if (integerPart == QLatin1String("0") && minIntegerDigits == 0)
        integerPart.clear();
    integerPart = integerPart.rightJustified(minIntegerDigits, QLatin1Char('0'));

    QString text = integerPart;
    if (!fractionPart.isEmpty())
        text += decimalSeparator() + fractionPart;
    if (value < 0 && !isAllZeros(integerPart + fractionPart))
        text.prepend(locale().negativeSign());
    return text;
}

double ClientFormat::textToDouble(const QString& text, bool* ok)
{
    bool converted = false;
    const double value = locale().toDouble(text.trimmed(), &converted);
    // The locale also reads "nan" and "inf"; neither is a count or a price,
    // and stored they would spoil every sum they enter.
    converted = converted && std::isfinite(value);
    if (ok)
        *ok = converted;
    return converted ? value : 0.0;
}

QString ClientFormat::shortDateFormat()
{
    static const QRegularExpression kTwoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    QString format = locale().dateFormat(QLocale::ShortFormat);
    // An unconfigured machine's C locale spells the month ("8 Dec 2026"): the
    // terminals' users type and read day.month.year, and the date separator
    // must be one of theirs.
    if (format.contains(QLatin1String("MMM")))
        return QStringLiteral("dd.MM.yyyy");
    format.replace(kTwoDigitYear, QStringLiteral("yyyy"));
    return format;
}

QString ClientFormat::dateToText(const QDate& date)
{
    return date.isValid() ? locale().toString(date, shortDateFormat()) : QString();
}

QDate ClientFormat::textToDate(const QString& text, bool* ok)
{
    const QDate date = locale().toDate(text.trimmed(), shortDateFormat());
    if (ok)
        *ok = date.isValid();
    return date;
}

QString ClientFormat::timeToText(const QTime& time)
{
    return time.isValid() ? time.toString(kTimeFormat) : QString();
}

QString ClientFormat::dateTimeToText(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return QString();
    const QString date = dateToText(dateTime.date());
    if (dateTime.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + timeToText(dateTime.time());
}

QDateTime ClientFormat::textToDateTime(const QString& text, bool* ok)
{
    const QString trimmed = text.trimmed();
    const QLocale locale = ClientFormat::locale();
    const QString dateFormat = shortDateFormat();
    QDateTime dateTime;
    for (const QString& timeFormat : {kTimeFormat, kShortTimeFormat}) {
        dateTime = locale.toDateTime(trimmed, dateFormat + QLatin1Char(' ') + timeFormat);
        if (dateTime.isValid())
            break;
    }
    if (!dateTime.isValid()) {
        const QDate date = locale.toDate(trimmed, dateFormat);
        if (date.isValid())
            dateTime = QDateTime(date, QTime(0, 0));
    }
    if (ok)
        *ok = dateTime.isValid();
    return dateTime;
}
