#include "table_report.h"

#include "record/measurement_table.h"
#include "ui/segment_font.h"

#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>

namespace {

constexpr qreal kPrintableHeight = TableReport::PageHeight - 2 * TableReport::Margin;
constexpr qreal kFooterTop = kPrintableHeight - TableReport::BandHeight;
constexpr qreal kDetailsTop = 2 * TableReport::BandHeight;
constexpr qreal kPointMm = 25.4 / 72; // one point in millimetres

struct Column {
    const char *label;
    qreal labelLeft;
    int field;
    qreal fieldLeft;
    TableReport::Font font;
};
// clang-format off
const Column kColumns[] = {
    {"No",    8.47,   MeasurementTable::No,    8.47,   TableReport::Font::Segment},
    {"Time",  33.87,  MeasurementTable::Time,  33.87,  TableReport::Font::Arial},
    {"DC|AC", 64.29,  MeasurementTable::DcAc,  65.62,  TableReport::Font::Segment},
    {"Value", 99.48,  MeasurementTable::Value, 99.48,  TableReport::Font::Calibri},
    {"Unit",  132.29, MeasurementTable::Unit,  131.23, TableReport::Font::Segment},
    {"AUTO",  162.98, MeasurementTable::Auto,  162.98, TableReport::Font::Segment},
};
// clang-format on
constexpr int kColumnCount = int(sizeof kColumns / sizeof kColumns[0]);

// A line of 10 point text, a little taller than the point size.
constexpr qreal kLineHeight = TableReport::PointSize * kPointMm * 1.2;

QRectF textRect(qreal left, qreal top, qreal right)
{
    return QRectF(left, top, right - left, kLineHeight);
}

} // namespace

TableReport::TableReport(const MeasurementTable &table, int rowCount)
    : m_table(table), m_rowCount(qMax(0, rowCount))
{
}

int TableReport::rowsPerPage()
{
    return int((kFooterTop - kDetailsTop) / DetailHeight);
}

int TableReport::pageCount() const
{
    const int rows = qMin(m_rowCount, m_table.rowCount());
    return (rows + rowsPerPage() - 1) / rowsPerPage();
}

QList<TableReport::Item> TableReport::pageItems(int page) const
{
    QList<Item> items;
    const QString title = QStringLiteral("Data Report");
    const qreal titleWidth = segmentTextWidth(title, PointSize * kPointMm);
    items.append(
        {QRectF((BandWidth - titleWidth) / 2, 2.12, titleWidth, kLineHeight), title, Font::Segment, true});

    for (int c = 0; c < kColumnCount; ++c) {
        const qreal right = c + 1 < kColumnCount ? kColumns[c + 1].labelLeft : BandWidth;
        items.append({textRect(kColumns[c].labelLeft, BandHeight + 4.23, right),
                      QLatin1String(kColumns[c].label), Font::Segment});
    }

    const int rows = qMin(m_rowCount, m_table.rowCount());
    const int first = page * rowsPerPage();
    const int last = qMin(rows, first + rowsPerPage());
    for (int r = first; r < last; ++r) {
        const qreal top = kDetailsTop + (r - first) * DetailHeight + 2.12;
        for (int c = 0; c < kColumnCount; ++c) {
            const qreal right = c + 1 < kColumnCount ? kColumns[c + 1].fieldLeft : BandWidth;
            items.append({textRect(kColumns[c].fieldLeft, top, right), m_table.text(r, kColumns[c].field),
                          kColumns[c].font});
        }
    }

    // The footer text is the original's, placeholder wording and all.
    items.append(
        {textRect(8.47, kFooterTop + 4.23, BandWidth), QStringLiteral("The Data Print Foot"), Font::Segment});
    return items;
}

void TableReport::paintPage(QPainter &painter, int page) const
{
    const qreal dotsPerMm = painter.device()->logicalDpiY() / 25.4;
    const qreal charHeight = PointSize * kPointMm * dotsPerMm; // pixels
    painter.save();
    painter.setPen(Qt::black); // the window-text colour
    for (const Item &item : pageItems(page)) {
        if (item.text.isEmpty())
            continue;
        const QRectF px(item.mm.left() * dotsPerMm, item.mm.top() * dotsPerMm, item.mm.width() * dotsPerMm,
                        item.mm.height() * dotsPerMm);
        if (item.font == Font::Segment) {
            drawSegmentText(painter, px, charHeight, item.text);
            continue;
        }
        QFont font(QLatin1String(item.font == Font::Arial ? "Arial" : "Calibri"));
        font.setPointSizeF(PointSize);
        painter.setFont(font);
        painter.drawText(px, Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere, item.text);
    }
    painter.restore();
}

QPageLayout TableReport::pageLayout() const
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                       QMarginsF(Margin, Margin, Margin, Margin), QPageLayout::Millimeter);
}
