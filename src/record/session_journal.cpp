#include "session_journal.h"

#include "measurement_table.h"
#include "window_timer.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kSlots = 64;
constexpr int kFlushPeriodMs = 1000;
QString offMessage(const QString &folder, const QString &reason)
{
    return QStringLiteral("Crash protection is off: no session journal can be kept in %1 (%2). "
                          "A crash loses the readings not saved.")
        .arg(QDir::toNativeSeparators(folder), reason);
}

QString interruptedMessage(const QString &fileName, int error)
{
    return QStringLiteral("Crash protection is interrupted: the session journal %1 cannot be written (%2). "
                          "New readings wait in memory and go to the journal as soon as the disk takes "
                          "them; until then a crash loses them.")
        .arg(QDir::toNativeSeparators(fileName), qt_error_string(error));
}

QString protectingAgainMessage(const QString &fileName)
{
    return QStringLiteral(
               "Crash protection works again: the session journal %1 holds every reading not saved.")
        .arg(QDir::toNativeSeparators(fileName));
}

} // namespace

// Syncs files to the disk on its own thread. Each request carries its own
// duplicate of the descriptor, so the journal may close or replace its file
// while a sync runs. A request names the content it syncs (a generation)
// and its length; take() tells the journal how far the current content is
// known to be on the disk, or the first failure since it last asked.
class SessionJournal::DiskSync {
public:
    struct Outcome {
        qint64 synced = -1; // bytes known to be on the disk
        int error = 0;      // errno of a failed sync; what it covered may be lost
    };

    DiskSync(JournalDisk &disk, std::function<void()> onDone)
        : m_disk(disk), m_onDone(std::move(onDone)), m_thread([this] { run(); })
    {
    }
    ~DiskSync()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join(); // the last request is synced before the end
    }

    void request(int fd, quint64 generation, qint64 length)
    {
        const int copy = ::dup(fd);
        if (copy < 0)
            return;
        int replaced = -1;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            adopt(generation);
            replaced = m_request.fd;
            m_request = {copy, generation, length};
        }
        if (replaced >= 0)
            ::close(replaced); // a newer request syncs the same data and more
        m_wake.notify_one();
    }

    Outcome take(quint64 generation)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        adopt(generation);
        const Outcome found = m_found;
        m_found.error = 0;
        return found;
    }

private:
    struct Request {
        int fd = -1;
        quint64 generation = 0;
        qint64 length = 0;
    };

    void adopt(quint64 generation) // with the mutex held
    {
        if (generation != m_generation) {
            m_generation = generation;
            m_found = {};
        }
    }

    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_request.fd >= 0; });
            if (m_request.fd < 0)
                return; // stopped, nothing left
            const Request request = m_request;
            m_request.fd = -1;
            lock.unlock();
            const int error = m_disk.sync(request.fd) == 0 ? 0 : errno;
            ::close(request.fd);
            lock.lock();
            if (request.generation == m_generation) {
                if (error != 0 && m_found.error == 0)
                    m_found.error = error;
                else if (error == 0 && m_found.error == 0)
                    m_found.synced = qMax(m_found.synced, request.length);
            }
            lock.unlock();
            m_onDone();
            lock.lock();
        }
    }

    JournalDisk &m_disk;
    std::function<void()> m_onDone; // on this thread
    std::mutex m_mutex;
    std::condition_variable m_wake;
    Request m_request; // waiting to be synced
    quint64 m_generation = 0;
    Outcome m_found;
    bool m_stop = false;
    std::thread m_thread;
};

SessionJournal::SessionJournal(const QString &folder, WindowTimer &flushTimer, JournalDisk *disk,
                               RowFormatter formatRow)
    : m_timer(flushTimer), m_formatRow(formatRow), m_disk(disk ? *disk : JournalFile::systemDisk()),
      m_sync(std::make_unique<DiskSync>(m_disk,
                                        [this] {
                                            QMetaObject::invokeMethod(
                                                &m_context, [this] { collectSyncs(); }, Qt::QueuedConnection);
                                        })),
      m_folder(folder)
{
    m_timer.setEnabled(false);
    m_timer.setInterval(kFlushPeriodMs);
    m_timer.setOnTimeout([this] { flush(); });
    openSlot(1);
}

