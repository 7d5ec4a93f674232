#include "row_stream.h"

#include "record/measurement_table.h"
#include "record/table_text_file.h"
#include "record/window_timer.h"

#include <QFileDevice>

RowStream::RowStream(QIODevice &out, WindowTimer &flushTimer) : m_out(out), m_timer(flushTimer)
{
    m_timer.setEnabled(false);
    m_timer.setInterval(FlushPeriodMs);
    m_timer.setOnTimeout([this] { flush(); });
}

RowStream::~RowStream()
{
    m_timer.setOnTimeout({});
}

bool RowStream::start()
{
    return write(TableTextFile::headerLine());
}

void RowStream::append(const TableRow &row)
{
    if (m_failed)
        return;
    // The table keeps 20 characters of a text; the file holds what a table would.
    TableRow cut = row;
    for (QString *text : {&cut.Time, &cut.DcAc, &cut.Value, &cut.Unit, &cut.Auto})
        text->truncate(MeasurementTable::MaxTextLength);
    if (m_pending.isEmpty())
        m_timer.setEnabled(true); // a running period is not restarted: the first row waits at most one
    m_pending += TableTextFile::rowLine(cut);
    ++m_rows;
}

bool RowStream::flush()
{
    m_timer.setEnabled(false);
    if (m_pending.isEmpty() || m_failed)
        return !m_failed;
    const bool ok = write(m_pending);
    m_pending.clear();
    return ok;
}

bool RowStream::write(const QByteArray &bytes)
{
    if (m_out.write(bytes) == bytes.size()) {
        if (auto *file = qobject_cast<QFileDevice *>(&m_out); !file || file->flush())
            return true;
    }
    m_failed = true;
    if (onWriteFailed)
        onWriteFailed();
    return false;
}

QString RowStream::errorString() const
{
    return m_out.errorString();
}
