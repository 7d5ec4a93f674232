#include "chart_control.h"

TChartControl::TChartControl(ChartModel &Chart, int PageSize) : m_chart(Chart)
{
    SetPageSize(PageSize < 1 ? 1 : PageSize);
    m_chart.recordAxis = {1, double(m_pageSize)};
    m_pageCount = 1;
    m_currentPage = 1;
    m_chart.changed();
}

int TChartControl::pagesFor(int points) const
{
    return points / m_pageSize + (points % m_pageSize > 0 ? 1 : 0);
}

void TChartControl::scroll(int Offset)
{
    AxisRange &window = m_chart.recordAxis;
    const bool dataBeyond =
        Offset > 0 ? m_chart.greatestX() > window.maximum : m_chart.leastX() < window.minimum;
    if (!dataBeyond)
        return;
    window.minimum += Offset;
    window.maximum += Offset;
}

void TChartControl::AddPoint(double Value)
{
    m_chart.points.push_back(Value);
    m_pageCount = pagesFor(int(m_chart.points.size()));
    if (!m_browsing) {
        scroll(m_pageSize);
        m_currentPage = m_pageCount;
    }
    m_chart.changed();
}

void TChartControl::SetPageSize(int N)
{
    if (N < 1 || N == m_pageSize)
        return;
    m_pageSize = N;
    m_chart.recordAxis = {1, double(N)};
    m_pageCount = pagesFor(int(m_chart.points.size()));
    for (int i = 1; i < m_pageCount; ++i)
        scroll(N);
    m_currentPage = m_pageCount;
    m_browsing = false;
    m_chart.changed();
}

void TChartControl::First()
{
    if (m_pageCount <= 1 || m_currentPage == 1)
        return;
    for (int i = 1; i < m_currentPage; ++i)
        scroll(-m_pageSize);
    m_currentPage = 1;
    m_browsing = true;
    m_chart.changed();
}

void TChartControl::Previous()
{
    if (m_currentPage <= 1)
        return;
    scroll(-m_pageSize);
    --m_currentPage;
    m_browsing = true;
    m_chart.changed();
}

void TChartControl::Next()
{
    if (m_pageCount <= 1 || m_currentPage == m_pageCount)
        return;
    scroll(m_pageSize);
    ++m_currentPage;
    m_browsing = m_currentPage != m_pageCount;
    m_chart.changed();
}

void TChartControl::Last()
{
    if (m_pageCount <= 1 || m_currentPage == m_pageCount)
        return;
    for (int i = m_currentPage; i < m_pageCount; ++i)
        scroll(m_pageSize);
    m_currentPage = m_pageCount;
    m_browsing = false;
    m_chart.changed();
}

void TChartControl::Clear()
{
    First();
    std::deque<double>().swap(m_chart.points); // give the memory back
    m_browsing = false;
    m_chart.changed();
}
