#include "link/replay/link_recording.h"

#include "record/safe_file.h"

#include <QFile>

ReportList::ReportList(const QList<QByteArray> &reports)
{
    for (const QByteArray &report : reports)
        append(report);
}

void ReportList::append(QByteArrayView report)
{
    m_bytes.append(report);
    m_ends.append(quint32(m_bytes.size()));
}

QByteArray ReportList::at(qsizetype i) const
{
    const quint32 begin = i > 0 ? m_ends[i - 1] : 0;
    return m_bytes.mid(begin, m_ends[i] - begin);
}

QList<QByteArray> ReportList::toList() const
{
    QList<QByteArray> list;
    list.reserve(size());
    for (qsizetype i = 0; i < size(); ++i)
        list << at(i);
    return list;
}

void ReportList::clear()
{
    m_bytes.clear();
    m_ends.clear();
}

namespace {

// The blanks QByteArray::trimmed() takes away.
bool isBlank(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

enum class LineKind { Empty, Report, Other };

// A line of blank-separated hex pairs fills report; blank lines and # comments are empty.
LineKind readLine(QByteArrayView line, QByteArray &report)
{
    report.resize(0);
    const char *p = line.data();
    const qsizetype n = line.size();
    qsizetype i = 0;
    while (i < n && isBlank(p[i]))
        ++i;
    if (i == n || p[i] == '#')
        return LineKind::Empty;
    while (i < n) {
        if (i + 1 >= n || (i + 2 < n && !isBlank(p[i + 2])))
            return LineKind::Other; // not a pair
        const int high = hexValue(p[i]), low = hexValue(p[i + 1]);
        if (high < 0 || low < 0 || report.size() >= LinkRecording::MaxReportBytes)
            return LineKind::Other;
        report.append(char(high << 4 | low));
        i += 2;
        while (i < n && isBlank(p[i]))
            ++i;
    }
    return LineKind::Report;
}

} // namespace

LinkRecording LinkRecording::parse(const QByteArray &content)
{
    LinkRecording recording;
    recording.kind = Kind::Reports;
    QByteArray report; // one buffer for every line
    const QByteArrayView text(content);
    for (qsizetype pos = 0; pos < text.size();) {
        qsizetype end = text.indexOf('\n', pos);
        if (end < 0)
            end = text.size();
        switch (readLine(text.sliced(pos, end - pos), report)) {
        case LineKind::Empty:
            break;
        case LineKind::Report:
            recording.reports.append(report);
            break;
        case LineKind::Other:
            recording.kind = Kind::SerialBytes;
            recording.reports.clear();
            recording.serialBytes = content;
            return recording;
        }
        pos = end + 1;
    }
    return recording;
}

bool LinkRecording::load(const QString &path, LinkRecording &out, QString &error)
{
    const auto fail = [&](const QString &reason) {
        error = path + QStringLiteral(": ") + reason;
        return false;
    };
    if (const FileResult readable = checkReadableFile(path); !readable)
        return fail(readable.reason);
    const QString tooLarge =
        QStringLiteral("The file is larger than %1 MiB, the most a replay reads.").arg(MaxFileBytes >> 20);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(file.errorString() + '.');
    if (file.size() > MaxFileBytes)
        return fail(tooLarge);
    // Read to the end rather than to the size seen: a file that grew since is still held to the limit.
    constexpr qint64 kReadBytes = 1 << 20;
    QByteArray content;
    content.reserve(file.size() + 1);
    for (;;) {
        const qsizetype kept = content.size();
        const qint64 want = qMin(kReadBytes, MaxFileBytes + 1 - kept);
        content.resize(kept + want);
        const qint64 got = file.read(content.data() + kept, want);
        if (got < 0)
            return fail(file.errorString() + '.');
        content.truncate(kept + got);
        if (content.size() > MaxFileBytes)
            return fail(tooLarge);
        if (got == 0)
            break;
    }
    out = parse(content);
    return true;
}

QByteArray LinkRecording::reportLine(const QByteArray &report)
{
    return report.toHex(' ').toUpper();
}
