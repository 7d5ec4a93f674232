#include "session_journal.h"

#include "measurement_table.h"
#include "window_timer.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace {

constexpr int kSlots = 64;
constexpr int kFlushPeriodMs = 1000;

} // namespace

// Syncs files to the disk on its own thread. Each request carries its own
// duplicate of the descriptor, so the journal may close or replace its file
// while a sync runs.
class SessionJournal::DiskSync {
public:
    DiskSync() : m_thread([this] { run(); }) {}
    ~DiskSync()
    {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_thread.join(); // the last request is synced before the end
    }

    void request(int fd)
    {
        const int copy = ::dup(fd);
        if (copy < 0)
            return;
        int replaced = -1;
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            replaced = m_fd;
            m_fd = copy;
        }
        if (replaced >= 0)
            ::close(replaced); // a newer request syncs the same data and more
        m_wake.notify_one();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_stop || m_fd >= 0; });
            if (m_fd >= 0) {
                const int fd = m_fd;
                m_fd = -1;
                lock.unlock();
                ::fdatasync(fd);
                ::close(fd);
                lock.lock();
            } else if (m_stop) {
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_fd = -1; // waiting to be synced
    bool m_stop = false;
    std::thread m_thread;
};

SessionJournal::SessionJournal(const QString &folder, WindowTimer &flushTimer, RowFormatter formatRow)
    : m_timer(flushTimer), m_formatRow(formatRow), m_sync(std::make_unique<DiskSync>())
{
    m_timer.setEnabled(false);
    m_timer.setInterval(kFlushPeriodMs);
    m_timer.setOnTimeout([this] { flush(); });
    if (!openSlot(folder))
        m_file.close();
}

SessionJournal::~SessionJournal()
{
    m_timer.setOnTimeout({});
    if (m_file.isOpen())
        m_file.remove();
}

bool SessionJournal::openSlot(const QString &folder)
{
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return false;
    const QDir dir(folder);
    for (int slot = 1; slot <= kSlots; ++slot) {
        const QString name = dir.filePath(QStringLiteral("session-journal-%1.txt").arg(slot));
        auto lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
        lock->setStaleLockTime(0); // stale only when its program is gone, however long a session runs
        if (!lock->tryLock(0))
            continue;
        m_lock = std::move(lock);
        m_file.setFileName(name);
        if (!m_file.open(QIODevice::ReadWrite))
            return false;
        if (m_file.size() > 0)
            takeOverExisting();
        else if (!startEmpty())
            return false;
        return true;
    }
    return false;
}

// Counts the complete rows a dead session left, and drops a line that the
// end cut short so that new rows start on a line of their own.
void SessionJournal::takeOverExisting()
{
    const QByteArray text = m_file.readAll();
    const qsizetype complete = text.lastIndexOf("\r\n") + 2; // 1 when there is no line end
    const qsizetype headerEnd = text.indexOf("\r\n");
    if (headerEnd < 0 || !text.startsWith(TableTextFile::headerLine().chopped(2))) {
        startEmpty(); // not a journal this program wrote
        return;
    }
    int rows = 0;
    for (qsizetype pos = headerEnd + 2; pos < complete;) {
        const qsizetype end = text.indexOf("\r\n", pos);
        if (end > pos)
            ++rows;
        pos = end + 2;
    }
    m_file.resize(complete);
    m_file.seek(complete);
    m_recoveredRows = rows;
}

bool SessionJournal::startEmpty()
{
    m_recoveredRows = 0;
    m_pending.clear();
    m_timer.setEnabled(false);
    if (!m_file.resize(0) || !m_file.seek(0) || m_file.write(TableTextFile::headerLine()) < 0 ||
        !m_file.flush())
        return false;
    m_sync->request(m_file.handle());
    return true;
}

QString SessionJournal::recoveryQuestion(int rows)
{
    return QStringLiteral("Recovered %1 readings from an earlier session that were not saved. Load them?")
        .arg(rows);
}

bool SessionJournal::loadRecovered(const std::function<bool(const QString &fileName)> &loadText)
{
    m_recoveredRows = 0;
    return m_file.isOpen() && loadText(m_file.fileName());
}

QString SessionJournal::setAside()
{
    if (!m_file.isOpen())
        return {};
    const QFileInfo info(m_file.fileName());
    const QString stamp = info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh-mm-ss"));
    const QString aside =
        info.dir().filePath(QStringLiteral("%1 %2.txt").arg(info.completeBaseName(), stamp));
    m_file.close();
    const bool renamed = QFile::rename(info.filePath(), aside);
    m_file.setFileName(info.filePath());
    if (!m_file.open(QIODevice::ReadWrite) || !startEmpty()) {
        m_file.close();
        return {};
    }
    return renamed ? aside : QString();
}

void SessionJournal::append(const TableRow &row)
{
    if (!m_file.isOpen())
        return;
    if (m_pending.isEmpty())
        m_timer.setEnabled(true); // a running period is not restarted: the first row waits at most one
    m_pending += m_formatRow(row);
}

void SessionJournal::flush()
{
    m_timer.setEnabled(false);
    if (m_pending.isEmpty() || !m_file.isOpen())
        return;
    m_file.write(m_pending);
    m_file.flush();
    m_sync->request(m_file.handle()); // a power cut, not only a crash
    m_pending.clear();
}

void SessionJournal::clear()
{
    if (m_file.isOpen())
        startEmpty();
}

void SessionJournal::markSaved(const MeasurementTable &table, int savedRows)
{
    if (!m_file.isOpen() || !startEmpty())
        return;
    for (int r = qMax(savedRows, 0); r < table.rowCount(); ++r)
        append(table.row(r));
}
