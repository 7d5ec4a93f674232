#include "accessibility_listener.h"
#include "record/measurement_table.h"
#include "ui/accessible_views.h"
#include "ui/measurement_table_model.h"
#include "ui/record_grid.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTest>

namespace {

// Remembers what each paint covered.
class WatchedGrid : public RecordGrid {
public:
    QRegion painted;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        painted += event->region();
        RecordGrid::paintEvent(event);
    }
};

struct GridRig {
    MeasurementTable table;
    MeasurementTableModel model{table};
    WatchedGrid grid;

    explicit GridRig(int rows)
    {
        append(rows);
        grid.setModel(&model);
        grid.setSelectionBehavior(QAbstractItemView::SelectRows);
        grid.setSelectionMode(QAbstractItemView::SingleSelection);
        for (int c = 0; c < MeasurementTableModel::ColumnCount; ++c)
            grid.setColumnWidth(c, MeasurementTableModel::columnWidth(c));
        grid.setGrowingColumn(0);
        grid.resize(303, 241);
    }
    void append(int rows)
    {
        for (int i = 0; i < rows; ++i)
            appendNo(table.rowCount() + 1);
    }
    void appendNo(int no) { table.appendRow({no, "12:00:00", "DC", "1.234", "V", "AUTO", std::nullopt}); }
    void follow()
    {
        const QModelIndex last = model.index(model.rowCount() - 1, 0);
        grid.setCurrentIndex(last);
        grid.scrollTo(last);
    }
    void showAndSettle()
    {
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCoreApplication::processEvents();
        grid.painted = QRegion();
    }
};

} // namespace

class TestRecordGrid : public QObject {
    Q_OBJECT

private slots:
    void rowsSitAtTheirNumbers();
    void followingRepaintsOnlyTheNewRows_data();
    void followingRepaintsOnlyTheNewRows();
    void longRecordNumbersShowWhole_data();
    void longRecordNumbersShowWhole();
    void keysAndClicksMoveTheCurrentRow();
    void followedRowsShowAsDrawnAfresh();
    void readsAsATableToAssistiveTechnology();
    void newRowsAreAnnouncedAndRead();
};

void TestRecordGrid::rowsSitAtTheirNumbers()
{
    GridRig rig(1000);
    rig.showAndSettle();
    const int shown = rig.grid.fullyVisibleRowCount();
    QCOMPARE(shown, (rig.grid.viewport()->height()) / 18);
    QCOMPARE(rig.grid.verticalScrollBar()->maximum(), 1000 - shown);

    rig.grid.scrollTo(rig.model.index(500, 0), QAbstractItemView::PositionAtTop);
    QCOMPARE(rig.grid.firstVisibleRow(), 500);
    const QRect cell = rig.grid.visualRect(rig.model.index(503, 3));
    QCOMPARE(cell.top(), 3 * 18);
    QCOMPARE(cell.left(), 39 + 53 + 42);
    QCOMPARE(rig.grid.indexAt(cell.center()), rig.model.index(503, 3));

    rig.grid.scrollTo(rig.model.index(999, 0));
    QCOMPARE(rig.grid.firstVisibleRow(), 1000 - shown);
    rig.grid.scrollTo(rig.model.index(2, 0));
    QCOMPARE(rig.grid.firstVisibleRow(), 2);
}

void TestRecordGrid::followingRepaintsOnlyTheNewRows_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("a few rows") << 5;
    QTest::newRow("a long run") << 300000;
}

// Appending a row and making it current repaints the new row and the one
// that was current, whatever the table's size.
void TestRecordGrid::followingRepaintsOnlyTheNewRows()
{
    QFETCH(int, rows);
    GridRig rig(rows);
    rig.follow();
    rig.showAndSettle();
    for (int i = 0; i < 5; ++i) {
        rig.append(1);
        rig.follow();
        QCoreApplication::processEvents();
    }
    const QRect painted = rig.grid.painted.boundingRect();
    const int area = [&] {
        int sum = 0;
        for (const QRect &r : rig.grid.painted)
            sum += r.width() * r.height();
        return sum;
    }();
    QVERIFY2(area <= 5 * 3 * 18 * rig.grid.viewport()->width(),
             qPrintable(QStringLiteral("painted %1 pixels in %2").arg(area).arg(QDebug::toString(painted))));
    QCOMPARE(rig.grid.currentIndex().row(), rig.model.rowCount() - 1);
    const QRect newest = rig.grid.visualRect(rig.model.index(rig.model.rowCount() - 1, 0));
    QVERIFY(rig.grid.viewport()->rect().contains(newest));
}

