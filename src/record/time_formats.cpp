#include "time_formats.h"

namespace {

bool isLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// The long format minus its time-zone fields ("t" runs outside quotes) and
// the blanks that joined them.
QString withoutTimeZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t')) {
            while (!out.isEmpty() && out.back() == QLatin1Char(' '))
                out.chop(1);
            while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t'))
                ++i;
            continue;
        }
        out += c;
    }
    return out.trimmed();
}

} // namespace

QString timeSeparator(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::ShortFormat);
    int i = 0;
    while (i < format.size() && format[i] != QLatin1Char('h') && format[i] != QLatin1Char('H'))
        ++i;
    while (i < format.size() && (format[i] == QLatin1Char('h') || format[i] == QLatin1Char('H')))
        ++i;
    QString separator;
    for (; i < format.size() && !isLetter(format[i]) && format[i] != QLatin1Char('\''); ++i)
        separator += format[i];
    return separator.isEmpty() ? QStringLiteral(":") : separator;
}

QString directTimeText(const QTime &time, const QLocale &locale)
{
    const QString sep = timeSeparator(locale);
    const auto two = [](int n) { return QString::number(n).rightJustified(2, QLatin1Char('0')); };
    return two(time.hour()) + sep + two(time.minute()) + sep + two(time.second());
}

QString longTimeText(const QTime &time, const QLocale &locale)
{
    return locale.toString(time, withoutTimeZone(locale.timeFormat(QLocale::LongFormat)));
}
