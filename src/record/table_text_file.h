#pragma once

#include "measurement_table.h"
#include "safe_file.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

class FileProgress;
struct TableRow;
class QIODevice;

// The table as tab-separated text: a header line, then one line per row with
// No, Time, DC/AC, Value, Unit and AUTO, each line ending in CR LF. Texts are
// 8-bit (Latin-1: every byte is one character, so any 8-bit file reads and
// writes back unchanged); characters beyond it are written as "?".
//
// Cells as written:   No      decimal; "" when null (an empty cell would vanish)
//                     texts   trimmed of blanks and control characters;
//                             NULL when nothing is left;
//                             in double quotes (inner quotes doubled) when the
//                             text holds a blank, a control character or a
//                             quote, so that 12-hour times stay one cell;
//                             NUL, CR and LF inside a text become blanks
namespace TableTextFile {

QByteArray headerLine();
// One row as write() writes it, with its CR LF.
QByteArray rowLine(const TableRow &row);

// Writes rows [0, rowCount) of the table.
bool write(QIODevice &out, const MeasurementTable &table, int rowCount, FileProgress *progress = nullptr);
FileResult save(const QString &fileName, const MeasurementTable &table, int rowCount,
                FileProgress *progress = nullptr);

constexpr int MaxCells = 7; // one per field

// Splits one line into cells by the reader's rules (runs of blanks, tabs and
// control characters separate; double quotes enclose, a doubled quote stands
// for one). Fills at most cells.size() cells; returns how many it filled.
using CellBuffers = std::array<QString, MaxCells + 1>;
int splitCells(QByteArrayView line, CellBuffers &cells);

// A row's line is at most seven cells of 20 characters, each possibly quoted
// with every character a doubled quote: about 300 bytes. Other programs pad
// with blanks, so a line may be far longer than that, but a longer line than
// this is no table's: it fails at once instead of being gathered without end.
constexpr qsizetype MaxLineBytes = 64 * 1024;

// The rows a load may leave: a table never holds more than maxRows, and the
// rows loaded join `held` rows of the table they are for.
struct RowLimit {
    int maxRows = MeasurementTable::MaxRows;
    int held = 0;
};

// Appends the rows of a file's text (the first line is skipped unread) to the
// table. On failure the reason names the line; the rows of earlier lines stay
// in the table. A line that would pass the row limit fails with the rows
// before it loaded.
FileResult parse(QByteArrayView text, MeasurementTable &table, FileProgress *progress = nullptr,
                 RowLimit limit = {});
FileResult load(const QString &fileName, MeasurementTable &table, FileProgress *progress = nullptr,
                RowLimit limit = {});

} // namespace TableTextFile