void TestRecordGrid::longRecordNumbersShowWhole_data()
{
    QTest::addColumn<int>("no");
    QTest::newRow("3 digits") << 999;
    QTest::newRow("6 digits") << 100000;
    QTest::newRow("8 digits") << 10000000;
    QTest::newRow("negative") << -1234567;
}

// Regression: from row 100000 on the "No." column showed "10000", the last
// digit cut off: a wrong number.
void TestRecordGrid::longRecordNumbersShowWhole()
{
    QFETCH(int, no);
    GridRig rig(3);
    QVERIFY(!rig.grid.indexAt(QPoint(5, 3 * 18 + 2)).isValid()); // below the last row
    rig.appendNo(no);
    const QString text = QString::number(no);
    const int needed = rig.grid.fontMetrics().horizontalAdvance(text) + 4;
    QVERIFY2(rig.grid.columnWidth(0) >= needed,
             qPrintable(QStringLiteral("%1 < %2").arg(rig.grid.columnWidth(0)).arg(needed)));
    QVERIFY(rig.grid.columnWidth(0) >= 39); // never narrower than laid out

    // A table loaded whole is measured as well.
    MeasurementTable other;
    other.appendRow({no, "", "", "", "", "", std::nullopt});
    MeasurementTableModel otherModel(other);
    RecordGrid grid;
    grid.setModel(&otherModel);
    grid.setColumnWidth(0, 39);
    grid.setGrowingColumn(0);
    QVERIFY(grid.columnWidth(0) >= needed);
}

void TestRecordGrid::keysAndClicksMoveTheCurrentRow()
{
    GridRig rig(100);
    rig.showAndSettle();
    rig.grid.setFocus();
    const QPoint third = rig.grid.visualRect(rig.model.index(2, 1)).center();
    QTest::mouseClick(rig.grid.viewport(), Qt::LeftButton, {}, third);
    QCOMPARE(rig.grid.currentIndex().row(), 2);
    QVERIFY(rig.grid.selectionModel()->isRowSelected(2, QModelIndex()));

    QTest::keyClick(&rig.grid, Qt::Key_Down);
    QCOMPARE(rig.grid.currentIndex().row(), 3);
    QTest::keyClick(&rig.grid, Qt::Key_End);
    QCOMPARE(rig.grid.currentIndex().row(), 99);
    QCOMPARE(rig.grid.firstVisibleRow(), 100 - rig.grid.fullyVisibleRowCount());
    QTest::keyClick(&rig.grid, Qt::Key_PageUp);
    QCOMPARE(rig.grid.currentIndex().row(), 99 - rig.grid.fullyVisibleRowCount());
    QTest::keyClick(&rig.grid, Qt::Key_Home);
    QCOMPARE(rig.grid.currentIndex().row(), 0);
    QCOMPARE(rig.grid.firstVisibleRow(), 0);
    QCOMPARE(rig.grid.selectionModel()->selectedRows().size(), 1);
}

