#include "record_grid.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <algorithm>

namespace {

constexpr int kCellPadding = 2; // pixels between a cell's edge and its text

// A scroll bar that repaints only when it would look different. With a
// long table every new row moves the range and the value, but the slider
// stays on the same pixels for thousands of rows. A new row first widens
// the range and then moves the value to the end, so the look is compared
// once both are done.
class QuietScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override
    {
        if (change == SliderOrientationChange)
            return QScrollBar::sliderChange(change);
        if (m_checkDue)
            return;
        m_checkDue = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_checkDue = false;
                if (look() != m_painted)
                    QScrollBar::sliderChange(SliderValueChange);
            },
            Qt::QueuedConnection);
    }
    void paintEvent(QPaintEvent *event) override
    {
        m_painted = look();
        QScrollBar::paintEvent(event);
    }

private:
    struct Look {
        QRect slider;
        bool atMinimum = false;
        bool atMaximum = false;
        bool operator==(const Look &o) const
        {
            return slider == o.slider && atMinimum == o.atMinimum && atMaximum == o.atMaximum;
        }
        bool operator!=(const Look &o) const { return !(*this == o); }
    };
    Look look() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
                value() == minimum(), value() == maximum()};
    }
    Look m_painted;
    bool m_checkDue = false;
};

} // namespace

RecordGrid::RecordGrid(QWidget *parent)
    : QAbstractItemView(parent), m_header(new QHeaderView(Qt::Horizontal, this))
{
    m_header->setHighlightSections(false);
    m_header->setSectionsClickable(false);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateGeometries();
        viewport()->update();
    });
    setVerticalScrollBar(new QuietScrollBar(Qt::Vertical, this));
    setVerticalScrollMode(ScrollPerItem);
    setHorizontalScrollMode(ScrollPerPixel);
}

void RecordGrid::setModel(QAbstractItemModel *model)
{
    QAbstractItemView::setModel(model);
    m_header->setModel(model);
    updateGeometries();
}

void RecordGrid::setRowHeight(int pixels)
{
    m_rowHeight = std::max(1, pixels);
    updateGeometries();
    viewport()->update();
}

int RecordGrid::columnWidth(int column) const
{
    return m_header->sectionSize(column);
}

void RecordGrid::setColumnWidth(int column, int width)
{
    m_header->resizeSection(column, width);
}

void RecordGrid::setGrowingColumn(int column)
{
    m_growingColumn = column;
    m_growingLength = 0;
    if (model())
        fitGrowingColumn(0, model()->rowCount(rootIndex()) - 1);
}

int RecordGrid::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int RecordGrid::fullyVisibleRowCount() const
{
    return std::max(1, viewport()->height() / m_rowHeight);
}

QRect RecordGrid::rowRect(int row) const
{
    return QRect(-horizontalOffset(), (row - firstVisibleRow()) * m_rowHeight, m_header->length(),
                 m_rowHeight);
}

QRect RecordGrid::visualRect(const QModelIndex &index) const
{
    if (!index.isValid() || index.parent() != rootIndex())
        return {};
    const QRect row = rowRect(index.row());
    return QRect(m_header->sectionViewportPosition(index.column()), row.top(),
                 m_header->sectionSize(index.column()), m_rowHeight);
}

void RecordGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (!index.isValid())
        return;
    const int row = index.row();
    const int first = firstVisibleRow();
    const int shown = fullyVisibleRowCount();
    int top = first;
    switch (hint) {
    case EnsureVisible:
        if (row < first)
            top = row;
        else if (row >= first + shown)
            top = row - shown + 1;
        break;
    case PositionAtTop:
        top = row;
        break;
    case PositionAtBottom:
        top = row - shown + 1;
        break;
    case PositionAtCenter:
        top = row - shown / 2;
        break;
    }
    verticalScrollBar()->setValue(top); // the scroll bar keeps it in range
}

QModelIndex RecordGrid::indexAt(const QPoint &point) const
{
    if (!model() || point.y() < 0)
        return {};
    const int row = firstVisibleRow() + point.y() / m_rowHeight;
    const int column = m_header->logicalIndexAt(point.x());
    if (row >= model()->rowCount(rootIndex()) || column < 0)
        return {};
    return model()->index(row, column, rootIndex());
}