SessionJournal::~SessionJournal()
{
    m_timer.setOnTimeout({});
    if (m_fd >= 0)
        ::unlink(QFile::encodeName(m_fileName).constData());
    closeFile();
}

void SessionJournal::setOnProtectionChanged(ProtectionChanged onChanged)
{
    m_onProtectionChanged = std::move(onChanged);
    if (m_onProtectionChanged && !m_untold.isEmpty())
        m_onProtectionChanged(false, std::exchange(m_untold, QString()));
}

// Takes the first free slot from firstSlot on. A slot whose file cannot be
// made ours is passed over.
bool SessionJournal::openSlot(int firstSlot)
{
    QString problem; // the last failure other than a slot held by another program
    if (m_folder.isEmpty()) {
        problem = qt_error_string(ENOENT);
    } else if (!JournalFile::makeFolder(m_folder)) {
        problem = qt_error_string(errno);
    } else {
        for (int slot = firstSlot; slot <= kSlots; ++slot) {
            const QString name = QDir(m_folder).filePath(QStringLiteral("session-journal-%1.txt").arg(slot));
            auto lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
            lock->setStaleLockTime(0); // stale only when its program is gone, however long a session runs
            if (!lock->tryLock(0)) {
                if (lock->error() == QLockFile::LockFailedError)
                    continue;
                problem = qt_error_string(lock->error() == QLockFile::PermissionError ? EACCES : EIO);
                break; // nor in any other slot
            }
            if (firstSlot > 1 && QFileInfo::exists(name))
                continue; // the rows of some other session: only a start offers them
            JournalFile::Survey found;
            const int fd = JournalFile::openOwn(m_disk, name, problem, found);
            if (fd < 0)
                continue;
            m_lock = std::move(lock);
            m_slot = slot;
            m_fileName = name;
            m_fd = fd;
            m_recoveredRows = found.rows;
            if (found.complete == 0) {
                startEmpty();
                return true;
            }
            // New rows start on a line of their own: a line the end cut short goes.
            m_written = m_synced = found.complete;
            m_dirty = found.size > found.complete && m_disk.truncate(m_fd, m_written) != 0;
            return true;
        }
    }
    if (problem.isEmpty())
        problem = QStringLiteral("all %1 journals are in use by other running programs").arg(kSlots);
    m_fileName.clear();
    stopped(offMessage(m_folder, problem));
    return false;
}

void SessionJournal::startEmpty()
{
    m_recoveredRows = 0;
    m_pending = TableTextFile::headerLine();
    m_unsynced.clear();
    m_written = m_synced = 0;
    m_dirty = true;
    ++m_generation;
    flush();
}

void SessionJournal::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QString SessionJournal::recoveryQuestion(int rows)
{
    return QStringLiteral("Recovered %1 readings from an earlier session that were not saved. Load them?")
        .arg(rows);
}

bool SessionJournal::loadRecovered(const std::function<bool(const QString &fileName)> &loadText)
{
    m_recoveredRows = 0;
    return isOpen() && loadText(m_fileName);
}

