#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// Reports kept end to end in one buffer: a million short reports cost their bytes and an offset each, not an
// allocation each.
class ReportList {
public:
    ReportList() = default;
    explicit ReportList(const QList<QByteArray> &reports);

    void append(QByteArrayView report);
    qsizetype size() const { return m_ends.size(); }
    bool isEmpty() const { return m_ends.isEmpty(); }
    QByteArray at(qsizetype i) const;
    QList<QByteArray> toList() const;
    void clear();

    bool operator==(const ReportList &other) const
    {
        return m_ends == other.m_ends && m_bytes == other.m_bytes;
    }
    bool operator!=(const ReportList &other) const { return !(*this == other); }

private:
    QByteArray m_bytes;
    QList<quint32> m_ends; // where each report ends in m_bytes; files are far below 4 GiB
};

// A recording of link traffic, in one of two formats told apart by content:
//
//   report file   text, one HID input report a line, report ID first, hex byte pairs separated by blanks
//                 (at most MaxReportBytes pairs); blank lines and lines starting with # are ignored
//   serial bytes  anything else: the raw bytes as they came over the serial line
//
// Files come from outside, so load() reads regular files only (a device or a pipe may never end or never
// answer) of at most MaxFileBytes. Memory then stays below three times that: the file's bytes, and for a
// report file its reports (a byte and at most five bytes of bookkeeping per three bytes of text).
struct LinkRecording {
    enum class Kind { SerialBytes, Reports };

    // About half a day of USB reports (a 27-byte line every 10 ms) or six days of the serial line at
    // 240 bytes a second; a longer capture is cut before it is replayed.
    static constexpr qint64 MaxFileBytes = qint64(128) << 20;
    // A hidraw read delivers at most this many bytes; a longer line is no report.
    static constexpr int MaxReportBytes = 16384;

    Kind kind = Kind::SerialBytes;
    QByteArray serialBytes; // Kind::SerialBytes
    ReportList reports;     // Kind::Reports

    // A text whose lines are all hex byte pairs, blank or # comments is a report file.
    static LinkRecording parse(const QByteArray &content);
    // False with a message naming the file when it cannot be read, is no regular file or is too large.
    static bool load(const QString &path, LinkRecording &out, QString &error);

    // One report line: "00 F7 2B 30 31 32 33 20 31".
    static QByteArray reportLine(const QByteArray &report);
};
