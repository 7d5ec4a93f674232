#include "link/replay/link_recording.h"

#include <QFile>

namespace {

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// The bytes of a line of blank-separated hex pairs; false when the line is anything else.
bool parseReportLine(const QByteArray &line, QByteArray &report)
{
    report.clear();
    for (const QByteArray &token : line.simplified().split(' ')) {
        if (token.size() != 2 || !isHexDigit(token[0]) || !isHexDigit(token[1]))
            return false;
        report += QByteArray::fromHex(token);
    }
    return true;
}

} // namespace

LinkRecording LinkRecording::parse(const QByteArray &content)
{
    LinkRecording recording;
    recording.kind = Kind::Reports;
    for (const QByteArray &raw : content.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QByteArray report;
        if (!parseReportLine(line, report)) {
            recording.kind = Kind::SerialBytes;
            recording.reports.clear();
            recording.serialBytes = content;
            return recording;
        }
        recording.reports << report;
    }
    return recording;
}

bool LinkRecording::load(const QString &path, LinkRecording &out, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    out = parse(file.readAll());
    return true;
}

QByteArray LinkRecording::reportLine(const QByteArray &report)
{
    return report.toHex(' ').toUpper();
}
