#include "accessible_views.h"

#include "record_grid.h"
#include "ui/lcd_panel.h"
#include "ui/trend_chart.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QPointer>

#include <algorithm>

namespace {

// Child i of the table: the column headers first, then the cells row by
// row, as in Qt's own accessible tables (without the row header column):
//
//   i < columns      header of column i
//   otherwise        cell (i / columns - 1, i % columns)
class GridTable : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GridTable(RecordGrid *grid) : QAccessibleWidget(grid, QAccessible::Table) {}
    ~GridTable() override { forgetChildren(); }

    RecordGrid *grid() const { return static_cast<RecordGrid *>(widget()); }
    QAbstractItemModel *model() const { return grid()->model(); }

    // QAccessibleInterface
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    int childCount() const override { return model() ? (rowCount() + 1) * columnCount() : 0; }
    QAccessibleInterface *child(int index) const override;
    int indexOfChild(const QAccessibleInterface *child) const override;
    QAccessibleInterface *childAt(int x, int y) const override;
    QAccessibleInterface *focusChild() const override
    {
        const QModelIndex current = grid()->currentIndex();
        return current.isValid() ? cellAt(current.row(), current.column()) : nullptr;
    }

    // QAccessibleTableInterface
    QAccessibleInterface *caption() const override { return nullptr; }
    QAccessibleInterface *summary() const override { return nullptr; }
    QAccessibleInterface *cellAt(int row, int column) const override
    {
        if (row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
            return nullptr;
        return child((row + 1) * columnCount() + column);
    }
    int selectedCellCount() const override { return selectedRowCount() * columnCount(); }
    QList<QAccessibleInterface *> selectedCells() const override;
    QString columnDescription(int column) const override
    {
        return model() ? model()->headerData(column, Qt::Horizontal).toString() : QString();
    }
    QString rowDescription(int) const override { return {}; }
    int selectedColumnCount() const override { return int(selectedColumns().size()); }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    int columnCount() const override { return model() ? model()->columnCount(grid()->rootIndex()) : 0; }
    int rowCount() const override { return model() ? model()->rowCount(grid()->rootIndex()) : 0; }
    QList<int> selectedColumns() const override;
    QList<int> selectedRows() const override;
    bool isColumnSelected(int column) const override
    {
        const QItemSelectionModel *selection = grid()->selectionModel();
        return selection && selection->isColumnSelected(column, grid()->rootIndex());
    }
    bool isRowSelected(int row) const override
    {
        const QItemSelectionModel *selection = grid()->selectionModel();
        return selection && selection->isRowSelected(row, grid()->rootIndex());
    }
    bool selectRow(int row) override;
    bool selectColumn(int) override { return false; } // the grid selects whole rows
    bool unselectRow(int row) override;
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent *event) override;

private:
    void forgetChildren();

    // The interfaces handed out so far, by child index; the accessibility
    // cache owns them until they are forgotten here.
    mutable QHash<int, QAccessible::Id> m_children;
};

// What a header and a cell share: a leaf of the grid's table, read live
// from the grid's model, with the grid's interface as parent.
class GridLeaf : public QAccessibleInterface {
public:
    explicit GridLeaf(RecordGrid *grid, int column) : m_grid(grid), m_column(column) {}

    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_grid ? m_grid->window()->windowHandle() : nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_grid); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? name() : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}

protected:
    virtual QString name() const = 0;
    bool columnExists() const
    {
        return m_grid && m_grid->model() && m_column < m_grid->model()->columnCount(m_grid->rootIndex());
    }

    QPointer<RecordGrid> m_grid;
    int m_column;
};

// One cell: its text is the text the grid shows, read when asked.
class GridCell : public GridLeaf, public QAccessibleTableCellInterface {
public:
    GridCell(RecordGrid *grid, int row, int column) : GridLeaf(grid, column), m_row(row) {}

    bool isValid() const override
    {
        return columnExists() && m_row < m_grid->model()->rowCount(m_grid->rootIndex());
    }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_grid->visualRect(index());
        return QRect(m_grid->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::Cell; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.selected = isSelected();
        s.focusable = true;
        s.focused = m_grid->hasFocus() && m_grid->currentIndex() == index();
        const QRect shown = m_grid->visualRect(index()) & m_grid->viewport()->rect();
        s.invisible = shown.isEmpty();
        s.offscreen = shown.isEmpty();
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType t) override
    {
        return t == QAccessible::TableCellInterface ? static_cast<QAccessibleTableCellInterface *>(this)
                                                    : nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override
    {
        const QItemSelectionModel *selection = m_grid->selectionModel();
        return selection && selection->isSelected(index());
    }
    QList<QAccessibleInterface *> columnHeaderCells() const override
    {
        QAccessibleInterface *grid = parent();
        QAccessibleInterface *header = grid ? grid->child(m_column) : nullptr;
        return header ? QList<QAccessibleInterface *>{header} : QList<QAccessibleInterface *>{};
    }
    QList<QAccessibleInterface *> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_column; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface *table() const override { return parent(); }

private:
    QString name() const override { return index().data(Qt::DisplayRole).toString(); }
    QModelIndex index() const { return m_grid->model()->index(m_row, m_column, m_grid->rootIndex()); }

    int m_row;
};

// A column header: the header text (No., Time, Function, ...).
class GridHeaderCell : public GridLeaf {
public:
    using GridLeaf::GridLeaf;

    bool isValid() const override { return columnExists(); }
    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QHeaderView *header = m_grid->horizontalHeader();
        const QPoint topLeft = header->mapToGlobal(QPoint(header->sectionViewportPosition(m_column), 0));
        return QRect(topLeft, QSize(header->sectionSize(m_column), header->height()));
    }
    QAccessible::Role role() const override { return QAccessible::ColumnHeader; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invalid = !isValid();
        return s;
    }

private:
    QString name() const override { return m_grid->model()->headerData(m_column, Qt::Horizontal).toString(); }
};

