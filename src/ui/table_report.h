#pragma once

#include "paged_document.h"

#include <QList>
#include <QRectF>
#include <QString>

class MeasurementTable;
class QPainter;

// The printed report of the measurement table: A4 portrait with 10 mm
// margins; on every page the title band, the column header band and the
// footer band at its foot, between them one detail band per row.
//
//   band            height   content (mm from the band's left and top)
//   page header     10.58    "Data Report" centred, top 2.12
//   column header   10.58    No, Time, DC|AC, Value, Unit, AUTO, top 4.23
//   detail          6.61     the row's fields, top 2.12
//   page footer     10.58    "The Data Print Foot" at 8.47, top 4.23
//
// Texts are in the segment font (so "k*" prints kΩ), apart from Time (Arial)
// and Value (Calibri). The report lists the first rowCount rows only: the
// rows present when it was made, while recording appends more.
class TableReport : public PagedDocument {
public:
    enum class Font { Segment, Arial, Calibri };
    struct Item {
        QRectF mm; // from the top-left of the printable area; the width is the room up to the next text
        QString text;
        Font font;
        bool centred = false;
    };

    static constexpr qreal PageWidth = 210, PageHeight = 297, Margin = 10; // millimetres
    static constexpr qreal BandWidth = 189.97, BandHeight = 10.58, DetailHeight = 6.61;
    static constexpr qreal PointSize = 10;

    TableReport(const MeasurementTable &table, int rowCount);

    int rowCount() const { return m_rowCount; }
    static int rowsPerPage();
    // No pages for a table without rows.
    int pageCount() const override;
    QList<Item> pageItems(int page) const;

    // A4 portrait with the margins.
    QPageLayout pageLayout() const override;
    void paintPage(QPainter &painter, int page) const override;

private:
    const MeasurementTable &m_table;
    int m_rowCount;
};
