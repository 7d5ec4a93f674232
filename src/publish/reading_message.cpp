#include "reading_message.h"

#include "meter/reading.h"
#include "record/measurement_table.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

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

QByteArray ReadingMessage::json(const TableRow &row, const Reading &reading, const QString &high,
                                const QString &low) const
{
    QJsonObject o;
    o.insert(QLatin1String("seq"), seq);
    o.insert(QLatin1String("time"), time.toUTC().toString(Qt::ISODateWithMs));
    o.insert(QLatin1String("no"), row.No ? QJsonValue(*row.No) : QJsonValue());
    o.insert(QLatin1String("display"), row.Value);
    o.insert(QLatin1String("unit"), row.Unit);
    o.insert(QLatin1String("function"), row.DcAc);
    o.insert(QLatin1String("range"),
             reading.RangeText == QLatin1String("MANU") ? QStringLiteral("manual") : QStringLiteral("auto"));
    o.insert(QLatin1String("verdict"), row.Auto);
    o.insert(QLatin1String("value"), jsonNumber(row.Value, decimalSeparator));
    o.insert(QLatin1String("high"), jsonNumber(high, decimalSeparator));
    o.insert(QLatin1String("low"), jsonNumber(low, decimalSeparator));
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}
