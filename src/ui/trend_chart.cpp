#include "trend_chart.h"

#include <QAccessible>

#include <algorithm>
#include <cmath>

namespace {

const QColor kPointColour(0, 0, 255);
const QColor kAreaOutline(0, 128, 255);
const QColor kValueAxisLine(0, 64, 128);

class FourSubTicks : public QCPAxisTicker {
protected:
    int getSubTickCount(double) override { return 4; }
};

} // namespace

// One series over the model's shared points; x is the point's index.
class TrendPlottable : public QCPAbstractPlottable {
public:
    TrendPlottable(const ChartModel &model, bool filled, QCPAxis *keyAxis, QCPAxis *valueAxis)
        : QCPAbstractPlottable(keyAxis, valueAxis), m_model(model), m_filled(filled)
    {
    }

    double selectTest(const QPointF &, bool, QVariant *) const override { return -1; }

    // Draws as the layer would, but only inside `area`: of a page's
    // trace only the stretch that reaches into it.
    void drawWithin(QCPPainter *painter, const QRect &area)
    {
        painter->save();
        painter->setClipRect(clipRect().translated(0, -1) & area);
        applyDefaultAntialiasingHint(painter);
        drawLine(painter, stretchWithin(visibleLine(), area));
        painter->restore();
    }
    double pixelOfKey(double key) const { return keyAxis()->coordToPixel(key); }
    // Where drawWithin can put pixels.
    QRect drawingArea() const { return clipRect().adjusted(0, -1, 0, 0); }

    // The points drawn of `pointCount`, and whether they are drawn as the
    // least and greatest value of each pixel column.
    struct Span {
        std::size_t first, end;
        bool decimated;
    };
    Span visibleSpan(std::size_t pointCount) const;
    QCPRange getKeyRange(bool &foundRange, QCP::SignDomain) const override
    {
        foundRange = !m_model.points.empty();
        return QCPRange(m_model.leastX(), m_model.greatestX());
    }
    // Never asked for: the axes are set by hand, not rescaled to the data.
    QCPRange getValueRange(bool &foundRange, QCP::SignDomain, const QCPRange &) const override
    {
        foundRange = false;
        return {};
    }

protected:
    void draw(QCPPainter *painter) override { drawLine(painter, visibleLine()); }
    void drawLegendIcon(QCPPainter *painter, const QRectF &rect) const override
    {
        painter->fillRect(rect, kPointColour);
    }

private:
    QPolygonF visibleLine() const;
    void drawLine(QCPPainter *painter, const QPolygonF &line) const;
    static QPolygonF stretchWithin(const QPolygonF &line, const QRect &area);
    QPointF pixel(double key, double value) const
    {
        // Far-off values would overflow the painter's coordinates.
        QPointF p = coordsToPixels(key, value);
        p.setY(std::clamp(p.y(), -1e6, 1e6));
        return p;
    }

    const ChartModel &m_model;
    bool m_filled;
};

TrendPlottable::Span TrendPlottable::visibleSpan(std::size_t pointCount) const
{
    // The points in the window and one beyond each edge, so lines reach it.
    const QCPRange window = keyAxis()->range();
    const double last = double(pointCount - 1);
    const double from = std::clamp(std::floor(window.lower) - 1, 0.0, last);
    const double to = std::clamp(std::ceil(window.upper) + 1, 0.0, last);
    Span span{std::size_t(from), std::size_t(to) + 1, false};
    const double columns = std::max(1, keyAxis()->axisRect()->width());
    span.decimated = double(span.end - span.first) > 4 * columns;
    return span;
}

