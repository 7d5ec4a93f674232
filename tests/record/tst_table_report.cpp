#include "record/measurement_table.h"
#include "ui/segment_font.h"
#include "ui/table_report.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTest>

namespace {

MeasurementTable tableOf(int rows)
{
    MeasurementTable table;
    for (int i = 1; i <= rows; ++i)
        table.appendRow({i, "21:05:07", "DC", QString::number(i * 0.125), "k*", "pass", {}});
    return table;
}

QStringList texts(const QList<TableReport::Item> &items)
{
    QStringList list;
    for (const TableReport::Item &item : items)
        list << item.text;
    return list;
}

int pdfPages(const QByteArray &pdf)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral(R"(/Type\s*/Pages\b[^>]*?/Count\s+(\d+))"))
            .match(QString::fromLatin1(pdf));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

} // namespace

class TestTableReport : public QObject {
    Q_OBJECT
private slots:
    void pagesHoldThirtySevenRows_data();
    void pagesHoldThirtySevenRows();
    void everyPageHasTitleHeadersAndFooter();
    void listsOnlyTheRowsOfThePress();
    void unitPrintsTheOhmSign();
    void printsA4PagesOnAnyPagedDevice();
};

void TestTableReport::pagesHoldThirtySevenRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::newRow("empty table: no pages") << 0 << 0;
    QTest::newRow("one row") << 1 << 1;
    QTest::newRow("a full page") << 37 << 1;
    QTest::newRow("one more") << 38 << 2;
    QTest::newRow("three pages") << 75 << 3;
}

void TestTableReport::pagesHoldThirtySevenRows()
{
    QFETCH(int, rows);
    QFETCH(int, pages);
    const MeasurementTable table = tableOf(rows);
    const TableReport report(table, rows);
    QCOMPARE(TableReport::rowsPerPage(), 37); // (277 - 3 * 10.58) / 6.61, whole bands
    QCOMPARE(report.pageCount(), pages);
}

void TestTableReport::everyPageHasTitleHeadersAndFooter()
{
    const MeasurementTable table = tableOf(80);
    const TableReport report(table, 80);
    QCOMPARE(report.pageCount(), 3);
    for (int page = 0; page < 3; ++page) {
        const QList<TableReport::Item> items = report.pageItems(page);
        const QStringList t = texts(items);
        QCOMPARE(t.mid(0, 7), QStringList({"Data Report", "No", "Time", "DC|AC", "Value", "Unit", "AUTO"}));
        QCOMPARE(t.last(), QStringLiteral("The Data Print Foot"));
        QCOMPARE(items.size(), 8 + 6 * (page < 2 ? 37 : 6));
        QVERIFY(items[0].centred);
        QVERIFY(qAbs(items[0].mm.center().x() - 189.97 / 2) < 0.01);
        QCOMPARE(items[0].mm.top(), 2.12);
        QCOMPARE(items[1].mm.topLeft(), QPointF(8.47, 10.58 + 4.23));
        QCOMPARE(items[3].mm.left(), 64.29);
        QCOMPARE(items.last().mm.topLeft(), QPointF(8.47, 277 - 10.58 + 4.23));
        // The first detail band: No at 8.47, DC/AC at 65.62, Unit at 131.23.
        QCOMPARE(items[7].text, QString::number(page * 37 + 1));
        QCOMPARE(items[7].mm.topLeft(), QPointF(8.47, 2 * 10.58 + 2.12));
        QCOMPARE(items[8].font, TableReport::Font::Arial);
        QCOMPARE(items[9].mm.left(), 65.62);
        QCOMPARE(items[10].font, TableReport::Font::Calibri);
        QCOMPARE(items[11].mm.left(), 131.23);
        QCOMPARE(items[11].text, QStringLiteral("k*"));
        QCOMPARE(items[13].mm.top(), 2 * 10.58 + 6.61 + 2.12);
    }
}

void TestTableReport::listsOnlyTheRowsOfThePress()
{
    MeasurementTable table = tableOf(37);
    const TableReport report(table, table.rowCount());
    table.appendRow({99, "x", {}, {}, {}, {}, {}}); // recorded while the preview is open
    QCOMPARE(report.pageCount(), 1);
    QVERIFY(!texts(report.pageItems(0)).contains("99"));
}

// The unit "k*" goes through the segment drawing, which draws "*" as Ω.
void TestTableReport::unitPrintsTheOhmSign()
{
    const MeasurementTable table = tableOf(1);
    const TableReport report(table, 1);
    QImage page(QSize(718, 1047), QImage::Format_RGB32); // the printable area at 96 dpi
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        report.paintPage(painter, 0);
    }
    const TableReport::Item unit = report.pageItems(0)[11];
    const qreal dpm = page.logicalDpiY() / 25.4;
    const QRect cell = QRectF(unit.mm.topLeft() * dpm, unit.mm.size() * dpm).toAlignedRect();

    auto drawn = [&](const QString &text, bool segment) {
        QImage image(page.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(Qt::black);
        const QRectF rect(unit.mm.topLeft() * dpm, unit.mm.size() * dpm);
        if (segment)
            drawSegmentText(painter, rect, TableReport::PointSize * 25.4 / 72 * dpm, text);
        else
            painter.drawText(rect, text);
        return image.copy(cell);
    };
    QCOMPARE(page.copy(cell), drawn(QStringLiteral("k*"), true));
    QVERIFY(page.copy(cell) != drawn(QStringLiteral("k*"), false));
    QVERIFY(page.copy(cell) != drawn(QStringLiteral("k"), true));
}

void TestTableReport::printsA4PagesOnAnyPagedDevice()
{
    const MeasurementTable table = tableOf(40);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        TableReport(table, 40).print(writer);
        const QPageLayout layout = writer.pageLayout();
        QCOMPARE(layout.pageSize().id(), QPageSize::A4);
        QCOMPARE(layout.orientation(), QPageLayout::Portrait);
        QCOMPARE(layout.margins(QPageLayout::Millimeter), QMarginsF(10, 10, 10, 10));
    }
    QCOMPARE(pdfPages(pdf.data()), 2);
}

QTEST_MAIN(TestTableReport)
#include "tst_table_report.moc"