QAccessibleInterface *GridTable::child(int index) const
{
    if (index < 0 || index >= childCount())
        return nullptr;
    if (const auto known = m_children.constFind(index); known != m_children.cend())
        return QAccessible::accessibleInterface(*known);
    const int columns = columnCount();
    QAccessibleInterface *made = index < columns
                                     ? static_cast<QAccessibleInterface *>(new GridHeaderCell(grid(), index))
                                     : new GridCell(grid(), index / columns - 1, index % columns);
    m_children.insert(index, QAccessible::registerAccessibleInterface(made));
    return made;
}

int GridTable::indexOfChild(const QAccessibleInterface *child) const
{
    if (!child || child->parent() != this)
        return -1;
    const int columns = columnCount();
    if (child->role() == QAccessible::ColumnHeader) {
        for (int c = 0; c < columns; ++c) {
            if (m_children.value(c) == QAccessible::uniqueId(const_cast<QAccessibleInterface *>(child)))
                return c;
        }
        return -1;
    }
    const QAccessibleTableCellInterface *cell =
        const_cast<QAccessibleInterface *>(child)->tableCellInterface();
    return cell ? (cell->rowIndex() + 1) * columns + cell->columnIndex() : -1;
}

QAccessibleInterface *GridTable::childAt(int x, int y) const
{
    const QHeaderView *header = grid()->horizontalHeader();
    const QPoint inHeader = header->mapFromGlobal(QPoint(x, y));
    if (header->isVisible() && header->rect().contains(inHeader)) {
        const int column = header->logicalIndexAt(inHeader.x());
        return column >= 0 ? child(column) : nullptr;
    }
    const QModelIndex index = grid()->indexAt(grid()->viewport()->mapFromGlobal(QPoint(x, y)));
    return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
}

QList<QAccessibleInterface *> GridTable::selectedCells() const
{
    QList<QAccessibleInterface *> cells;
    for (int row : selectedRows()) {
        for (int column = 0; column < columnCount(); ++column)
            cells << cellAt(row, column);
    }
    return cells;
}

QList<int> GridTable::selectedColumns() const
{
    QList<int> columns;
    if (const QItemSelectionModel *selection = grid()->selectionModel()) {
        for (const QModelIndex &index : selection->selectedColumns())
            columns << index.column();
    }
    return columns;
}

QList<int> GridTable::selectedRows() const
{
    QList<int> rows;
    if (const QItemSelectionModel *selection = grid()->selectionModel()) {
        for (const QModelIndex &index : selection->selectedRows())
            rows << index.row();
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool GridTable::selectRow(int row)
{
    QItemSelectionModel *selection = grid()->selectionModel();
    if (!selection || row < 0 || row >= rowCount() ||
        grid()->selectionMode() == QAbstractItemView::NoSelection)
        return false;
    const auto command = grid()->selectionMode() == QAbstractItemView::SingleSelection
                             ? QItemSelectionModel::ClearAndSelect
                             : QItemSelectionModel::Select;
    selection->select(model()->index(row, 0, grid()->rootIndex()), command | QItemSelectionModel::Rows);
    return true;
}

bool GridTable::unselectRow(int row)
{
    QItemSelectionModel *selection = grid()->selectionModel();
    if (!selection || row < 0 || row >= rowCount())
        return false;
    selection->select(model()->index(row, 0, grid()->rootIndex()),
                      QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    return true;
}

void GridTable::modelChange(QAccessibleTableModelChangeEvent *event)
{
    // Rows are only ever appended (recording, a text load) or all replaced
    // (New, an XML load); appended rows leave every handed-out child where it
    // was. Anything else moves children, so they are all handed out anew.
    if (event->modelChangeType() == QAccessibleTableModelChangeEvent::DataChanged)
        return;
    if (event->modelChangeType() == QAccessibleTableModelChangeEvent::RowsInserted) {
        const int columns = columnCount();
        const bool movesNone = std::none_of(m_children.keyBegin(), m_children.keyEnd(), [&](int index) {
            return index >= columns && index / columns - 1 >= event->firstRow();
        });
        if (movesNone)
            return;
    }
    forgetChildren();
}

void GridTable::forgetChildren()
{
    for (QAccessible::Id id : std::as_const(m_children))
        QAccessible::deleteAccessibleInterface(id);
    m_children.clear();
}

// The LCD panel: its reading in words as value and description.
class LcdPanelAccessible : public QAccessibleWidget {
public:
    explicit LcdPanelAccessible(LcdPanel *panel) : QAccessibleWidget(panel, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value || t == QAccessible::Description)
            return static_cast<LcdPanel *>(widget())->state().describe();
        return QAccessibleWidget::text(t);
    }
};

// The chart: the page it shows as description.
class TrendChartAccessible : public QAccessibleWidget {
public:
    explicit TrendChartAccessible(TrendChart *chart) : QAccessibleWidget(chart, QAccessible::Chart) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return static_cast<TrendChart *>(widget())->pageDescription();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *makeAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("RecordGrid"))
        return new GridTable(static_cast<RecordGrid *>(object));
    if (className == QLatin1String("LcdPanel"))
        return new LcdPanelAccessible(static_cast<LcdPanel *>(object));
    if (className == QLatin1String("TrendChart"))
        return new TrendChartAccessible(static_cast<TrendChart *>(object));
    return nullptr;
}

} // namespace

void installAccessibleViews()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(&makeAccessible);
}
