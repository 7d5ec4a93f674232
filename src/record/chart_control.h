#pragma once

#include "chart_model.h"

// Moves a window of PageSize record numbers over the chart's points, page by
// page, following the newest point unless the user is browsing an older
// page. Paging only moves the window; it never copies or drops points.
class TChartControl {
public:
    // PageSize must be at least 1.
    TChartControl(ChartModel &Chart, int PageSize);

    void AddPoint(double Value);
    // Page sizes below 1 are refused (nothing changes); callers correct them.
    void SetPageSize(int N);
    void First();
    void Previous();
    void Next();
    void Last();
    void Clear();

    int CurrentPage() const { return m_currentPage; }
    int PageSize() const { return m_pageSize; }
    int PageCount() const { return m_pageCount; }
    bool Browsing() const { return m_browsing; }

private:
    // Moves both ends of the window by Offset, only where there are points
    // beyond the window in that direction.
    void scroll(int Offset);
    int pagesFor(int points) const;

    ChartModel &m_chart;
    int m_currentPage = 0;
    int m_pageSize = 0;
    int m_pageCount = 0;
    bool m_browsing = false;
};
