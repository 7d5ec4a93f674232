#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>

struct Reading;
struct TableRow;

// What one recorded row says to subscribers, as one JSON object:
//
//   seq       1, 2, ... within the run; a gap is a loss
//   time      when it was recorded, ISO 8601 UTC with milliseconds
//   no        the row's number
//   value     the display as a number; null when it shows none (overload)
//   display   the value text as shown
//   unit, function, verdict   as the row has them
//   range     "auto" or "manual"
//   high, low the limits in force as numbers; null when a field holds none
//
// The schema is docs/mqtt-reading.schema.json.
struct ReadingMessage {
    qint64 seq = 0;
    QDateTime time;
    QString decimalSeparator; // of the display and limit texts

    QByteArray json(const TableRow &row, const Reading &reading, const QString &high,
                    const QString &low) const;
};

// A text of the display or a limit field as a JSON number; null when it is none.
QJsonValue jsonNumber(const QString &text, const QString &decimalSeparator);
