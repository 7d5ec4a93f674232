#include "conversion.h"

#include <limits>

bool tryStrToInt(const QString &text, int &value)
{
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        magnitude = magnitude * 10 + (c.unicode() - '0');
        if (magnitude > qint64(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    const qint64 result = negative ? -magnitude : magnitude;
    if (result > std::numeric_limits<int>::max())
        return false;
    value = static_cast<int>(result);
    return true;
}

int strToInt(const QString &text)
{
    int value = 0;
    if (!tryStrToInt(text, value))
        throw ConversionError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}
