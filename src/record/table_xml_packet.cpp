#include "table_xml_packet.h"

#include "chunk_writer.h"
#include "file_progress.h"
#include "measurement_table.h"

#include <QIODevice>

#include <algorithm>

#include <vector>

namespace TableXmlPacket {

namespace {

constexpr int kProgressRows = 1 << 14;

// A character written as itself.
bool isPlain(char16_t c)
{
    return c >= 32 && c <= 0xff && c != '<' && c != '>' && c != '&' && c != '"' && c != '\'' && c != '\\';
}

// An attribute value as written: markup characters, line ends, tab and
// backslash as references; characters beyond 8 bits as numeric references;
// other control characters, which XML cannot carry at all, as "?".
void appendAttributeValue(QStringView text, QByteArray &out)
{
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return isPlain(c.unicode()); })) {
        const qsizetype start = out.size();
        out.resize(start + text.size());
        char *p = out.data() + start;
        for (QChar c : text)
            *p++ = char(c.unicode());
        return;
    }
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
}

QByteArray attributeValue(QStringView text)
{
    QByteArray out;
    out.reserve(text.size());
    appendAttributeValue(text, out);
    return out;
}

bool writeMetadata(ChunkWriter &chunk, const MeasurementTable &table, int rowCount)
{
    chunk.put(QByteArrayLiteral(R"(<?xml version="1.0" standalone="yes"?>  <DATAPACKET Version="2.0">)"
                                "<METADATA><FIELDS>"));
    for (int f = 0; f < MeasurementTable::FieldCount; ++f) {
        chunk.put("<FIELD attrname=\"" + attributeValue(MeasurementTable::fieldName(f)) + '"');
        chunk.put(MeasurementTable::isIntegerField(f)
                      ? QByteArrayLiteral(" fieldtype=\"i4\"/>")
                      : QByteArrayLiteral(" fieldtype=\"string\" WIDTH=\"20\"/>"));
    }
    chunk.put("</FIELDS><PARAMS", 16);
    bool first = true;
    for (int r = 0; r < rowCount; ++r) {
        if (!table.isLogged(r))
            continue;
        if (first)
            chunk.put(" CHANGE_LOG=\"", 13);
        else
            chunk.put(' ');
        first = false;
        chunk.putNumber(r + 1);
        chunk.put(" 0 4", 4);
        if (!chunk.rowDone())
            return false;
    }
    if (!first)
        chunk.put('"');
    chunk.put("/></METADATA><ROWDATA>", 22);
    return chunk.rowDone();
}

} // namespace

bool write(QIODevice &out, const MeasurementTable &table, int rowCount, FileProgress *progress)
{
    ProgressScope scope(progress, rowCount);
    // Attribute names, with the slack ChunkWriter::putShort reads, and escaped
    // texts with their closing quote, each made once.
    QByteArray names;
    qsizetype nameAt[MeasurementTable::FieldCount + 1];
    for (int f = 0; f < MeasurementTable::FieldCount; ++f) {
        nameAt[f] = names.size();
        names += ' ' + MeasurementTable::fieldName(f).toLatin1() + "=\"";
    }
    nameAt[MeasurementTable::FieldCount] = names.size();
    names.append(ChunkWriter::Slack, '\0');
    const auto putName = [&](ChunkWriter &chunk, int f) {
        chunk.putShort(names.constData() + nameAt[f], nameAt[f + 1] - nameAt[f]);
    };
    EncodedCells values(table.textIdEnd());
    const auto encode = [&](std::uint32_t id, QByteArray &bytes) {
        appendAttributeValue(table.textOfId(id), bytes);
        bytes.append('"');
    };

    ChunkWriter chunk(out);
    if (!writeMetadata(chunk, table, rowCount))
        return false;
    for (int r = 0; r < rowCount; ++r) {
        const MeasurementTable::RowIds row = table.rowIds(r);
        if (row.logged)
            chunk.put("<ROW RowState=\"4\"", 17);
        else
            chunk.put("<ROW", 4);
        if (row.no) {
            putName(chunk, MeasurementTable::No);
            chunk.putNumber(*row.no);
            chunk.put('"');
        }
        for (int i = 0; i < 5; ++i) {
            const std::uint32_t id = row.text[i];
            if (id == 0)
                continue;
            putName(chunk, MeasurementTable::Time + i);
            values.put(chunk, id, encode);
        }
        if (row.nval) {
            putName(chunk, MeasurementTable::NVal);
            chunk.putNumber(*row.nval);
            chunk.put('"');
        }
        chunk.put("/>", 2);
        if (!chunk.rowDone())
            return false;
        if ((r + 1) % kProgressRows == 0)
            scope.advance(r + 1);
    }
    chunk.put("</ROWDATA></DATAPACKET>", 23);
    return chunk.flush();
}

FileResult save(const QString &fileName, const MeasurementTable &table, int rowCount, FileProgress *progress)
{
    return saveFileSafely(fileName, [&](QIODevice &out) { return write(out, table, rowCount, progress); });
}

} // namespace TableXmlPacket
