#include "record/chart_control.h"
#include "record/chart_model.h"
#include "record/page_size_input.h"
#include "record/window_timer.h"

#include <QTest>

// Runs a sequence of pager operations after start-up (page size 100, the
// placeholder point at x = 0): "add N" adds N readings, "size N" changes the
// page size, "first", "prev", "next", "last" and "clear" press the buttons.
class TestChartControl : public QObject {
    Q_OBJECT
private slots:
    void startUp();
    void operations_data();
    void operations();
    void addPointNumbersXFromThePlaceholder();
    void clearWhileBrowsingResumesFollowing();
    void pageSizeEdit_data();
    void pageSizeEdit();
};

namespace {

void run(TChartControl &pager, const QString &script)
{
    for (const QString &step : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList words = step.trimmed().split(QLatin1Char(' '));
        const QString op = words[0];
        const int n = words.size() > 1 ? words[1].toInt() : 0;
        if (op == QLatin1String("add")) {
            for (int i = 0; i < n; ++i)
                pager.AddPoint(i);
        } else if (op == QLatin1String("size")) {
            pager.SetPageSize(n);
        } else if (op == QLatin1String("first")) {
            pager.First();
        } else if (op == QLatin1String("prev")) {
            pager.Previous();
        } else if (op == QLatin1String("next")) {
            pager.Next();
        } else if (op == QLatin1String("last")) {
            pager.Last();
        } else if (op == QLatin1String("clear")) {
            pager.Clear();
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
}

} // namespace

void TestChartControl::startUp()
{
    ChartModel chart;
    int changes = 0;
    chart.onChanged = [&] { ++changes; };
    TChartControl pager(chart, 100);
    QCOMPARE(chart.recordAxis.minimum, 1.0);
    QCOMPARE(chart.recordAxis.maximum, 100.0);
    QCOMPARE(pager.CurrentPage(), 1);
    QCOMPARE(pager.PageCount(), 1);
    QCOMPARE(pager.PageSize(), 100);
    QVERIFY(!pager.Browsing());
    QVERIFY(changes > 0);
}

void TestChartControl::operations_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<int>("currentPage");
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<bool>("browsing");

    // clang-format off
    QTest::newRow("99 readings stay on page 1")           << "add 99"                     << 1.0 << 100.0 << 1 << 1 << false;
    QTest::newRow("reading 100 turns the page number")    << "add 100"                    << 1.0 << 100.0 << 2 << 2 << false;
    QTest::newRow("reading 101 moves the window")         << "add 101"                    << 101.0 << 200.0 << 2 << 2 << false;
    QTest::newRow("previous stops following")             << "add 250; prev"              << 101.0 << 200.0 << 2 << 3 << true;
    QTest::newRow("browsing: new readings keep the view") << "add 250; prev; add 100"     << 101.0 << 200.0 << 2 << 4 << true;
    QTest::newRow("next short of the last page browses")  << "add 250; prev; add 100; next" << 201.0 << 300.0 << 3 << 4 << true;
    QTest::newRow("next to the last page follows")        << "add 250; prev; add 100; next; next" << 301.0 << 400.0 << 4 << 4 << false;
    QTest::newRow("following again after next")           << "add 250; prev; add 100; next; next; add 50" << 301.0 << 400.0 << 5 << 5 << false;
    QTest::newRow("first goes back all pages")            << "add 450; first"             << 1.0 << 100.0 << 1 << 5 << true;
    QTest::newRow("last from page 1 of five")             << "add 450; first; last"       << 401.0 << 500.0 << 5 << 5 << false;
    QTest::newRow("first with one page does nothing")     << "add 50; first"              << 1.0 << 100.0 << 1 << 1 << false;
    QTest::newRow("next with one page does nothing")      << "add 50; next"               << 1.0 << 100.0 << 1 << 1 << false;
    QTest::newRow("last with one page does nothing")      << "add 50; last"               << 1.0 << 100.0 << 1 << 1 << false;
    QTest::newRow("previous on page 1 does nothing")      << "add 50; prev"               << 1.0 << 100.0 << 1 << 1 << false;
    QTest::newRow("previous twice stops at page 1")       << "add 150; prev; prev"        << 1.0 << 100.0 << 1 << 2 << true;
    QTest::newRow("next on the last page does nothing")   << "add 150; next"              << 101.0 << 200.0 << 2 << 2 << false;
    QTest::newRow("page size 100 to 50 at 121 points")    << "add 120; size 50"           << 101.0 << 150.0 << 3 << 3 << false;
    QTest::newRow("page size change ends browsing")       << "add 450; first; size 200"   << 401.0 << 600.0 << 3 << 3 << false;
    QTest::newRow("the same page size changes nothing")   << "add 120; prev; size 100"    << 1.0 << 100.0 << 1 << 2 << true;
    QTest::newRow("page size 0 never reaches the pager")  << "add 120; size 0"            << 101.0 << 200.0 << 2 << 2 << false;
    QTest::newRow("page size 1 with no readings")         << "size 1"                     << 1.0 << 1.0 << 1 << 1 << false;
    // The page number turns one point before the window: going back from
    // there moves onto the placeholder's page, x -99 to 0.
    QTest::newRow("previous before the window moved")     << "add 100; prev"              << -99.0 << 0.0 << 1 << 2 << true;
    QTest::newRow("and next again")                       << "add 100; prev; next"        << 1.0 << 100.0 << 2 << 2 << false;
    QTest::newRow("clear goes to page 1, keeps the count") << "add 120; clear"            << 1.0 << 100.0 << 1 << 2 << false;
    QTest::newRow("after clear one reading")              << "add 120; clear; add 1"      << 1.0 << 100.0 << 1 << 1 << false;
    QTest::newRow("after clear reading 101 stays")        << "clear; add 101"             << 1.0 << 100.0 << 2 << 2 << false;
    QTest::newRow("after clear reading 102 moves")        << "clear; add 102"             << 101.0 << 200.0 << 2 << 2 << false;
    QTest::newRow("clear while browsing follows again")   << "add 450; prev; prev; clear; add 150" << 101.0 << 200.0 << 2 << 2 << false;
    // clang-format on
}

void TestChartControl::operations()
{
    QFETCH(QString, script);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(int, currentPage);
    QFETCH(int, pageCount);
    QFETCH(bool, browsing);

    ChartModel chart;
    TChartControl pager(chart, 100);
    chart.addPlaceholderPoint();
    run(pager, script);

    QCOMPARE(chart.recordAxis.minimum, minimum);
    QCOMPARE(chart.recordAxis.maximum, maximum);
    QCOMPARE(pager.CurrentPage(), currentPage);
    QCOMPARE(pager.PageCount(), pageCount);
    QCOMPARE(pager.Browsing(), browsing);
    QCOMPARE(chart.recordAxis.maximum - chart.recordAxis.minimum + 1, double(pager.PageSize()));
}

void TestChartControl::addPointNumbersXFromThePlaceholder()
{
    ChartModel chart;
    TChartControl pager(chart, 100);
    chart.addPlaceholderPoint();
    pager.AddPoint(1.5);
    pager.AddPoint(-2.5);
    QCOMPARE(chart.points.size(), std::size_t(3));
    QCOMPARE(chart.points[1], 1.5); // the n-th reading at x = n
    QCOMPARE(chart.points[2], -2.5);
    QCOMPARE(chart.greatestX(), 2.0);

    pager.Clear();
    QVERIFY(chart.points.empty());
    QCOMPARE(chart.greatestX(), 0.0);
    pager.AddPoint(7);
    QCOMPARE(chart.points[0], 7.0); // after Clear the first reading is at x = 0
}

void TestChartControl::clearWhileBrowsingResumesFollowing()
{
    ChartModel chart;
    TChartControl pager(chart, 10);
    chart.addPlaceholderPoint();
    run(pager, QStringLiteral("add 35; first; clear"));
    QVERIFY(!pager.Browsing());
    QCOMPARE(pager.CurrentPage(), 1);
    QCOMPARE(pager.PageCount(), 4); // left as it was until the next point
    pager.AddPoint(0);
    QCOMPARE(pager.PageCount(), 1);
}

void TestChartControl::pageSizeEdit_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<QString>("corrected");
    QTest::addColumn<QString>("error");
    QTest::newRow("50") << "50" << 50 << ""
                        << "";
    QTest::newRow("0 becomes 1") << "0" << 1 << "1"
                                 << "";
    QTest::newRow("emptied") << "" << 100 << ""
                             << "'' is not a valid integer value";
    QTest::newRow("pasted text") << "1x" << 100 << ""
                                 << "'1x' is not a valid integer value";
}

void TestChartControl::pageSizeEdit()
{
    QFETCH(QString, text);
    QFETCH(int, pageSize);
    QFETCH(QString, corrected);
    QFETCH(QString, error);
    ChartModel chart;
    TChartControl pager(chart, 100);
    chart.addPlaceholderPoint();
    ManualWindowTimer timer2(1000, true);
    PageSizeInput input(pager, timer2);
    QString written, reported;
    int shown = 0;
    input.onTextCorrected = [&](const QString &t) { written = t; };
    input.onError = [&](const QString &m) { reported = m; };
    input.onPageShown = [&](int page) { shown = page; };

    input.MaxrecordChange(text);
    QCOMPARE(timer2.periodStarts(), 1); // restarted: applied one period after the last change
    timer2.fire();
    QVERIFY(!timer2.isEnabled());
    QCOMPARE(pager.PageSize(), pageSize);
    QCOMPARE(written, corrected);
    QCOMPARE(reported, error);
    QCOMPARE(shown, error.isEmpty() ? 1 : 0);
}

QTEST_GUILESS_MAIN(TestChartControl)
#include "tst_chart_control.moc"
