#include "measurement_table_model.h"

#include "ui/segment_font.h"

#include <QFont>

namespace {

// clang-format off
struct ColumnSpec {
    const char *title;
    int width; // pixels
    Qt::Alignment alignment;
};
const ColumnSpec kColumns[MeasurementTableModel::ColumnCount] = {
    {"No.",      39, Qt::AlignLeft},
    {"Time",     53, Qt::AlignHCenter},
    {"Function", 42, Qt::AlignHCenter},
    {"Value",    51, Qt::AlignRight},
    {"Unit",     36, Qt::AlignRight},
    {"Judge",    38, Qt::AlignLeft},
};
// clang-format on

QFont pixelFont(const char *family, int pixels)
{
    QFont font{QString::fromLatin1(family)};
    font.setPixelSize(pixels);
    return font;
}

} // namespace

MeasurementTableModel::MeasurementTableModel(MeasurementTable &table, QObject *parent)
    : QAbstractTableModel(parent), m_table(table)
{
    m_table.setObserver(this);
}

MeasurementTableModel::~MeasurementTableModel()
{
    m_table.setObserver(nullptr);
}

int MeasurementTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_table.rowCount();
}

int MeasurementTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MeasurementTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: {
        // Columns follow the table's fields one for one.
        const QString text = m_table.text(index.row(), column);
        return column == ColUnit ? segmentTextToUnicode(text) : text;
    }
    case Qt::EditRole: // the stored text, in the segment-font code for a delegate that draws it
        return m_table.text(index.row(), column);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(kColumns[column].alignment | Qt::AlignVCenter);
    case Qt::FontRole: {
        static const QFont cellFont = pixelFont("Arial", 12);
        return cellFont;
    }
    default:
        return {};
    }
}

QVariant MeasurementTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return QLatin1String(kColumns[section].title);
    case Qt::FontRole: {
        static const QFont titleFont = pixelFont("MS Sans Serif", 11);
        return titleFont;
    }
    default:
        return {};
    }
}

Qt::ItemFlags MeasurementTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

int MeasurementTableModel::columnWidth(int column)
{
    return column >= 0 && column < ColumnCount ? kColumns[column].width : 0;
}

void MeasurementTableModel::rowsAboutToBeAppended(int first, int last)
{
    beginInsertRows(QModelIndex(), first, last);
}

void MeasurementTableModel::rowsAppended()
{
    endInsertRows();
}

void MeasurementTableModel::rowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void MeasurementTableModel::aboutToReset()
{
    beginResetModel();
}

void MeasurementTableModel::resetDone()
{
    endResetModel();
}
