#include "record/chart_control.h"
#include "ui/trend_chart.h"

#include <QImage>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestTrendChart : public QObject {
    Q_OBJECT
private slots:
    void showSeriesSelectsOneSeries();
    void followsTheModelAxes();
    void drawsTheWindowInBlue();
    void savesABitmap();
    void newPointRedrawsOnlyTheSeries();
    void newPointsShowAsAFullRedrawWould_data();
    void newPointsShowAsAFullRedrawWould();
};

namespace {

struct ChartRig {
    ChartModel model;
    TrendChart chart{model};
    TChartControl pager{model, 100};
    ChartRig()
    {
        model.valueAxis = {-4000, 4000};
        model.addPlaceholderPoint();
    }
    QImage render()
    {
        chart.replot();
        QImage image(chart.size(), QImage::Format_RGB32);
        chart.render(&image);
        return image;
    }
};

// Blue, or blue blended into the white by antialiasing.
bool isBlue(QRgb pixel)
{
    return qBlue(pixel) > 200 && qBlue(pixel) - qRed(pixel) > 100;
}

int bluePixels(const QImage &image)
{
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            n += isBlue(image.pixel(x, y));
    }
    return n;
}

} // namespace

void TestTrendChart::showSeriesSelectsOneSeries()
{
    ChartRig rig;
    QCOMPARE(rig.chart.size(), QSize(350, 316));
    QVERIFY(rig.chart.isSeriesActive(0));
    QVERIFY(!rig.chart.isSeriesActive(1));
    rig.chart.ShowSeries(1);
    QVERIFY(!rig.chart.isSeriesActive(0));
    QVERIFY(rig.chart.isSeriesActive(1));
    QCOMPARE(rig.model.activeSeries, 1);
    QCOMPARE(rig.chart.xAxis->label(), QStringLiteral("Record Number"));
    QCOMPARE(rig.chart.yAxis->label(), QStringLiteral("Value"));
    QCOMPARE(rig.chart.yAxis->basePen().style(), Qt::DashLine);
    QCOMPARE(rig.chart.yAxis->basePen().color(), QColor(0, 64, 128));
}

void TestTrendChart::followsTheModelAxes()
{
    ChartRig rig;
    for (int i = 0; i < 150; ++i)
        rig.pager.AddPoint(i);
    rig.model.valueAxis = {-6, 6};
    rig.render();
    QCOMPARE(rig.chart.xAxis->range().lower, 101.0);
    QCOMPARE(rig.chart.xAxis->range().upper, 200.0);
    QCOMPARE(rig.chart.yAxis->range().lower, -6.0);
    QCOMPARE(rig.chart.yAxis->range().upper, 6.0);
}

void TestTrendChart::drawsTheWindowInBlue()
{
    ChartRig rig;
    QCOMPARE(bluePixels(rig.render()), 0);
    for (int i = 0; i < 100; ++i)
        rig.pager.AddPoint(1000);
    const int area = bluePixels(rig.render());
    rig.chart.ShowSeries(1);
    const int line = bluePixels(rig.render());
    // The same points: a filled area below a flat line at 1000, or the line alone.
    QVERIFY(line > 0);
    QVERIFY(area > 20 * line);

    // Ten times as many points as pixels are thinned, not lost: a spike shows.
    for (int i = 0; i < 100000; ++i)
        rig.pager.AddPoint(i == 50000 ? 3900 : 0);
    rig.pager.SetPageSize(200000);
    const QImage image = rig.render();
    const int top = int(rig.chart.yAxis->coordToPixel(3900));
    int highest = image.height();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (isBlue(image.pixel(x, y)))
                highest = std::min(highest, y);
        }
    }
    QVERIFY2(std::abs(highest - top) <= 2, qPrintable(QString::number(highest) + " " + QString::number(top)));
}

void TestTrendChart::savesABitmap()
{
    ChartRig rig;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chart.bmp"));
    QVERIFY(rig.chart.saveChartBitmap(path));
    QCOMPARE(QImage(path).size(), QSize(350, 316));
}

// Points added inside the page show without redrawing axes and labels; a
// new page or a new value axis redraws the whole chart, once per pass of
// the event loop.
void TestTrendChart::newPointRedrawsOnlyTheSeries()
{
    ChartRig rig;
    rig.chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.chart));
    QCoreApplication::processEvents();
    QSignalSpy fullReplots(&rig.chart, &QCustomPlot::beforeReplot);
    const auto shown = [&] {
        QCoreApplication::processEvents();
        return bluePixels(rig.chart.grab().toImage());
    };

    int before = shown();
    for (int step = 0; step < 5; ++step) {
        for (int i = 0; i < 10; ++i)
            rig.pager.AddPoint(2000);
        const int now = shown();
        QVERIFY2(now > before, qPrintable(QStringLiteral("step %1").arg(step)));
        before = now;
    }
    QCOMPARE(fullReplots.count(), 0);

    for (int i = 0; i < 60; ++i) // onto the next page
        rig.pager.AddPoint(2000);
    shown();
    QCOMPARE(fullReplots.count(), 1);
    QCOMPARE(rig.chart.xAxis->range().lower, 101.0);

    rig.model.valueAxis = {-6, 6};
    rig.chart.refresh();
    rig.chart.refresh();
    shown();
    QCOMPARE(fullReplots.count(), 2);
    QCOMPARE(rig.chart.yAxis->range().upper, 6.0);
}

void TestTrendChart::newPointsShowAsAFullRedrawWould_data()
{
    QTest::addColumn<int>("series");
    QTest::addColumn<int>("pageSize");
    QTest::newRow("area") << 0 << 100;
    QTest::newRow("line") << 1 << 100;
    QTest::newRow("area, more points than pixels") << 0 << 2000;
    QTest::newRow("line, more points than pixels") << 1 << 2000;
}

// What the screen shows after points drawn one poll at a time is what a
// whole redraw of the chart shows, pixel for pixel.
void TestTrendChart::newPointsShowAsAFullRedrawWould()
{
    QFETCH(int, series);
    QFETCH(int, pageSize);
    ChartRig rig;
    rig.pager.SetPageSize(pageSize);
    rig.chart.ShowSeries(series);
    rig.chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.chart));
    QCoreApplication::processEvents();
    QSignalSpy fullReplots(&rig.chart, &QCustomPlot::beforeReplot);
    const auto onScreen = [&] {
        QCoreApplication::processEvents();
        // The window's paint is due on a timer; it comes now.
        QEvent paintDue(QEvent::UpdateRequest);
        QCoreApplication::sendEvent(&rig.chart, &paintDue);
        return rig.chart.screen()
            ->grabWindow(rig.chart.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    onScreen();
    for (int i = 0; i < pageSize / 2; ++i) {
        // Steps up and down, and one or two points a poll.
        rig.pager.AddPoint((i * 1237) % 7000 - 3500);
        if (i % 3 == 0)
            rig.pager.AddPoint((i * 311) % 5000 - 2500);
        const int replotsBefore = fullReplots.count();
        const QImage shown = onScreen();
        QCOMPARE(fullReplots.count(), replotsBefore);
        if (i == pageSize / 8 || i == pageSize / 2 - 1) // a whole redraw starts the next stretch afresh
            QCOMPARE(shown, rig.render().convertToFormat(QImage::Format_RGB32));
    }
}

QTEST_MAIN(TestTrendChart)
#include "tst_trend_chart.moc"
