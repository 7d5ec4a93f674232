#include "table_text_file.h"

#include "chunk_writer.h"
#include "file_progress.h"
#include "measurement_table.h"

#include <QFile>

#include <cstring>
#include <limits>
#include <vector>

namespace TableTextFile {

namespace {

constexpr int kProgressRows = 1 << 14; // rows between progress reports

bool isSeparator(char16_t c)
{
    return c <= 32;
}

// Appends one text cell as written, with quotes where the reader needs them.
void appendTextCell(QStringView text, QByteArray &out)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isSeparator(text[begin].unicode()))
        ++begin;
    while (end > begin && isSeparator(text[end - 1].unicode()))
        --end;
    if (begin == end) {
        out.append("NULL", 4);
        return;
    }

    bool quote = false;
    for (qsizetype i = begin; i < end && !quote; ++i) {
        const char16_t c = text[i].unicode();
        quote = c <= 32 || c == '"';
    }
    // Written in place: at most two bytes a character and the two quotes.
    const qsizetype start = out.size();
    out.resize(start + 2 * (end - begin) + 2);
    char *p = out.data() + start;
    if (quote)
        *p++ = '"';
    for (qsizetype i = begin; i < end; ++i) {
        char16_t c = text[i].unicode();
        if (c == 0 || c == '\r' || c == '\n') // would end the text or the line on reading
            c = ' ';
        if (c == '"')
            *p++ = '"';
        *p++ = c > 0xff ? '?' : char(c);
    }
    if (quote)
        *p++ = '"';
    out.truncate(p - out.constData());
}

// A cell for an integer field: decimal with an optional sign; an empty cell
// (written as "") is a null field.
bool toInteger(const QString &cell, std::optional<qint32> &value)
{
    if (cell.isEmpty()) {
        value.reset();
        return true;
    }
    qsizetype i = 0;
    const bool negative = cell[0] == QLatin1Char('-');
    if (negative || cell[0] == QLatin1Char('+'))
        i = 1;
    if (i == cell.size())
        return false;
    qint64 magnitude = 0;
    for (; i < cell.size(); ++i) {
        const char16_t c = cell[i].unicode();
        if (c < '0' || c > '9')
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > qint64(std::numeric_limits<qint32>::max()) + 1)
            return false;
    }
    const qint64 v = negative ? -magnitude : magnitude;
    if (v > std::numeric_limits<qint32>::max())
        return false;
    value = qint32(v);
    return true;
}

QString shown(const QString &cell)
{
    return cell.size() > 40 ? cell.left(40) + QStringLiteral("...") : cell;
}

} // namespace

