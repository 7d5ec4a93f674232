#pragma once

#include "cell_image_cache.h"

#include <QAbstractItemView>

class QHeaderView;

// The grid of recorded rows: a table view whose rows all have one height.
// A table view keeps a section per row and lays them all out again after an
// insert, so following a growing table costs more with every row; this view
// keeps nothing per row: where a row is follows from its number. Appending
// a row and scrolling to it repaints only the rows that changed.
//
// Scrolls by whole rows; the vertical scroll bar's value is the first row
// shown.
class RecordGrid : public QAbstractItemView {
    Q_OBJECT

public:
    explicit RecordGrid(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

    QHeaderView *horizontalHeader() const { return m_header; }
    int rowHeight() const { return m_rowHeight; }
    void setRowHeight(int pixels);
    int columnWidth(int column) const;
    void setColumnWidth(int column, int width);
    QColor gridColor() const { return m_gridColor; }

    // The column widens when a cell's text would not fit, so that a long
    // record number is never cut to look like a shorter one.
    void setGrowingColumn(int column);

    int firstVisibleRow() const;
    // Rows that fit wholly in the viewport.
    int fullyVisibleRowCount() const;

    QRect visualRect(const QModelIndex &index) const override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint &point) const override;

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override;
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex &) const override { return false; }
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection &selection) const override;
    void paintEvent(QPaintEvent *event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;
    void reset() override;
    void dataChanged(const QModelIndex &topLeft, const QModelIndex &bottomRight,
                     const QList<int> &roles = QList<int>()) override;

protected slots:
    void verticalScrollbarValueChanged(int value) override;
    void horizontalScrollbarValueChanged(int value) override;

private:
    QRect rowRect(int row) const; // in viewport coordinates; may lie outside it
    void paintArea(QPainter &painter, const QRect &dirty);
    void fitGrowingColumn(int firstRow, int lastRow);

    QHeaderView *m_header;
    int m_rowHeight = 18; // pixels, grid line included
    int m_growingColumn = -1;
    int m_growingLength = 0; // characters of the longest text measured in it
    QColor m_gridColor{192, 192, 192};
    CellImageCache m_cells;
};