FileResult SessionJournal::setAside(QString *asideName)
{
    if (!isOpen())
        return FileResult::failure(QStringLiteral("There is no session journal."));
    struct stat st;
    const time_t when = ::fstat(m_fd, &st) == 0 ? st.st_mtime : ::time(nullptr);
    QString aside;
    if (JournalFile::moveAside(m_disk, m_fileName, when, &aside)) {
        // The rows went with the file; a new one takes the journal's name.
        closeFile();
        JournalFile::Survey found;
        QString problem;
        m_fd = JournalFile::openOwn(m_disk, m_fileName, problem, found);
        if (m_fd >= 0) {
            startEmpty();
        } else {
            m_recoveredRows = 0;
            stopped(offMessage(m_folder, problem));
        }
        if (asideName)
            *asideName = aside;
        return {};
    }
    // The rows stay under their name, unclaimed while this program runs and
    // offered at the next start; this session's rows go to another slot.
    const QString reason = qt_error_string(errno);
    const QString kept = m_fileName;
    closeFile();
    m_keptSlots.push_back(std::move(m_lock));
    m_recoveredRows = 0;
    openSlot(m_slot + 1);
    return FileResult::failure(
        QStringLiteral("The readings of the earlier session could not be put aside (%1). They stay in %2 and "
                       "are offered again at the next start.")
            .arg(reason, QDir::toNativeSeparators(kept)));
}

void SessionJournal::append(const TableRow &row)
{
    if (!isOpen())
        return;
    if (m_pending.isEmpty())
        m_timer.setEnabled(true); // a running period is not restarted: the first row waits at most one
    m_pending += m_formatRow(row);
}

void SessionJournal::flush()
{
    if (!isOpen())
        return;
    collectSyncs();
    m_timer.setEnabled(false);
    if (m_pending.isEmpty() && !m_dirty)
        return;
    m_writeError = writePending();
    if (m_writeError != 0) {
        m_timer.setEnabled(true); // tried again next period
        troubled(interruptedMessage(m_fileName, m_writeError));
        return;
    }
    m_sync->request(m_fd, m_generation, m_written); // a power cut, not only a crash
}

// Writes the pending rows after the whole lines; 0, or the errno of a
// failure, after which the rows stay pending.
int SessionJournal::writePending()
{
    if (m_dirty) {
        if (m_disk.truncate(m_fd, m_written) != 0)
            return errno;
        m_dirty = false;
    }
    qint64 done = 0;
    while (done < m_pending.size()) {
        const qint64 n =
            m_disk.write(m_fd, m_pending.constData() + done, m_pending.size() - done, m_written + done);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int error = n == 0 ? ENOSPC : errno;
        m_dirty = done > 0; // the file may now end in a cut line
        return error;
    }
    m_written += done;
    m_unsynced += m_pending;
    m_pending.clear();
    return 0;
}

// What the sync thread found: synced bytes need no copy any more; after a
// failed sync, what it covered is written again.
void SessionJournal::collectSyncs()
{
    if (!isOpen())
        return;
    const DiskSync::Outcome found = m_sync->take(m_generation);
    if (found.error != 0) {
        m_pending.prepend(m_unsynced);
        m_unsynced.clear();
        m_written = m_synced;
        m_dirty = true;
        ++m_generation;
        m_timer.setEnabled(true);
        troubled(interruptedMessage(m_fileName, found.error));
        return;
    }
    if (found.synced > m_synced) {
        m_unsynced.remove(0, found.synced - m_synced);
        m_synced = found.synced;
    }
    if (m_troubled && m_writeError == 0 && !m_dirty && m_synced == m_written)
        protectingAgain();
}

// No journal any more: told even after an interruption was.
void SessionJournal::stopped(const QString &message)
{
    m_troubled = true;
    tell(false, message);
}

void SessionJournal::troubled(const QString &message)
{
    if (m_troubled)
        return;
    m_troubled = true;
    tell(false, message);
}

void SessionJournal::protectingAgain()
{
    m_troubled = false;
    tell(true, protectingAgainMessage(m_fileName));
}

void SessionJournal::tell(bool protecting, const QString &message)
{
    if (m_onProtectionChanged)
        m_onProtectionChanged(protecting, message);
    else
        m_untold =
            protecting ? QString() : message; // a stop that ended before anyone listened is news no more
}

void SessionJournal::clear()
{
    if (isOpen())
        startEmpty();
}

void SessionJournal::markSaved(const MeasurementTable &table, int savedRows)
{
    if (!isOpen())
        return;
    startEmpty();
    for (int r = qMax(savedRows, 0); r < table.rowCount(); ++r)
        append(table.row(r));
}
