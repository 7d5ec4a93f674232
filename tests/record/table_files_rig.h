#pragma once

#include "record/measurement_table.h"

#include <QFile>
#include <QString>
#include <QStringList>

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
