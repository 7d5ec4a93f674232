#include "reading_message.h"

#include "meter/reading.h"
#include "record/measurement_table.h"

#include <QLocale>

#include <cmath>

namespace {

// A text as a JSON string: its UTF-8 with quotes, backslashes and control characters escaped.
void appendString(QByteArray &out, const QString &text)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text.toUtf8()) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendNumber(QByteArray &out, const QString &text, const QString &decimalSeparator)
{
    const QJsonValue number = jsonNumber(text, decimalSeparator);
    out += number.isNull() ? QByteArrayLiteral("null")
                           : QByteArray::number(number.toDouble(), 'g', QLocale::FloatingPointShortest);
}

} // namespace

QJsonValue jsonNumber(const QString &text, const QString &decimalSeparator)
{
    QString plain = text.trimmed();
    if (!decimalSeparator.isEmpty() && decimalSeparator != QLatin1String("."))
        plain.replace(decimalSeparator, QLatin1String("."));
    bool ok = false;
    const double number = plain.toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return QJsonValue();
    return number;
}

// Written by hand in the order subscribers read it: a QJsonObject costs several times the rest of the row.
QByteArray ReadingMessage::json(const TableRow &row, const Reading &reading, const QString &high,
                                const QString &low) const
{
    QByteArray out;
    out.reserve(256);
    out += "{\"seq\":" + QByteArray::number(seq);
    out += ",\"time\":\"" + time.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '"';
    out += ",\"no\":" + (row.No ? QByteArray::number(*row.No) : QByteArrayLiteral("null"));
    out += ",\"value\":";
    appendNumber(out, row.Value, decimalSeparator);
    out += ",\"display\":";
    appendString(out, row.Value);
    out += ",\"unit\":";
    appendString(out, row.Unit);
    out += ",\"function\":";
    appendString(out, row.DcAc);
    out += reading.RangeText == QLatin1String("MANU") ? ",\"range\":\"manual\"" : ",\"range\":\"auto\"";
    out += ",\"verdict\":";
    appendString(out, row.Auto);
    out += ",\"high\":";
    appendNumber(out, high, decimalSeparator);
    out += ",\"low\":";
    appendNumber(out, low, decimalSeparator);
    out += '}';
    return out;
}