QModelIndex RecordGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers)
{
    if (!model())
        return {};
    const int rows = model()->rowCount(rootIndex());
    const int columns = model()->columnCount(rootIndex());
    if (rows == 0 || columns == 0)
        return {};
    const QModelIndex current = currentIndex();
    int row = current.isValid() ? current.row() : 0;
    int column = current.isValid() ? current.column() : 0;
    const int page = fullyVisibleRowCount();
    switch (cursorAction) {
    case MoveUp:
    case MovePrevious:
        --row;
        break;
    case MoveDown:
    case MoveNext:
        ++row;
        break;
    case MovePageUp:
        row -= page;
        break;
    case MovePageDown:
        row += page;
        break;
    case MoveHome:
        row = 0;
        break;
    case MoveEnd:
        row = rows - 1;
        break;
    case MoveLeft:
        --column;
        break;
    case MoveRight:
        ++column;
        break;
    }
    return model()->index(std::clamp(row, 0, rows - 1), std::clamp(column, 0, columns - 1), rootIndex());
}

int RecordGrid::horizontalOffset() const
{
    return horizontalScrollBar()->value();
}

int RecordGrid::verticalOffset() const
{
    return verticalScrollBar()->value() * m_rowHeight;
}

void RecordGrid::setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command)
{
    if (!model() || !selectionModel())
        return;
    const int rows = model()->rowCount(rootIndex());
    const int columns = model()->columnCount(rootIndex());
    const QRect r = rect.normalized();
    const int top = std::clamp(firstVisibleRow() + r.top() / m_rowHeight, 0, rows - 1);
    const int bottom = std::clamp(firstVisibleRow() + r.bottom() / m_rowHeight, 0, rows - 1);
    if (rows == 0 || columns == 0)
        return;
    int left = m_header->logicalIndexAt(r.left());
    int right = m_header->logicalIndexAt(r.right());
    if (selectionBehavior() == SelectRows || left < 0 || right < 0) {
        left = 0;
        right = columns - 1;
    }
    selectionModel()->select(
        QItemSelection(model()->index(top, left, rootIndex()), model()->index(bottom, right, rootIndex())),
        command);
}

QRegion RecordGrid::visualRegionForSelection(const QItemSelection &selection) const
{
    // Only what is on screen: a selection may span a million rows.
    const int first = firstVisibleRow();
    const int last = first + fullyVisibleRowCount();
    QRegion region;
    for (const QItemSelectionRange &range : selection) {
        if (!range.isValid() || range.parent() != rootIndex())
            continue;
        const int top = std::max(range.top(), first);
        const int bottom = std::min(range.bottom(), last);
        if (top > bottom)
            continue;
        const int left = m_header->sectionViewportPosition(range.left());
        const int right =
            m_header->sectionViewportPosition(range.right()) + m_header->sectionSize(range.right());
        region += QRect(left, rowRect(top).top(), right - left, (bottom - top + 1) * m_rowHeight);
    }
    return region;
}

void RecordGrid::paintEvent(QPaintEvent *event)
{
    QPainter p(viewport());
    if (!model())
        return;
    // A new row's paint covers rows apart (the one scrolled in, the current
    // row left and the one taken); clipped to one rectangle at a time the
    // painter copies cells whole instead of span by span.
    const QRegion &region = event->region();
    if (region.rectCount() == 1)
        return paintArea(p, region.boundingRect());
    for (const QRect &area : region) {
        p.setClipRect(area);
        paintArea(p, area);
    }
}