// Rows followed one poll at a time, their cells copied where texts repeat,
// show on screen as the whole grid drawn afresh shows.
void TestRecordGrid::followedRowsShowAsDrawnAfresh()
{
    GridRig rig(20);
    rig.showAndSettle();
    const auto onScreen = [&] {
        QCoreApplication::processEvents();
        QEvent paintDue(QEvent::UpdateRequest); // due on a timer; it comes now
        QCoreApplication::sendEvent(&rig.grid, &paintDue);
        return rig.grid.screen()
            ->grabWindow(rig.grid.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const char *const values[] = {"1.234", "-0.001", "OL", "1.234", "12345678", "1.234"};
    for (int i = 0; i < 30; ++i) {
        const int no = rig.table.rowCount() + 1;
        rig.table.appendRow({i == 29 ? 87654321 : no, i % 4 ? "12:00:00" : "12:00:01", i % 5 ? "DC" : "AC",
                             values[i % 6], "V", "AUTO", std::nullopt});
        rig.follow();
        const QImage shown = onScreen();
        if (i % 10 == 9) {
            rig.grid.viewport()->repaint(); // drawn afresh, the cells it keeps copied again
            const QImage afresh = rig.grid.grab().toImage().convertToFormat(QImage::Format_RGB32);
            QCOMPARE(shown, afresh);
            QCOMPARE(onScreen(), afresh);
        }
    }
}

QTEST_MAIN(TestRecordGrid)
#include "tst_record_grid.moc"

// Regression: the grid read as a bare widget to a screen reader, without a
// header, a row or a cell.
void TestRecordGrid::readsAsATableToAssistiveTechnology()
{
    installAccessibleViews();
    GridRig rig(0);
    for (int no = 1; no <= 300; ++no)
        rig.table.appendRow({no, QStringLiteral("12:%1:07").arg(no % 60, 2, 10, QLatin1Char('0')),
                             no % 3 ? "DC" : "", QString::number(no * 0.25, 'f', 3), no % 2 ? "V" : "mV",
                             no % 7 ? "pass" : "Fail", std::nullopt});
    rig.grid.setModel(nullptr);
    rig.grid.setModel(&rig.model);
    rig.follow();
    rig.showAndSettle();

    QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(&rig.grid);
    QVERIFY(grid);
    QCOMPARE(grid->role(), QAccessible::Table);
    QAccessibleTableInterface *table = grid->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 300);
    QCOMPARE(table->columnCount(), 6);
    QCOMPARE(grid->childCount(), 301 * 6);

    const QStringList headers{"No.", "Time", "Function", "Value", "Unit", "Judge"};
    for (int column = 0; column < 6; ++column) {
        QAccessibleInterface *header = grid->child(column);
        QCOMPARE(header->role(), QAccessible::ColumnHeader);
        QCOMPARE(header->text(QAccessible::Name), headers[column]);
        QCOMPARE(table->columnDescription(column), headers[column]);
    }
    for (int row = 0; row < 300; ++row) {
        for (int column = 0; column < 6; ++column) {
            QAccessibleInterface *cell = table->cellAt(row, column);
            QVERIFY(cell);
            QCOMPARE(cell->role(), QAccessible::Cell);
            QCOMPARE(cell->text(QAccessible::Name), rig.model.index(row, column).data().toString());
            QCOMPARE(cell->parent(), grid);
            QCOMPARE(grid->indexOfChild(cell), (row + 1) * 6 + column);
            QCOMPARE(grid->child((row + 1) * 6 + column), cell); // handed out once, kept
        }
    }
    QAccessibleTableCellInterface *cell = table->cellAt(41, 3)->tableCellInterface();
    QCOMPARE(cell->rowIndex(), 41);
    QCOMPARE(cell->columnIndex(), 3);
    QCOMPARE(cell->columnHeaderCells().value(0)->text(QAccessible::Name), QStringLiteral("Value"));

    // The current row, followed to the newest, is the selected one.
    QCOMPARE(table->selectedRows(), QList<int>{299});
    QCOMPARE(table->selectedCellCount(), 6);
    QVERIFY(table->cellAt(299, 0)->state().selected);
    QVERIFY(!table->cellAt(298, 0)->state().selected);
    QVERIFY(!table->cellAt(299, 0)->state().invisible);
    QVERIFY(table->cellAt(0, 0)->state().invisible); // scrolled away
    rig.grid.setFocus();
    QCOMPARE(grid->focusChild(), table->cellAt(299, 0));

    // A cell is found where it is drawn.
    const QRect drawn = table->cellAt(295, 2)->rect();
    QCOMPARE(grid->childAt(drawn.center().x(), drawn.center().y()), table->cellAt(295, 2));

    // Selecting through the interface moves the grid's selection.
    QVERIFY(table->selectRow(10));
    QCOMPARE(table->selectedRows(), QList<int>{10});
    QVERIFY(rig.grid.selectionModel()->isRowSelected(10, QModelIndex()));
}

// A screen reader hears of each recorded row and reads it; after New, the
// cells of rows that are gone say so instead of reading another row.
void TestRecordGrid::newRowsAreAnnouncedAndRead()
{
    installAccessibleViews();
    GridRig rig(200);
    rig.follow();
    rig.showAndSettle();
    AccessibilityListener listener;
    QAccessibleTableInterface *table = QAccessible::queryAccessibleInterface(&rig.grid)->tableInterface();
    QAccessibleInterface *last = table->cellAt(199, 0);
    QCOMPARE(last->text(QAccessible::Name), QStringLiteral("200"));

    rig.append(3);
    rig.follow();
    QList<AccessibilityListener::Event> inserted;
    for (const auto &e : listener.eventsOf(&rig.grid, QAccessible::TableModelChanged)) {
        if (e.change == QAccessibleTableModelChangeEvent::RowsInserted)
            inserted << e;
    }
    QCOMPARE(inserted.size(), 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(inserted[i].firstRow, 200 + i);
        QCOMPARE(inserted[i].lastRow, 200 + i);
    }
    QCOMPARE(table->rowCount(), 203);
    QCOMPARE(table->cellAt(199, 0), last); // rows appended move nothing
    QCOMPARE(table->cellAt(202, 0)->text(QAccessible::Name), QStringLiteral("203"));
    QCOMPARE(table->selectedRows(), QList<int>{202});

    rig.table.clear();
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(table->cellAt(0, 0), nullptr);
}
