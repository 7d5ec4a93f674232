#include "locale_service.h"

#include <QFile>
#include <QRegularExpression>

namespace {

// The system default locale name from the distribution's locale file:
// LC_NUMERIC wins over LANG. Empty when neither file names one.
QString systemLocaleName()
{
    for (const char *path : {"/etc/default/locale", "/etc/locale.conf"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QString lang;
        QString numeric;
        static const QRegularExpression line(
            QStringLiteral("^\\s*(LANG|LC_NUMERIC)\\s*=\\s*\"?([^\"\\s]*)\"?"));
        while (!file.atEnd()) {
            const auto m = line.match(QString::fromLocal8Bit(file.readLine()));
            if (!m.hasMatch())
                continue;
            (m.captured(1) == QLatin1String("LANG") ? lang : numeric) = m.captured(2);
        }
        if (!numeric.isEmpty())
            return numeric;
        if (!lang.isEmpty())
            return lang;
    }
    return {};
}

} // namespace

QString SystemLocaleService::userDecimalSeparator() const
{
    return QLocale::system().decimalPoint();
}

QString SystemLocaleService::systemDecimalSeparator() const
{
    const QString name = systemLocaleName();
    if (name.isEmpty())
        return {};
    // "C" and "POSIX" are real locales with "." as separator.
    const QString base = name.section(QLatin1Char('.'), 0, 0);
    if (base == QLatin1String("C") || base == QLatin1String("POSIX"))
        return QStringLiteral(".");
    return QLocale(base).decimalPoint();
}

QLocale SystemLocaleService::userLocale() const
{
    return QLocale::system();
}