QByteArray headerLine()
{
    return QByteArrayLiteral("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
}

QByteArray rowLine(const TableRow &row)
{
    QByteArray line = row.No ? QByteArray::number(*row.No) : QByteArrayLiteral("\"\"");
    for (const QString *text : {&row.Time, &row.DcAc, &row.Value, &row.Unit, &row.Auto}) {
        line += '\t';
        appendTextCell(*text, line);
    }
    line += "\r\n";
    return line;
}

bool write(QIODevice &out, const MeasurementTable &table, int rowCount, FileProgress *progress)
{
    ProgressScope scope(progress, rowCount);
    // The table holds few distinct texts: encode each once, with its tab.
    EncodedCells cells(table.textIdEnd());
    const auto encode = [&](std::uint32_t id, QByteArray &bytes) {
        bytes.append('\t');
        appendTextCell(table.textOfId(id), bytes);
    };
    ChunkWriter chunk(out);
    chunk.put(headerLine());
    for (int r = 0; r < rowCount; ++r) {
        const MeasurementTable::RowIds row = table.rowIds(r);
        if (row.no)
            chunk.putNumber(*row.no);
        else
            chunk.put("\"\"", 2);
        for (const std::uint32_t id : row.text)
            cells.put(chunk, id, encode);
        chunk.put("\r\n", 2);
        if (!chunk.rowDone())
            return false;
        if ((r + 1) % kProgressRows == 0)
            scope.advance(r + 1);
    }
    return chunk.flush();
}

FileResult save(const QString &fileName, const MeasurementTable &table, int rowCount, FileProgress *progress)
{
    return saveFileSafely(fileName, [&](QIODevice &out) { return write(out, table, rowCount, progress); });
}

int splitCells(QByteArrayView line, CellBuffers &cells)
{
    const qsizetype n = line.size();
    const char *p = line.data();
    qsizetype i = 0;
    int count = 0;
    while (count < int(cells.size())) {
        while (i < n && uchar(p[i]) <= 32)
            ++i;
        if (i >= n)
            break;
        QString &cell = cells[count++];
        cell.resize(0);
        if (p[i] == '"') {
            ++i;
            while (i < n) {
                if (p[i] == '"') {
                    if (i + 1 < n && p[i + 1] == '"') {
                        cell.append(QLatin1Char('"'));
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                cell.append(QChar(uchar(p[i++])));
            }
        } else {
            const qsizetype start = i;
            while (i < n && uchar(p[i]) > 32)
                ++i;
            cell.append(QLatin1StringView(p + start, i - start));
        }
    }
    return count;
}

namespace {

// Appends the rows of whole lines as they come, a part of the text at a time.
class LineParser {
public:
    LineParser(MeasurementTable &table, RowLimit limit)
        : m_table(table), m_limit(limit), m_room(qMax(0, limit.maxRows - limit.held - table.rowCount()))
    {
    }

    // The number the next line has.
    int nextLineNo() const { return m_lineNo + 1; }

    // Takes text that ends with a whole line (or the text's end).
    FileResult take(QByteArrayView text)
    {
        const char *const data = text.data();
        const qsizetype size = text.size();
        qsizetype pos = 0;
        while (pos < size) {
            qsizetype end = pos;
            while (end < size && data[end] != '\r' && data[end] != '\n')
                ++end;
            const QByteArrayView line(data + pos, end - pos);
            if (line.size() > MaxLineBytes)
                return lineTooLong(m_lineNo + 1);
            pos = end;
            if (pos < size && data[pos] == '\r') {
                if (++pos < size && data[pos] == '\n') // the pair counts once
                    ++pos;
            } else if (pos < size) {
                ++pos;
            }
            if (++m_lineNo == 1)
                continue; // the header is never examined
            if (FileResult row = rowOf(line); !row)
                return row;
        }
        return {};
    }

    static FileResult lineTooLong(int lineNo)
    {
        return FileResult::failure(
            QStringLiteral("Line %1 is longer than %2 KiB; no row of a table is that long.")
                .arg(lineNo)
                .arg(MaxLineBytes / 1024));
    }

private:
    FileResult rowOf(QByteArrayView line)
    {
        const int count = splitCells(line, m_cells);
        if (count == 0)
            return {};
        if (m_room == 0)
            return FileResult::failure(
                QStringLiteral(
                    "Line %1: the table holds at most %2 rows; this line and the lines after it were "
                    "not loaded.")
                    .arg(m_lineNo)
                    .arg(m_limit.maxRows));
        if (count > MaxCells)
            return FileResult::failure(QStringLiteral("Line %1 holds more than seven cells.").arg(m_lineNo));
        std::optional<qint32> no, nval;
        std::array<QStringView, 5> texts;
        for (int c = 0; c < count; ++c) {
            if (c == MeasurementTable::No || c == MeasurementTable::NVal) {
                if (!toInteger(m_cells[c], c == MeasurementTable::No ? no : nval))
                    return FileResult::failure(
                        QStringLiteral("Line %1: \"%2\" is not a whole number for the field %3.")
                            .arg(m_lineNo)
                            .arg(shown(m_cells[c]), MeasurementTable::fieldName(c)));
            } else {
                texts[c - MeasurementTable::Time] = m_cells[c];
            }
        }
        m_table.appendUnobserved(no, texts, nval, true);
        --m_room;
        return {};
    }

    MeasurementTable &m_table;
    const RowLimit m_limit;
    int m_room; // rows the limit still allows
    CellBuffers m_cells;
    int m_lineNo = 0;
};

// Where the whole lines of text end, looked for from `from` on (what came
// before holds no line end). A CR at the very end waits for the next part,
// which may begin with its LF.
qsizetype wholeLinesEnd(QByteArrayView text, qsizetype from)
{
    for (qsizetype i = text.size() - 1; i >= from; --i) {
        if (text[i] == '\n' || (text[i] == '\r' && i + 1 < text.size()))
            return i + 1;
    }
    return 0;
}

} // namespace

FileResult parse(QByteArrayView text, MeasurementTable &table, FileProgress *progress, RowLimit limit)
{
    if (const qsizetype nul = text.indexOf('\0'); nul >= 0)
        text = text.first(nul);
    if (text.isEmpty())
        return FileResult::failure(QStringLiteral("The file is empty."));

    ProgressScope scope(progress, text.size());
    LineParser parser(table, limit);
    const FileResult result = parser.take(text);
    scope.advance(text.size());
    return result;
}

FileResult load(const QString &fileName, MeasurementTable &table, FileProgress *progress, RowLimit limit)
{
    if (FileResult readable = checkReadableFile(fileName); !readable)
        return readable;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return FileResult::failure(file.errorString() + '.');

    // Read a megabyte at a time into one buffer: a large file then costs
    // neither a copy of its size in memory nor the fresh pages to hold it.
    constexpr qint64 kReadBytes = 1 << 20;
    ProgressScope scope(progress, file.size());
    LineParser parser(table, limit);
    QByteArray pending;
    qint64 total = 0;
    bool last = false;
    while (!last) {
        const qsizetype kept = pending.size();
        pending.resize(kept + kReadBytes);
        const qint64 got = file.read(pending.data() + kept, kReadBytes);
        if (got < 0)
            return FileResult::failure(file.errorString() + '.');
        pending.truncate(kept + got);
        last = got == 0;
        // The text ends at a NUL byte, as it does for parse().
        if (const qsizetype nul = QByteArrayView(pending).sliced(kept).indexOf('\0'); nul >= 0) {
            pending.truncate(kept + nul);
            last = true;
        }
        total += pending.size() - kept;
        // What was kept is the start of one line, perhaps with a CR at its end.
        const qsizetype whole = last ? pending.size() : wholeLinesEnd(pending, qMax<qsizetype>(0, kept - 1));
        if (FileResult r = parser.take(QByteArrayView(pending).first(whole)); !r)
            return r;
        pending.remove(0, whole);
        if (pending.size() > MaxLineBytes)
            return LineParser::lineTooLong(parser.nextLineNo());
        scope.advance(file.pos());
    }
    if (total == 0)
        return FileResult::failure(QStringLiteral("The file is empty."));
    return {};
}

} // namespace TableTextFile
