#pragma once

#include "table_text_file.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>

class MeasurementTable;
class QLockFile;
class WindowTimer;
struct TableRow;

// A copy of every recorded row in a file of the user's data folder, in the
// table's tab-separated text format, so that a crash, a kill or a power cut
// costs at most the rows of the last flush period. Rows wait in memory and
// reach the file one timer period after the first of them; a thread of the
// journal then syncs the file to the disk, so the wait for the disk never
// holds up the window.
//
//   New                  the journal holds no rows
//   whole table saved    the journal holds no rows
//   normal end           the file is removed
//   abnormal end         the file stays; the next start offers its rows
//
// Each running program holds its own journal (slot 1, 2, ... under a lock
// file), so two programs never write into one file.
class SessionJournal {
public:
    using RowFormatter = QByteArray (*)(const TableRow &row); // one line with its CR LF

    // Takes the first slot in `folder` that no running program holds.
    // isOpen() is false when none could be taken or written.
    SessionJournal(const QString &folder, WindowTimer &flushTimer,
                   RowFormatter formatRow = &TableTextFile::rowLine);
    // A normal end: the journal is removed.
    ~SessionJournal();
    SessionJournal(const SessionJournal &) = delete;
    SessionJournal &operator=(const SessionJournal &) = delete;

    bool isOpen() const { return m_file.isOpen(); }
    QString fileName() const { return m_file.fileName(); }

    // Rows an earlier session left unsaved in this slot, counted at start.
    int recoveredRows() const { return m_recoveredRows; }
    static QString recoveryQuestion(int rows);
    // Hands the journal's file to a text load; the rows stay in the journal,
    // unsaved as before. Returns what the load returned.
    bool loadRecovered(const std::function<bool(const QString &fileName)> &loadText);
    // The recovered rows go aside into a file named with the journal's date;
    // the journal starts empty. Returns the new name (empty on failure).
    QString setAside();

    void append(const TableRow &row);
    void flush();
    // New: nothing is unsaved any more.
    void clear();
    // The table's first savedRows rows were saved; rows recorded while the
    // file was written follow them and stay unsaved.
    void markSaved(const MeasurementTable &table, int savedRows);

    int pendingBytes() const { return int(m_pending.size()); }

private:
    bool openSlot(const QString &folder);
    void takeOverExisting();
    bool startEmpty();

    class DiskSync;

    WindowTimer &m_timer;
    RowFormatter m_formatRow;
    std::unique_ptr<DiskSync> m_sync;
    std::unique_ptr<QLockFile> m_lock;
    QFile m_file;
    QByteArray m_pending;
    int m_recoveredRows = 0;
};