void RecordGrid::paintArea(QPainter &p, const QRect &dirty)
{
    const int rows = model()->rowCount(rootIndex());
    const int columns = model()->columnCount(rootIndex());
    const int first = firstVisibleRow() + std::max(0, dirty.top()) / m_rowHeight;
    const int last = std::min(rows - 1, firstVisibleRow() + dirty.bottom() / m_rowHeight);
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const QPen textPen(palette().color(group, QPalette::Text));
    const QPen selectedPen(palette().color(group, QPalette::HighlightedText));
    const QItemSelectionModel *selection = selectionModel();
    const QBrush highlight = palette().brush(group, QPalette::Highlight);
    const QBrush base = viewport()->palette().brush(viewport()->backgroundRole());
    const CellImageCache::Target cellTarget = CellImageCache::targetFor(p);

    for (int row = first; row <= last; ++row) {
        const QRect line = rowRect(row);
        const bool selected = selection && selection->isRowSelected(row, rootIndex());
        if (selected)
            p.fillRect(line, highlight);
        for (int column = 0; column < columns; ++column) {
            const int x = m_header->sectionViewportPosition(column);
            const int width = m_header->sectionSize(column);
            if (x > dirty.right() || x + width < dirty.left())
                continue;
            const QModelIndex index = model()->index(row, column, rootIndex());
            const auto alignment = Qt::Alignment(model()->data(index, Qt::TextAlignmentRole).toInt());
            const CellText cell{model()->data(index, Qt::DisplayRole).toString(),
                                int(alignment ? alignment : Qt::AlignLeft | Qt::AlignVCenter),
                                selected ? selectedPen : textPen};
            m_cells.draw(p, cellTarget, QRect(x, line.top(), width - 1, m_rowHeight - 1), kCellPadding,
                         selected ? highlight : base, cell);
            // A rectangle fills the pixels a one-pixel line covers, at a fraction of its cost.
            p.fillRect(QRect(x + width - 1, line.top(), 1, line.height()), m_gridColor);
        }
        p.fillRect(QRect(line.left(), line.bottom(), line.width(), 1), m_gridColor);
    }
}

void RecordGrid::updateGeometries()
{
    const int headerHeight = m_header->isHidden() ? 0 : m_header->sizeHint().height();
    setViewportMargins(0, headerHeight, 0, 0);
    const QRect area = viewport()->geometry();
    m_header->setGeometry(area.left(), area.top() - headerHeight, area.width(), headerHeight);

    const int rows = model() ? model()->rowCount(rootIndex()) : 0;
    const int shown = fullyVisibleRowCount();
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(shown);
    verticalScrollBar()->setRange(0, std::max(0, rows - shown));
    horizontalScrollBar()->setSingleStep(std::max(1, m_rowHeight));
    horizontalScrollBar()->setPageStep(area.width());
    horizontalScrollBar()->setRange(0, std::max(0, m_header->length() - area.width()));
    QAbstractItemView::updateGeometries();
}

void RecordGrid::scrollContentsBy(int dx, int dy)
{
    if (dx)
        m_header->setOffset(horizontalOffset());
    // The pixels that stay in view move; only the rows that come in repaint.
    viewport()->scroll(dx, dy * m_rowHeight);
}

// The base class asks the windowing system where the mouse is at every
// scroll, to update hover effects this grid does not have: a round trip to
// the display server for every recorded row.
void RecordGrid::verticalScrollbarValueChanged(int) {}

void RecordGrid::horizontalScrollbarValueChanged(int) {}

void RecordGrid::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QAbstractItemView::rowsInserted(parent, start, end);
    if (parent != rootIndex())
        return;
    fitGrowingColumn(start, end);
    const int rows = model()->rowCount(rootIndex());
    verticalScrollBar()->setRange(0, std::max(0, rows - fullyVisibleRowCount()));
    // Rows inserted above others move those down; appended rows only appear.
    const int lastMoved = end == rows - 1 ? end : rows - 1;
    const QRect area = (rowRect(start).united(rowRect(lastMoved))) & viewport()->rect();
    if (!area.isEmpty())
        viewport()->update(area);
}

void RecordGrid::reset()
{
    QAbstractItemView::reset();
    m_growingLength = 0;
    if (model())
        fitGrowingColumn(0, model()->rowCount(rootIndex()) - 1);
    updateGeometries();
    viewport()->update();
}

void RecordGrid::dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                             const QList<int> &roles)
{
    QAbstractItemView::dataChanged(topLeft, bottomRight, roles);
    if (topLeft.isValid() && bottomRight.isValid())
        fitGrowingColumn(topLeft.row(), bottomRight.row());
}

void RecordGrid::fitGrowingColumn(int firstRow, int lastRow)
{
    if (m_growingColumn < 0 || !model() || m_growingColumn >= model()->columnCount(rootIndex()))
        return;
    // Only texts at least as long as the longest so far can need more room.
    int widest = 0;
    for (int row = std::max(0, firstRow); row <= lastRow; ++row) {
        const QString text = model()->data(model()->index(row, m_growingColumn, rootIndex())).toString();
        if (text.size() < m_growingLength)
            continue;
        m_growingLength = int(text.size());
        widest = std::max(widest, fontMetrics().horizontalAdvance(text));
    }
    const int needed = widest + 2 * kCellPadding + 2;
    if (needed > columnWidth(m_growingColumn))
        setColumnWidth(m_growingColumn, needed);
}
