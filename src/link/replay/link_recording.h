#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A recording of link traffic, in one of two formats told apart by content:
//
//   report file   text, one HID input report a line, report ID first, hex byte pairs separated by blanks;
//                 blank lines and lines starting with # are ignored
//   serial bytes  anything else: the raw bytes as they came over the serial line
struct LinkRecording {
    enum class Kind { SerialBytes, Reports };

    Kind kind = Kind::SerialBytes;
    QByteArray serialBytes;    // Kind::SerialBytes
    QList<QByteArray> reports; // Kind::Reports

    // A file whose lines are all hex byte pairs, blank or # comments is a report file.
    static LinkRecording parse(const QByteArray &content);
    // False with a message when the file cannot be read.
    static bool load(const QString &path, LinkRecording &out, QString &error);

    // One report line: "00 F7 2B 30 31 32 33 20 31".
    static QByteArray reportLine(const QByteArray &report);
};
