#include "record/measurement_table.h"
#include "ui/report_preview.h"
#include "ui/table_report.h"

#include <QAccessible>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <set>

namespace {

MeasurementTable tableOf(int rows)
{
    MeasurementTable table;
    for (int i = 1; i <= rows; ++i)
        table.appendRow({i, "12:00:00", "DC", QString::number(i % 4000), "V", "pass", std::nullopt});
    return table;
}

// The report, counting which pages were drawn.
class WatchedReport : public PagedDocument {
public:
    explicit WatchedReport(const TableReport &report) : m_report(report) {}
    int pageCount() const override { return m_report.pageCount(); }
    QPageLayout pageLayout() const override { return m_report.pageLayout(); }
    void paintPage(QPainter &painter, int page) const override
    {
        drawn.insert(page);
        ++draws;
        m_report.paintPage(painter, page);
    }
    mutable std::set<int> drawn;
    mutable int draws = 0;

private:
    const TableReport &m_report;
};

// Shows the preview at a size and waits until it is on screen.
bool showAt(ReportPreview &preview, QSize size)
{
    preview.resize(size);
    preview.show();
    return QTest::qWaitForWindowExposed(&preview);
}

void paintNow(ReportPreview &preview)
{
    preview.view()->viewport()->repaint();
}

} // namespace

class TestReportPreview : public QObject {
    Q_OBJECT

private slots:
    void drawsOnlyThePageShown();
    void pageOnScreenIsTheReportsPage();
    void zoomsFitTheView();
    void printingStreamsAndStops();
    void readByAScreenReader();
};

// Regression: the preview drew all 2,703 pages of a hundred thousand rows
// before showing the first (15 s, 700 MB); it draws the page on screen only.
void TestReportPreview::drawsOnlyThePageShown()
{
    const MeasurementTable table = tableOf(100000);
    const TableReport report(table, table.rowCount());
    const WatchedReport watched(report);
    ReportPreview preview(watched);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    paintNow(preview);
    QCOMPARE(preview.pageText().trimmed(), QStringLiteral("1 of 2703"));
    QCOMPARE(watched.drawn, std::set<int>{0});

    QTest::keyClick(preview.view(), Qt::Key_End, Qt::ControlModifier);
    paintNow(preview);
    QCOMPARE(preview.view()->page(), 2702);
    QCOMPARE(preview.pageText().trimmed(), QStringLiteral("2703 of 2703"));
    QTest::keyClick(preview.view(), Qt::Key_PageUp);
    paintNow(preview);
    QCOMPARE(watched.drawn, (std::set<int>{0, 2701, 2702}));
    QVERIFY(watched.draws <= 10);
    QCOMPARE(preview.view()->pagesDrawn(), watched.draws);

    QTest::keyClick(preview.view(), Qt::Key_PageDown);
    QTest::keyClick(preview.view(), Qt::Key_PageDown); // past the last: stays
    QCOMPARE(preview.view()->page(), 2702);
}

// What the preview shows on its paper is the report's page as drawn on any
// device: same items, same places, at the view's scale.
void TestReportPreview::pageOnScreenIsTheReportsPage()
{
    const MeasurementTable table = tableOf(80);
    const TableReport report(table, table.rowCount());
    ReportPreview preview(report);
    QVERIFY(showAt(preview, {500, 700}));
    preview.view()->setPage(1);
    const QRect paper = preview.view()->paperRect();
    const QImage shown =
        preview.view()->viewport()->grab(paper).toImage().convertToFormat(QImage::Format_RGB32);

    QImage fresh(paper.size(), QImage::Format_RGB32);
    fresh.setDevicePixelRatio(shown.devicePixelRatio());
    fresh.fill(Qt::white);
    {
        QPainter p(&fresh);
        const qreal scale = preview.view()->scale();
        const qreal perMm = preview.view()->viewport()->logicalDpiX() / 25.4;
        p.scale(scale, scale);
        p.translate(TableReport::Margin * perMm, TableReport::Margin * perMm);
        report.paintPage(p, 1);
    }
    QCOMPARE(shown.size(), fresh.size());
    QVERIFY(shown == fresh);
    int dark = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            dark += qGray(shown.pixel(x, y)) < 128;
    QVERIFY(dark > 500); // the page has its texts, not a blank sheet
}

