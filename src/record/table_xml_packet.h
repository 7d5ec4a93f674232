#pragma once

#include "safe_file.h"

#include <QString>

class FileProgress;
class MeasurementTable;
class QIODevice;

// The table as an XML data packet: one line of 8-bit (Latin-1) text holding
// the field list, the change log and the rows.
//
//   <?xml version="1.0" standalone="yes"?>··<DATAPACKET Version="2.0">
//     <METADATA><FIELDS><FIELD attrname="No" fieldtype="i4"/>...</FIELDS>
//     <PARAMS CHANGE_LOG="1 0 4 2 0 4"/></METADATA>
//     <ROWDATA><ROW RowState="4" No="1" Time="09:05:07" .../>...</ROWDATA>
//   </DATAPACKET>                      (all on one line, no line end)
//
// The attribute name DC/AC is not an XML name, so the reader mends it before
// the XML parser sees it. A packet with a document type declaration is
// refused: entities are never expanded.
namespace TableXmlPacket {

// Writes rows [0, rowCount) of the table and the change log entries among them.
bool write(QIODevice &out, const MeasurementTable &table, int rowCount, FileProgress *progress = nullptr);
FileResult save(const QString &fileName, const MeasurementTable &table, int rowCount,
                FileProgress *progress = nullptr);

// Reads a packet into an empty table: its rows and change log. On failure
// the table holds a part of the packet, so read into a table of its own.
FileResult read(QIODevice &in, MeasurementTable &table, FileProgress *progress = nullptr);
FileResult load(const QString &fileName, MeasurementTable &table, FileProgress *progress = nullptr);

} // namespace TableXmlPacket
