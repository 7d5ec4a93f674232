#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;
class WindowTimer;
struct TableRow;

// Recorded rows on their way to a file, in the table's tab-separated text
// format (the header line, then a line per row, as "Save as" writes them).
// Rows wait in memory at most one timer period (a second) after the first
// of them, so a killed recorder loses at most that period and memory holds
// no more than a period's rows however long the run.
class RowStream {
public:
    static constexpr int FlushPeriodMs = 1000;

    RowStream(QIODevice &out, WindowTimer &flushTimer);
    ~RowStream();
    RowStream(const RowStream &) = delete;
    RowStream &operator=(const RowStream &) = delete;

    // Writes the header line at once; false when the device refused it.
    bool start();
    void append(const TableRow &row);
    // Hands every waiting row to the device; false when it refused them.
    bool flush();

    int rows() const { return m_rows; }
    int pendingBytes() const { return int(m_pending.size()); }
    bool failed() const { return m_failed; }
    QString errorString() const;

    // The device refused a write; later rows are dropped.
    std::function<void()> onWriteFailed;

private:
    bool write(const QByteArray &bytes);

    QIODevice &m_out;
    WindowTimer &m_timer;
    QByteArray m_pending;
    int m_rows = 0;
    bool m_failed = false;
};
