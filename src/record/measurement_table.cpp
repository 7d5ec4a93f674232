#include "measurement_table.h"

namespace {

const char *const kFieldNames[MeasurementTable::FieldCount] = {"No",   "Time", "DC/AC", "Value",
                                                               "Unit", "Auto", "NVal"};

} // namespace

QString MeasurementTable::fieldName(int field)
{
    return field >= 0 && field < FieldCount ? QLatin1String(kFieldNames[field]) : QString();
}

int MeasurementTable::fieldIndex(const QString &name)
{
    for (int f = 0; f < FieldCount; ++f) {
        if (name.compare(QLatin1String(kFieldNames[f]), Qt::CaseInsensitive) == 0)
            return f;
    }
    return -1;
}

std::uint32_t MeasurementTable::internCut(const QString &text)
{
    return m_pool.intern(QStringView(text).left(MaxTextLength));
}

int MeasurementTable::appendRow(const TableRow &row, bool logged)
{
    StoredRow stored;
    if (row.No) {
        stored.no = *row.No;
        stored.flags |= NoSet;
    }
    if (row.NVal) {
        stored.nval = *row.NVal;
        stored.flags |= NValSet;
    }
    stored.text = {internCut(row.Time), internCut(row.DcAc), internCut(row.Value), internCut(row.Unit),
                   internCut(row.Auto)};
    if (logged) {
        stored.flags |= LoggedFlag;
        ++m_loggedCount;
    }

    const int index = rowCount();
    if (m_observer)
        m_observer->rowsAboutToBeAppended(index, index);
    m_rows.push_back(stored);
    if (m_observer)
        m_observer->rowsAppended();
    return index;
}

void MeasurementTable::appendUnobserved(std::optional<qint32> no, const std::array<QStringView, 5> &texts,
                                        std::optional<qint32> nval, bool logged)
{
    StoredRow stored;
    if (no) {
        stored.no = *no;
        stored.flags |= NoSet;
    }
    if (nval) {
        stored.nval = *nval;
        stored.flags |= NValSet;
    }
    for (int i = 0; i < 5; ++i)
        stored.text[i] = m_pool.intern(texts[i].left(MaxTextLength));
    if (logged) {
        stored.flags |= LoggedFlag;
        ++m_loggedCount;
    }
    m_rows.push_back(stored);
}

void MeasurementTable::appendRows(const MeasurementTable &from, int first, int count)
{
    if (count <= 0)
        return;
    // The other pool numbers its texts differently; map each id once.
    std::vector<std::uint32_t> ids(from.m_pool.size(), 0);
    for (std::uint32_t id = 1; id < from.m_pool.size(); ++id)
        ids[id] = m_pool.intern(from.m_pool.view(id));

    const int index = rowCount();
    if (m_observer)
        m_observer->rowsAboutToBeAppended(index, index + count - 1);
    for (int r = first; r < first + count; ++r) {
        StoredRow stored = from.m_rows[r];
        for (std::uint32_t &id : stored.text)
            id = ids[id];
        if (stored.flags & LoggedFlag)
            ++m_loggedCount;
        m_rows.push_back(stored);
    }
    if (m_observer)
        m_observer->rowsAppended();
}

void MeasurementTable::replaceWith(MeasurementTable &&from)
{
    if (m_observer)
        m_observer->aboutToReset();
    m_rows.swap(from.m_rows);
    std::swap(m_pool, from.m_pool);
    m_loggedCount = from.m_loggedCount;
    std::deque<StoredRow>().swap(from.m_rows);
    from.m_pool = TextPool();
    from.m_loggedCount = 0;
    if (m_observer)
        m_observer->resetDone();
}

void MeasurementTable::clear()
{
    if (m_observer)
        m_observer->aboutToReset();
    std::deque<StoredRow>().swap(m_rows); // give the memory back
    m_loggedCount = 0;
    if (m_observer)
        m_observer->resetDone();
}

TableRow MeasurementTable::row(int r) const
{
    const StoredRow &s = m_rows[r];
    TableRow row;
    if (s.flags & NoSet)
        row.No = s.no;
    if (s.flags & NValSet)
        row.NVal = s.nval;
    row.Time = m_pool.text(s.text[0]);
    row.DcAc = m_pool.text(s.text[1]);
    row.Value = m_pool.text(s.text[2]);
    row.Unit = m_pool.text(s.text[3]);
    row.Auto = m_pool.text(s.text[4]);
    return row;
}

QVariant MeasurementTable::field(int r, int f) const
{
    const StoredRow &s = m_rows[r];
    switch (f) {
    case No:
        return s.flags & NoSet ? QVariant(s.no) : QVariant();
    case NVal:
        return s.flags & NValSet ? QVariant(s.nval) : QVariant();
    case Time:
    case DcAc:
    case Value:
    case Unit:
    case Auto: {
        const std::uint32_t id = s.text[f - Time];
        return id == 0 ? QVariant() : QVariant(m_pool.text(id));
    }
    default:
        return {};
    }
}

QVariant MeasurementTable::field(int r, const QString &name) const
{
    return field(r, fieldIndex(name));
}

QString MeasurementTable::text(int r, int f) const
{
    const QVariant v = field(r, f);
    return v.isNull() ? QString() : v.toString();
}

void MeasurementTable::setField(int r, int f, const QVariant &value)
{
    StoredRow &s = m_rows[r];
    if (isIntegerField(f)) {
        const std::uint8_t bit = f == No ? NoSet : NValSet;
        qint32 &target = f == No ? s.no : s.nval;
        if (value.isNull()) {
            s.flags &= ~bit;
        } else {
            target = value.toInt();
            s.flags |= bit;
        }
    } else if (f >= Time && f <= Auto) {
        s.text[f - Time] = value.isNull() ? 0 : internCut(value.toString());
    } else {
        return;
    }
    if (m_observer)
        m_observer->rowChanged(r);
}

void MeasurementTable::setLogged(int r, bool logged)
{
    StoredRow &s = m_rows[r];
    if (bool(s.flags & LoggedFlag) == logged)
        return;
    s.flags ^= LoggedFlag;
    m_loggedCount += logged ? 1 : -1;
}
