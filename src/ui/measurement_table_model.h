#pragma once

#include "record/measurement_table.h"

#include <QAbstractTableModel>

// The grid's view of the measurement table: fields No to Auto (not NVal),
// read-only. Rows come in as the table grows, one insert per row.
class MeasurementTableModel : public QAbstractTableModel, private TableObserver {
    Q_OBJECT
public:
    enum Column { ColNo, ColTime, ColFunction, ColValue, ColUnit, ColJudge, ColumnCount };

    explicit MeasurementTableModel(MeasurementTable &table, QObject *parent = nullptr);
    ~MeasurementTableModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Column widths of the grid in pixels, for the view.
    static int columnWidth(int column);

private:
    void rowsAboutToBeAppended(int first, int last) override;
    void rowsAppended() override;
    void rowChanged(int row) override;
    void aboutToReset() override;
    void resetDone() override;

    MeasurementTable &m_table;
};
