#include "table_xml_packet.h"

#include "file_progress.h"
#include "measurement_table.h"

#include <QIODevice>

#include <vector>

namespace TableXmlPacket {

namespace {

constexpr int kChunkBytes = 1 << 20;
constexpr int kProgressRows = 1 << 14;

// An attribute value as written: markup characters, line ends, tab and
// backslash as references; characters beyond 8 bits as numeric references;
// other control characters, which XML cannot carry at all, as "?".
QByteArray attributeValue(QStringView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case '<':
            out.append("&lt;");
            break;
        case '>':
            out.append("&gt;");
            break;
        case '&':
            out.append("&amp;");
            break;
        case '"':
            out.append("&quot;");
            break;
        case '\'':
            out.append("&apos;");
            break;
        case '\r':
            out.append("&#013;");
            break;
        case '\n':
            out.append("&#010;");
            break;
        case '\t':
            out.append("&#009;");
            break;
        case '\\':
            out.append("&#092;");
            break;
        default:
            if (c > 0xff)
                out.append("&#" + QByteArray::number(c) + ';');
            else if (c < 32)
                out.append('?');
            else
                out.append(char(c));
        }
    }
    return out;
}

void appendNumber(QByteArray &out, qint64 value)
{
    char digits[24];
    char *p = digits + sizeof digits;
    quint64 magnitude = value < 0 ? 0u - quint64(value) : quint64(value);
    do {
        *--p = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (value < 0)
        *--p = '-';
    out.append(p, digits + sizeof digits - p);
}

QByteArray metadata(const MeasurementTable &table, int rowCount)
{
    QByteArray out = QByteArrayLiteral(R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0">)"
                                       "<METADATA><FIELDS>");
    for (int f = 0; f < MeasurementTable::FieldCount; ++f) {
        out.append("<FIELD attrname=\"" + attributeValue(MeasurementTable::fieldName(f)) + '"');
        out.append(MeasurementTable::isIntegerField(f) ? " fieldtype=\"i4\"/>"
                                                       : " fieldtype=\"string\" WIDTH=\"20\"/>");
    }
    out.append("</FIELDS><PARAMS");
    bool first = true;
    for (int r = 0; r < rowCount; ++r) {
        if (!table.isLogged(r))
            continue;
        out.append(first ? " CHANGE_LOG=\"" : " ");
        first = false;
        appendNumber(out, r + 1);
        out.append(" 0 4");
    }
    if (!first)
        out.append('"');
    out.append("/></METADATA><ROWDATA>");
    return out;
}

} // namespace

bool write(QIODevice &out, const MeasurementTable &table, int rowCount, FileProgress *progress)
{
    ProgressScope scope(progress, rowCount);
    // Attribute names and escaped texts, each made once.
    QByteArray names[MeasurementTable::FieldCount];
    for (int f = 0; f < MeasurementTable::FieldCount; ++f)
        names[f] = ' ' + MeasurementTable::fieldName(f).toLatin1() + "=\"";
    std::vector<QByteArray> values(table.textIdEnd());
    std::vector<bool> escaped(values.size(), false);

    QByteArray chunk = metadata(table, rowCount);
    chunk.reserve(chunk.size() + kChunkBytes + 512);
    for (int r = 0; r < rowCount; ++r) {
        chunk.append(table.isLogged(r) ? "<ROW RowState=\"4\"" : "<ROW");
        for (int f = 0; f < MeasurementTable::FieldCount; ++f) {
            if (MeasurementTable::isIntegerField(f)) {
                const std::optional<qint32> v = table.integerField(r, f);
                if (!v)
                    continue;
                chunk.append(names[f]);
                appendNumber(chunk, *v);
            } else {
                const std::uint32_t id = table.textId(r, f);
                if (id == 0)
                    continue;
                if (!escaped[id]) {
                    values[id] = attributeValue(table.textOfId(id));
                    escaped[id] = true;
                }
                chunk.append(names[f]);
                chunk.append(values[id]);
            }
            chunk.append('"');
        }
        chunk.append("/>", 2);
        if (chunk.size() >= kChunkBytes) {
            if (out.write(chunk) != chunk.size())
                return false;
            chunk.resize(0);
        }
        if ((r + 1) % kProgressRows == 0)
            scope.advance(r + 1);
    }
    chunk.append("</ROWDATA></DATAPACKET>");
    return out.write(chunk) == chunk.size();
}

FileResult save(const QString &fileName, const MeasurementTable &table, int rowCount, FileProgress *progress)
{
    return saveFileSafely(fileName, [&](QIODevice &out) { return write(out, table, rowCount, progress); });
}

} // namespace TableXmlPacket
