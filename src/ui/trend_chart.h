#pragma once

#include "record/chart_model.h"

#include <qcustomplot.h>

#include <functional>
#include <utility>

class TrendPlottable;

// The trend chart: the chart model's points as a filled area (series 0) or a
// line (series 1), one of them shown, over the pager's window of record
// numbers and the value axis of the range rules. Draws only the points in
// the window, so a repaint costs the same at a thousand or ten million points.
class TrendChart : public QCustomPlot {
    Q_OBJECT
public:
    static constexpr int DefaultWidth = 350;
    static constexpr int DefaultHeight = 316;

    explicit TrendChart(ChartModel &model, QWidget *parent = nullptr);
    ~TrendChart() override;

    // Makes series Index (0 area, 1 line) the only one drawn.
    void ShowSeries(int Index);
    bool isSeriesActive(int Index) const;

    // Repaints with the model's current axes and points, once for all the
    // calls before the event loop comes round: a new point inside the page
    // redraws only the series' layer; axes are redrawn when they change.
    void refresh();

    // Where the page numbers come from (the pager); read only when a screen
    // reader asks what the chart shows.
    void setPageNumbers(std::function<std::pair<int, int>()> currentAndCount)
    {
        m_pageNumbers = std::move(currentAndCount);
    }
    // "Page 2 of 3, records 101 to 200, values -4 to 4"
    QString pageDescription() const;

    // The picture of the chart at its current size, as a BMP file.
    bool saveChartBitmap(const QString &fileName) { return saveBmp(fileName); }

private:
    void syncAxes();
    void flushRefresh();
    void drawNewPoints(std::size_t points);
    QCPRange wantedRecordRange() const;
    QCPRange wantedValueRange() const;

    ChartModel &m_model;
    TrendPlottable *m_series[2];
    QSharedPointer<QCPAxisTicker> m_recordTicker;
    QSharedPointer<QCPAxisTicker> m_singleRecordTicker;
    QCPLayer *m_seriesLayer = nullptr; // buffered on its own
    bool m_refreshQueued = false;
    bool m_fullReplotDue = true;
    std::size_t m_drawnPoints = 0;
    std::function<std::pair<int, int>()> m_pageNumbers;
    QString m_announced; // the description a screen reader last heard
};