QPolygonF TrendPlottable::visibleLine() const
{
    const std::deque<double> &points = m_model.points;
    if (points.empty())
        return {};
    const auto [first, end, decimated] = visibleSpan(points.size());

    QPolygonF line;
    if (!decimated) {
        line.reserve(int(end - first));
        for (std::size_t i = first; i < end; ++i)
            line << pixel(double(i), points[i]);
        return line;
    }
    // More points than pixels: the least and greatest value of each pixel
    // column keep the shape of the trace.
    int column = INT_MIN;
    double low = 0, high = 0;
    const auto flush = [&] {
        if (column == INT_MIN)
            return;
        line << pixel(keyAxis()->pixelToCoord(column), low) << pixel(keyAxis()->pixelToCoord(column), high);
    };
    for (std::size_t i = first; i < end; ++i) {
        const int c = int(keyAxis()->coordToPixel(double(i)));
        const double v = points[i];
        if (c != column) {
            flush();
            column = c;
            low = high = v;
        } else {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    flush();
    return line;
}

// The points of `line` (left to right) whose segments can put pixels
// into `area`. The stretch ends beyond the area by more than a pen's
// reach, so the sides that close the area below it stay outside too.
QPolygonF TrendPlottable::stretchWithin(const QPolygonF &line, const QRect &area)
{
    constexpr double kReach = 3; // pixels
    const auto byX = [](const QPointF &p, double x) { return p.x() < x; };
    const auto from = std::lower_bound(line.cbegin(), line.cend(), area.left() - kReach, byX);
    const auto to = std::lower_bound(from, line.cend(), area.right() + 1 + kReach, byX);
    const auto first = from == line.cbegin() ? from : from - 1;
    const auto end = to == line.cend() ? to : to + 1;
    return QPolygonF(QList<QPointF>(first, end));
}

void TrendPlottable::drawLine(QCPPainter *painter, const QPolygonF &line) const
{
    if (line.size() < 2)
        return;
    if (m_filled) {
        // The area reaches down to the bottom of the value axis.
        const double base = valueAxis()->coordToPixel(valueAxis()->range().lower);
        QPolygonF area = line;
        area << QPointF(line.last().x(), base) << QPointF(line.first().x(), base);
        applyFillAntialiasingHint(painter);
        painter->setPen(QPen(kAreaOutline));
        painter->setBrush(kPointColour);
        painter->drawPolygon(area);
    } else {
        applyDefaultAntialiasingHint(painter);
        painter->setPen(QPen(kPointColour, 1));
        painter->setBrush(Qt::NoBrush);
        painter->drawPolyline(line);
    }
}

TrendChart::TrendChart(ChartModel &model, QWidget *parent) : QCustomPlot(parent), m_model(model)
{
    resize(DefaultWidth, DefaultHeight);
    setBackground(Qt::white);
    setInteractions(QCP::Interactions());
    legend->setVisible(false);
    plotLayout()->insertRow(0);
    plotLayout()->addElement(0, 0, new QCPTextElement(this, QStringLiteral("  ")));

    xAxis->setLabel(QStringLiteral("Record Number"));
    m_recordTicker = xAxis->ticker();
    auto single = QSharedPointer<QCPAxisTickerFixed>::create();
    single->setTickStep(1);
    single->setScaleStrategy(QCPAxisTickerFixed::ssNone);
    m_singleRecordTicker = single;
    yAxis->setLabel(QStringLiteral("Value"));
    yAxis->setBasePen(QPen(kValueAxisLine, 1, Qt::DashLine));
    yAxis->setTicker(QSharedPointer<QCPAxisTicker>(new FourSubTicks));

    // The series draw into a layer buffer of their own, so a new point
    // does not redraw the axes, the grid and the labels.
    addLayer(QStringLiteral("series"), layer(QStringLiteral("main")), limAbove);
    m_seriesLayer = layer(QStringLiteral("series"));
    m_seriesLayer->setMode(QCPLayer::lmBuffered);
    // Nothing is drawn on the overlay (there are no interactions); a buffer
    // of its own would be copied onto every paint all the same.
    layer(QStringLiteral("overlay"))->setMode(QCPLayer::lmLogical);

    // Index order: 0 the filled area, 1 the line.
    m_series[0] = new TrendPlottable(m_model, true, xAxis, yAxis);
    m_series[1] = new TrendPlottable(m_model, false, xAxis, yAxis);
    for (TrendPlottable *series : m_series) {
        series->setLayer(m_seriesLayer);
        series->setAntialiasedFill(false); // a smooth edge on the area costs a third of its drawing
    }
    ShowSeries(m_model.activeSeries);

    connect(this, &QCustomPlot::beforeReplot, this, &TrendChart::syncAxes);
    m_model.onChanged = [this] { refresh(); };
    syncAxes();
}

TrendChart::~TrendChart()
{
    m_model.onChanged = nullptr;
}

void TrendChart::ShowSeries(int Index)
{
    for (TrendPlottable *series : m_series)
        series->setVisible(false);
    if (Index < 0 || Index > 1)
        return;
    m_series[Index]->setVisible(true);
    m_model.activeSeries = Index;
    m_fullReplotDue = true;
    refresh();
}

bool TrendChart::isSeriesActive(int Index) const
{
    return Index >= 0 && Index <= 1 && m_series[Index]->visible();
}

void TrendChart::refresh()
{
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, &TrendChart::flushRefresh, Qt::QueuedConnection);
}

void TrendChart::flushRefresh()
{
    m_refreshQueued = false;
    const std::size_t points = m_model.points.size();
    if (m_fullReplotDue || xAxis->range() != wantedRecordRange() || yAxis->range() != wantedValueRange() ||
        points < m_drawnPoints) {
        // Drawn into the buffers now, shown with the window's next paint
        // rather than in a paint and display round trip of its own.
        replot(rpQueuedRefresh);
    } else if (points > m_drawnPoints && double(m_drawnPoints) <= xAxis->range().upper + 1) {
        // New points reach into the page (a line runs to the first point beyond it).
        drawNewPoints(points);
    }
    m_drawnPoints = points;
}

namespace {

// The buffer a layer of its own draws into.
struct LayerBuffer : QCPLayer {
    static QSharedPointer<QCPAbstractPaintBuffer> of(QCPLayer *layer)
    {
        return (layer->*(&LayerBuffer::mPaintBuffer)).toStrongRef();
    }
};

} // namespace

// A layer replot clears and redraws its whole buffer and repaints the whole
// widget; new points at the end change only the strip from the last drawn
// point to the newest, so only that strip is redrawn and repainted.
void TrendChart::drawNewPoints(std::size_t points)
{
    const QSharedPointer<QCPAbstractPaintBuffer> buffer = LayerBuffer::of(m_seriesLayer);
    TrendPlottable *shown = m_series[m_model.activeSeries == 0 ? 0 : 1];
    // Points enough to be drawn by pixel columns change the whole trace.
    if (!buffer || hasInvalidatedPaintBuffers() || m_drawnPoints == 0 ||
        shown->visibleSpan(m_drawnPoints).decimated != shown->visibleSpan(points).decimated) {
        m_seriesLayer->replot();
        return;
    }
    // Room for the line's cap and join and the area's outline either side.
    constexpr int kMargin = 3;
    const double from = shown->pixelOfKey(double(m_drawnPoints - 1));
    const double to = shown->pixelOfKey(double(points - 1));
    const int left = int(std::floor(std::min(from, to))) - kMargin;
    const int right = int(std::ceil(std::max(from, to))) + kMargin;
    // The series draw inside the axis rectangle only.
    const QRect plotArea = shown->drawingArea();
    const QRect strip = QRect(left, plotArea.top(), right - left + 1, plotArea.height()) & rect();
    if (strip.isEmpty())
        return;
    QCPPainter *painter = buffer->startPainting();
    if (painter->isActive()) {
        painter->setCompositionMode(QPainter::CompositionMode_Source);
        painter->fillRect(strip, Qt::transparent);
        painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
        for (TrendPlottable *series : m_series) {
            if (series->realVisibility())
                series->drawWithin(painter, strip);
        }
    }
    delete painter;
    buffer->donePainting();
    update(strip);
}

QCPRange TrendChart::wantedRecordRange() const
{
    const AxisRange &records = m_model.recordAxis;
    if (records.maximum > records.minimum)
        return QCPRange(records.minimum, records.maximum);
    // A page of one point: the plot refuses a window of no width, so the
    // point gets half a record either side.
    return QCPRange(records.minimum - 0.5, records.minimum + 0.5);
}

QCPRange TrendChart::wantedValueRange() const
{
    return QCPRange(m_model.valueAxis.minimum, m_model.valueAxis.maximum);
}

void TrendChart::syncAxes()
{
    const AxisRange &records = m_model.recordAxis;
    // One point on a page gets its one tick on it.
    xAxis->setTicker(records.maximum > records.minimum ? m_recordTicker : m_singleRecordTicker);
    xAxis->setRange(wantedRecordRange());
    yAxis->setRange(wantedValueRange());
    m_fullReplotDue = false;
    m_drawnPoints = m_model.points.size();
    if (QAccessible::isActive()) {
        QString words = pageDescription();
        if (words != m_announced) {
            m_announced = std::move(words);
            QAccessibleEvent event(this, QAccessible::DescriptionChanged);
            QAccessible::updateAccessibility(&event);
        }
    }
}

QString TrendChart::pageDescription() const
{
    const auto [page, pages] = m_pageNumbers ? m_pageNumbers() : std::pair(1, 1);
    const AxisRange &records = m_model.recordAxis;
    const AxisRange &values = m_model.valueAxis;
    return QStringLiteral("Page %1 of %2, records %3 to %4, values %5 to %6")
        .arg(page)
        .arg(pages)
        .arg(records.minimum, 0, 'g', 10)
        .arg(records.maximum, 0, 'g', 10)
        .arg(values.minimum, 0, 'g', 10)
        .arg(values.maximum, 0, 'g', 10);
}
