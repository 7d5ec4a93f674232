#pragma once

#include "journal_file.h"
#include "safe_file.h"
#include "table_text_file.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

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
// Rows leave memory only when the disk took them and their sync succeeded:
//
//   write fails (full disk)   rows stay pending, retried every period; the
//                             cut line it may leave is cut off before the
//                             next write, so rows always follow whole lines
//   sync fails                what was written since the last good sync is
//                             written again
//
// Each running program holds its own journal (slot 1, 2, ... under a lock
// file), so two programs never write into one file. What its file may be is
// in journal_file.h.
class SessionJournal {
public:
    using RowFormatter = QByteArray (*)(const TableRow &row); // one line with its CR LF
    // protecting false: crash protection stopped, the message says why;
    // true: it works again. Each change is told once.
    using ProtectionChanged = std::function<void(bool protecting, const QString &message)>;

    // Takes the first slot in `folder` that no running program holds.
    // isOpen() is false when none could be taken or written. disk: null for
    // the system's calls.
    SessionJournal(const QString &folder, WindowTimer &flushTimer, JournalDisk *disk = nullptr,
                   RowFormatter formatRow = &TableTextFile::rowLine);
    // A normal end: the journal is removed.
    ~SessionJournal();
    SessionJournal(const SessionJournal &) = delete;
    SessionJournal &operator=(const SessionJournal &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    QString fileName() const { return m_fileName; }

    // A change found before the call (no journal could be kept) is told at once.
    void setOnProtectionChanged(ProtectionChanged onChanged);

    // Rows an earlier session left unsaved in this slot, counted at start.
    int recoveredRows() const { return m_recoveredRows; }
    static QString recoveryQuestion(int rows);
    // Hands the journal's file to a text load; the rows stay in the journal,
    // unsaved as before. Returns what the load returned.
    bool loadRecovered(const std::function<bool(const QString &fileName)> &loadText);
    // The recovered rows go aside into a file named with the journal's date
    // (a free one: "-2", "-3" ... after a taken one); the journal starts
    // empty. When they cannot move they stay where they are, offered again
    // at the next start, and the journal goes on in another slot; the reason
    // is a message for the user.
    FileResult setAside(QString *asideName = nullptr);

    void append(const TableRow &row);
    void flush();
    // New: nothing is unsaved any more.
    void clear();
    // The table's first savedRows rows were saved; rows recorded while the
    // file was written follow them and stay unsaved.
    void markSaved(const MeasurementTable &table, int savedRows);

    int pendingBytes() const { return int(m_pending.size()); }

private:
    bool openSlot(int firstSlot);
    void startEmpty();
    int writePending();
    void collectSyncs();
    void closeFile();
    void stopped(const QString &message);
    void troubled(const QString &message);
    void protectingAgain();
    void tell(bool protecting, const QString &message);

    class DiskSync;

    WindowTimer &m_timer;
    RowFormatter m_formatRow;
    JournalDisk &m_disk;
    QObject m_context; // the sync thread's reports run here, on the journal's thread
    std::unique_ptr<DiskSync> m_sync;
    QString m_folder;
    int m_slot = 0;
    std::unique_ptr<QLockFile> m_lock;
    std::vector<std::unique_ptr<QLockFile>> m_keptSlots; // rows that could not go aside stay unclaimed
    QString m_fileName;
    int m_fd = -1;
    // The file holds m_written bytes of whole lines; m_dirty: perhaps more
    // after them (a write that failed half-way), cut off before the next
    // write. Bytes [m_synced, m_written) are kept until a sync covers them.
    qint64 m_written = 0;
    qint64 m_synced = 0;
    bool m_dirty = false;
    int m_writeError = 0;     // of the last flush
    quint64 m_generation = 0; // a sync of an earlier content counts for nothing
    QByteArray m_unsynced;
    QByteArray m_pending;
    int m_recoveredRows = 0;
    ProtectionChanged m_onProtectionChanged;
    bool m_troubled = false; // the user was told that protection stopped
    QString m_untold;        // a stop found before anyone listened
};
