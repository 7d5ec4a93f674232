#include "session_journal.h"

#include "measurement_table.h"
#include "window_timer.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <unistd.h>

namespace {

constexpr int kSlots = 64;
constexpr int kFlushPeriodMs = 1000;

QByteArray cell(const QString &text)
{
    const QString trimmed = text.trimmed();
    return trimmed.isEmpty() ? QByteArrayLiteral("NULL") : trimmed.toLatin1();
}

} // namespace

SessionJournal::SessionJournal(const QString &folder, WindowTimer &flushTimer, RowFormatter formatRow)
    : m_timer(flushTimer), m_formatRow(formatRow)
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
    if (headerEnd < 0 || !text.startsWith(headerLine().chopped(2))) {
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
    if (!m_file.resize(0) || !m_file.seek(0) || m_file.write(headerLine()) < 0 || !m_file.flush())
        return false;
    ::fdatasync(m_file.handle());
    return true;
}

QString SessionJournal::recoveryQuestion(int rows)
{
    return QStringLiteral("Recovered %1 readings from an earlier session that were not saved. Load them?")
        .arg(rows);
}

bool SessionJournal::loadRecovered(MeasurementTable &table)
{
    m_recoveredRows = 0;
    if (!m_file.isOpen())
        return false;
    QFile in(m_file.fileName());
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = in.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> cells = lines[i].trimmed().split('\t');
        if (cells.size() != 6)
            continue;
        TableRow row;
        bool ok = false;
        const int no = cells[0].toInt(&ok);
        if (ok)
            row.No = no;
        row.Time = QString::fromLatin1(cells[1]);
        row.DcAc = QString::fromLatin1(cells[2]);
        row.Value = QString::fromLatin1(cells[3]);
        row.Unit = QString::fromLatin1(cells[4]);
        row.Auto = QString::fromLatin1(cells[5]);
        table.appendRow(row);
    }
    return true;
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
    ::fdatasync(m_file.handle()); // a power cut, not only a crash
    m_pending.clear();
}

void SessionJournal::clear()
{
    if (m_file.isOpen())
        startEmpty();
}

QByteArray SessionJournal::headerLine()
{
    return QByteArrayLiteral("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
}

QByteArray SessionJournal::textLine(const TableRow &row)
{
    QByteArray line = row.No ? QByteArray::number(*row.No) : QByteArray();
    for (const QString *text : {&row.Time, &row.DcAc, &row.Value, &row.Unit, &row.Auto}) {
        line += '\t';
        line += cell(*text);
    }
    line += "\r\n";
    return line;
}