void TestReportPreview::zoomsFitTheView()
{
    const MeasurementTable table = tableOf(10);
    const TableReport report(table, table.rowCount());
    ReportPreview preview(report);
    QVERIFY(showAt(preview, {600, 500}));
    PageView *view = preview.view();
    const QRect area = view->viewport()->rect();

    QCOMPARE(view->zoom(), PageView::Zoom::WholePage);
    QVERIFY(area.contains(view->paperRect()));
    QVERIFY(qAbs(view->paperRect().height() - (area.height() - 24)) <= 1); // A4 is taller than wide

    view->setZoom(PageView::Zoom::PageWidth);
    QVERIFY(qAbs(view->paperRect().width() - (area.width() - 24)) <= 1);
    QVERIFY(view->verticalScrollBar()->maximum() > 0);

    view->setZoom(PageView::Zoom::ActualSize);
    QCOMPARE(view->scale(), 1.0);
    const qreal a4Width = 210 / 25.4 * view->viewport()->logicalDpiX();
    QVERIFY(qAbs(view->paperRect().width() - a4Width) <= 1);
    view->verticalScrollBar()->setValue(view->verticalScrollBar()->maximum());
    QCOMPARE(view->paperRect().bottom() + 12, area.bottom()); // the foot of the page in reach
}

// Printing streams the pages one after the other; a stop ends it there.
void TestReportPreview::printingStreamsAndStops()
{
    const MeasurementTable table = tableOf(100);
    const TableReport report(table, table.rowCount());
    const WatchedReport watched(report);
    QTemporaryDir dir;

    QPdfWriter whole(dir.filePath("whole.pdf"));
    QList<int> told;
    QVERIFY(watched.print(whole, [&](int page) {
        told << page;
        return true;
    }));
    QCOMPARE(told, (QList<int>{0, 1, 2}));

    watched.drawn.clear();
    QPdfWriter stopped(dir.filePath("stopped.pdf"));
    QVERIFY(!watched.print(stopped, [](int page) { return page < 1; }));
    QCOMPARE(watched.drawn, (std::set<int>{0, 1}));
    QCOMPARE(whole.pageLayout().pageSize().id(), QPageSize::A4);
}

// The page and the controls as a screen reader finds them, and the keys that
// page through the report from the page itself.
void TestReportPreview::readByAScreenReader()
{
    const MeasurementTable table = tableOf(100);
    const TableReport report(table, table.rowCount());
    ReportPreview preview(report);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QAccessibleInterface *page = QAccessible::queryAccessibleInterface(preview.view());
    QCOMPARE(page->text(QAccessible::Name), QStringLiteral("Report page"));
    QCOMPARE(page->text(QAccessible::Description), QStringLiteral("1 of 3"));
    QVERIFY(page->state().focusable);

    QTest::keyClick(preview.view(), Qt::Key_PageDown);
    QCOMPARE(page->text(QAccessible::Description), QStringLiteral("2 of 3"));

    QHash<QString, QAccessibleInterface *> buttons;
    for (QToolButton *button : preview.findChildren<QToolButton *>()) {
        QAccessibleInterface *control = QAccessible::queryAccessibleInterface(button);
        if (control->role() == QAccessible::Button || control->role() == QAccessible::CheckBox)
            buttons.insert(control->text(QAccessible::Name), control);
    }
    for (const char *name :
         {"Whole page", "100 %", "Page width", "First", "Previous", "Next", "Last", "Page setup", "Print"})
        QVERIFY2(buttons.contains(QLatin1String(name)), name);
    buttons.value(QStringLiteral("Last"))
        ->actionInterface()
        ->doAction(QAccessibleActionInterface::pressAction());
    QCOMPARE(page->text(QAccessible::Description), QStringLiteral("3 of 3"));
}

QTEST_MAIN(TestReportPreview)
#include "tst_report_preview.moc"
