#pragma once

#include "record/measurement_table.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <limits>

// Shared by the table file tests: the small table of the golden files and a
// way to show a whole table as one comparable list.
inline MeasurementTable goldenTable()
{
    MeasurementTable table;
    table.appendRow({1, "09:05:07", "DC", "1.234", "V", "pass", {}});
    table.appendRow({2, "9:05:07 PM", "", "-0.012", "k*", "Fail", {}});
    table.appendRow({{}, "x", "AC", "<&\"'>", "\t\\", "a\r\nb", 7}, false);
    return table;
}

// Rows enough for a file of several megabytes, so that a writer's buffer grows
// and is handed over in more than one chunk: texts that repeat and texts seen
// once, texts that need quotes or escapes, numbers at their extremes and null.
inline MeasurementTable bigTable()
{
    MeasurementTable table;
    const std::optional<qint32> numbers[] = {
        std::numeric_limits<qint32>::min(), -1, 0, std::numeric_limits<qint32>::max(), {}};
    for (int i = 0; i < 120000; ++i) {
        const std::optional<qint32> no = i % 997 < 5 ? numbers[i % 997] : std::optional<qint32>(i + 1);
        const QString time = i % 7 ? QString::number(i) : QStringLiteral("%1 PM").arg(i % 1000);
        const QString value = i % 11 ? QString::number(i % 500) : QStringLiteral("<\"%1\"&>").arg(i);
        table.appendRow({no, time, i % 3 ? "DC" : "", value, i % 5 ? "V" : "k\\*", i % 2 ? "pass" : "Fail",
                         i % 13 ? std::optional<qint32>() : std::optional<qint32>(-i)},
                        i % 4 == 0);
    }
    return table;
}

// "No|Time|DC/AC|Value|Unit|Auto|NVal" per row, with "~" for a null field
// and "+" after a row in the change log.
inline QStringList dump(const MeasurementTable &table)
{
    QStringList rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        QStringList cells;
        for (int f = 0; f < MeasurementTable::FieldCount; ++f) {
            const QVariant v = table.field(r, f);
            cells << (v.isNull() ? QStringLiteral("~") : v.toString());
        }
        rows << cells.join('|') + (table.isLogged(r) ? "+" : "");
    }
    return rows;
}

inline QByteArray fileBytes(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeBytes(const QString &name, const QByteArray &bytes)
{
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
