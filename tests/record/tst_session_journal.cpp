#include "record/faulty_disk.h"
#include "record/measurement_table.h"
#include "record/session_journal.h"
#include "record/window_timer.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

class TestSessionJournal : public QObject {
    Q_OBJECT

private slots:
    void rowsReachTheFileOnlyAtTheFlush();
    void newAndSaveLeaveNoUnsavedRows();
    void normalEndRemovesTheFile();
    void deadSessionsRowsAreOffered_data();
    void deadSessionsRowsAreOffered();
    void recoveredRowsLoadAndStay();
    void setAsideKeepsTheRowsUnderTheDate();
    void setAsideTakesAFreeName();
    void setAsideThatCannotMoveKeepsTheRows();
    void twoProgramsNeverShareAJournal();
    void noJournalIsToldOnce_data();
    void noJournalIsToldOnce();
    void failedWritesKeepTheirRows_data();
    void failedWritesKeepTheirRows();
    void failedSyncIsWrittenAgain();
    void fullFileSystemLosesNoRows();
    void foreignThingsAtTheNameGoAside_data();
    void foreignThingsAtTheNameGoAside();
    void journalIsPrivate_data();
    void journalIsPrivate();
    void rowsAreCountedAcrossReadBuffers_data();
    void rowsAreCountedAcrossReadBuffers();
};

namespace {

TableRow reading(int no, const QString &value = QStringLiteral("1.234"))
{
    TableRow row;
    row.No = no;
    row.Time = QStringLiteral("09:05:07");
    row.DcAc = QStringLiteral("DC");
    row.Value = value;
    row.Unit = QStringLiteral("V");
    row.Auto = QStringLiteral("pass");
    return row;
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QByteArray kHeader = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n";

QByteArray lines(int from, int to)
{
    QByteArray text;
    for (int no = from; no <= to; ++no)
        text += TableTextFile::rowLine(reading(no));
    return text;
}

// Files of the folder other than the journal and its lock, by name.
QStringList besides(const QString &folder, const QString &journal)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    names.removeAll(QFileInfo(journal).fileName());
    names.removeAll(QFileInfo(journal).fileName() + QStringLiteral(".lock"));
    return names;
}

// A journal in a folder of its own on a disk that fails to order, and what it told.
struct FaultyJournal {
    QTemporaryDir dir;
    FaultyDisk disk;
    ManualWindowTimer timer;
    SessionJournal journal{dir.path(), timer, &disk};
    QStringList notices;
    FaultyJournal() { journal.setOnProtectionChanged(recordNotices(notices)); }
};

int loadedRows(const QString &fileName)
{
    MeasurementTable table;
    const FileResult loaded = TableTextFile::load(fileName, table);
    return loaded ? table.rowCount() : -1;
}

} // namespace

void TestSessionJournal::rowsReachTheFileOnlyAtTheFlush()
{
    QTemporaryDir dir;
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QVERIFY(journal.isOpen());
    QCOMPARE(contents(journal.fileName()), kHeader);
    QVERIFY(!timer.isEnabled()); // no wake-ups while nothing waits

    journal.append(reading(1));
    QVERIFY(timer.isEnabled());
    QCOMPARE(timer.interval(), 1000);
    journal.append(reading(2, QString()));
    QCOMPARE(timer.periodStarts(), 1); // the second row does not push the flush back
    QCOMPARE(contents(journal.fileName()), kHeader);

    timer.fire();
    QCOMPARE(contents(journal.fileName()),
             kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n2\t09:05:07\tDC\tNULL\tV\tpass\r\n");
    QVERIFY(!timer.isEnabled());
    QCOMPARE(journal.pendingBytes(), 0);
}

void TestSessionJournal::newAndSaveLeaveNoUnsavedRows()
{
    QTemporaryDir dir;
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    journal.append(reading(1));
    timer.fire();
    journal.append(reading(2)); // still waiting for its flush
    journal.clear();
    QCOMPARE(contents(journal.fileName()), kHeader);
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader);

    // Rows 3 and 4 were saved; 5 was recorded while the file was written.
    MeasurementTable table;
    for (int no : {3, 4, 5}) {
        table.appendRow(reading(no));
        journal.append(reading(no));
    }
    timer.fire();
    journal.markSaved(table, 2);
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader + "5\t09:05:07\tDC\t1.234\tV\tpass\r\n");
    journal.markSaved(table, 3);
    QCOMPARE(contents(journal.fileName()), kHeader);
    QVERIFY(!timer.isEnabled());
}

void TestSessionJournal::normalEndRemovesTheFile()
{
    QTemporaryDir dir;
    ManualWindowTimer timer;
    QString fileName;
    {
        SessionJournal journal(dir.path(), timer);
        journal.append(reading(1));
        timer.fire();
        fileName = journal.fileName();
    }
    QVERIFY(!QFile::exists(fileName));
    QVERIFY(!QFile::exists(fileName + QStringLiteral(".lock")));
    // A later start finds nothing to offer.
    SessionJournal next(dir.path(), timer);
    QCOMPARE(next.recoveredRows(), 0);
}

void TestSessionJournal::deadSessionsRowsAreOffered_data()
{
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("keptText");

    const QByteArray row1 = "1\t09:05:07\tDC\t1.234\tV\tpass\r\n";
    const QByteArray row2 = "2\t09:05:08\tDC\t1.235\tV\tpass\r\n";
    QTest::newRow("two rows") << kHeader + row1 + row2 << 2 << kHeader + row1 + row2;
    QTest::newRow("header only") << kHeader << 0 << kHeader;
    // The power went while the last line was written.
    QTest::newRow("cut in the last line") << kHeader + row1 + "2\t09:0" << 1 << kHeader + row1;
    QTest::newRow("cut in the header") << QByteArray("No\tTi") << 0 << kHeader;
    QTest::newRow("empty") << QByteArray() << 0 << kHeader;
}

void TestSessionJournal::deadSessionsRowsAreOffered()
{
    QFETCH(QByteArray, left);
    QFETCH(int, rows);
    QFETCH(QByteArray, keptText);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("session-journal-1.txt")), left);

    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QCOMPARE(journal.fileName(), dir.filePath(QStringLiteral("session-journal-1.txt")));
    QCOMPARE(journal.recoveredRows(), rows);
    QCOMPARE(contents(journal.fileName()), keptText);
    // New rows start on a line of their own.
    journal.append(reading(7));
    timer.fire();
    QCOMPARE(contents(journal.fileName()), keptText + "7\t09:05:07\tDC\t1.234\tV\tpass\r\n");
}

void TestSessionJournal::recoveredRowsLoadAndStay()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("session-journal-1.txt")),
              kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n3\t09:05:09\tOHM\t0.L\tM*\tFail\r\n");
    MeasurementTable table;
    table.appendRow(reading(40)); // a load appends
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QVERIFY(journal.loadRecovered(
        [&](const QString &fileName) { return bool(TableTextFile::load(fileName, table)); }));
    QCOMPARE(journal.recoveredRows(), 0);
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.row(1).No, std::optional<qint32>(1));
    QCOMPARE(table.row(2).No, std::optional<qint32>(3));
    QCOMPARE(table.row(2).Value, QStringLiteral("0.L"));
    QCOMPARE(table.row(2).Unit, QStringLiteral("M*"));
    QCOMPARE(table.row(2).Auto, QStringLiteral("Fail"));
    // Still unsaved: a second crash offers them again.
    QVERIFY(contents(journal.fileName()).contains("3\t09:05:09\tOHM"));
}

void TestSessionJournal::setAsideKeepsTheRowsUnderTheDate()
{
    QTemporaryDir dir;
    const QByteArray left = kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n";
    writeFile(dir.filePath(QStringLiteral("session-journal-1.txt")), left);
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QString aside;
    QVERIFY(journal.setAside(&aside));
    QVERIFY2(QFileInfo(aside).fileName().startsWith(
                 QStringLiteral("session-journal-1 %1").arg(QDate::currentDate().toString(Qt::ISODate))),
             qPrintable(aside));
    QCOMPARE(contents(aside), left);
    QCOMPARE(journal.recoveredRows(), 0);
    QCOMPARE(contents(journal.fileName()), kHeader);
    journal.append(reading(2));
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader + "2\t09:05:07\tDC\t1.234\tV\tpass\r\n");
}

// A set-aside whose dated name was taken emptied the journal with the rows still in it.
void TestSessionJournal::setAsideTakesAFreeName()
{
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("session-journal-1.txt"));
    const QByteArray left = kHeader + lines(1, 3);
    writeFile(name, left);
    const QDateTime stamp(QDate(2024, 5, 6), QTime(7, 8, 9));
    {
        QFile file(name);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
    }
    const QString taken = dir.filePath(QStringLiteral("session-journal-1 2024-05-06 07-08-09.txt"));
    const QString takenToo = dir.filePath(QStringLiteral("session-journal-1 2024-05-06 07-08-09-2.txt"));
    writeFile(taken, "an earlier set-aside");
    writeFile(takenToo, "and another");

    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QCOMPARE(journal.recoveredRows(), 3);
    QString aside;
    QVERIFY(journal.setAside(&aside));
    QCOMPARE(aside, dir.filePath(QStringLiteral("session-journal-1 2024-05-06 07-08-09-3.txt")));
    QCOMPARE(contents(aside), left);
    QCOMPARE(contents(taken), QByteArray("an earlier set-aside"));
    QCOMPARE(contents(takenToo), QByteArray("and another"));
    QCOMPARE(contents(journal.fileName()), kHeader);
}

// When the rows cannot move, the journal is not emptied: they stay for the
// next start, and this session writes to a slot of its own.
void TestSessionJournal::setAsideThatCannotMoveKeepsTheRows()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("session-journal-1.txt"));
    const QByteArray left = kHeader + lines(1, 3);
    writeFile(first, left);
    FaultyDisk disk;
    disk.renameError = EACCES;
    ManualWindowTimer timer;
    QStringList notices;
    {
        SessionJournal journal(dir.path(), timer, &disk);
        journal.setOnProtectionChanged(recordNotices(notices));
        const FileResult aside = journal.setAside();
        QVERIFY(!aside);
        QCOMPARE(aside.reason, QStringLiteral("The readings of the earlier session could not be put aside "
                                              "(Permission denied). They stay in %1 and are offered again at "
                                              "the next start.")
                                   .arg(first));
        QCOMPARE(contents(first), left);
        QVERIFY(journal.isOpen());
        QCOMPARE(journal.fileName(), dir.filePath(QStringLiteral("session-journal-2.txt")));
        QCOMPARE(journal.recoveredRows(), 0);
        journal.append(reading(9));
        timer.fire();
        QCOMPARE(contents(journal.fileName()), kHeader + lines(9, 9));
        QCOMPARE(contents(first), left);
        // Another program started meanwhile does not take them over.
        ManualWindowTimer otherTimer;
        SessionJournal other(dir.path(), otherTimer);
        QCOMPARE(other.fileName(), dir.filePath(QStringLiteral("session-journal-3.txt")));
    }
    QVERIFY(notices.isEmpty()); // crash protection went on all along
    QCOMPARE(contents(first), left);
    SessionJournal next(dir.path(), timer);
    QCOMPARE(next.fileName(), first);
    QCOMPARE(next.recoveredRows(), 3);
}

void TestSessionJournal::twoProgramsNeverShareAJournal()
{
    QTemporaryDir dir;
    ManualWindowTimer timer1, timer2;
    SessionJournal first(dir.path(), timer1);
    first.append(reading(1));
    timer1.fire();
    SessionJournal second(dir.path(), timer2);
    QVERIFY(second.isOpen());
    QVERIFY(second.fileName() != first.fileName());
    QCOMPARE(second.recoveredRows(), 0); // the first program's rows are its own, not a dead session's
    second.append(reading(2));
    timer2.fire();
    QCOMPARE(contents(first.fileName()), kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n");
}

// Nothing said that crash protection was off when no journal could be kept.
void TestSessionJournal::noJournalIsToldOnce_data()
{
    QTest::addColumn<bool>("allSlotsHeld");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder below a file") << false << QStringLiteral("Not a directory");
    QTest::newRow("every slot held") << true
                                     << QStringLiteral(
                                            "all 64 journals are in use by other running programs");
}

void TestSessionJournal::noJournalIsToldOnce()
{
    QFETCH(bool, allSlotsHeld);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    const QString folder = allSlotsHeld ? dir.path() : dir.filePath(QStringLiteral("file/below"));
    std::vector<std::unique_ptr<QLockFile>> held;
    for (int slot = 1; allSlotsHeld && slot <= 64; ++slot) {
        held.push_back(std::make_unique<QLockFile>(
            dir.filePath(QStringLiteral("session-journal-%1.txt.lock").arg(slot))));
        QVERIFY(held.back()->tryLock(0));
    }

    ManualWindowTimer timer;
    SessionJournal journal(folder, timer);
    QVERIFY(!journal.isOpen());
    QStringList notices;
    journal.setOnProtectionChanged(recordNotices(notices));
    QCOMPARE(notices,
             QStringList{QStringLiteral("off|Crash protection is off: no session journal can be kept in "
                                        "%1 (%2). A crash loses the readings not saved.")
                             .arg(folder, reason)});
    journal.append(reading(1)); // recording goes on without it
    timer.fire();
    QVERIFY(!timer.isEnabled());
    journal.clear();
    QCOMPARE(notices.size(), 1);
}

// A flush on a full disk dropped its rows without a word, and left a cut
// line that the next flush's rows followed: the whole journal failed to load.
void TestSessionJournal::failedWritesKeepTheirRows_data()
{
    QTest::addColumn<qint64>("capacity");
    QTest::addColumn<int>("writeError");
    QTest::addColumn<QString>("reason");
    QTest::newRow("disk full half-way") << qint64(16384) << 0 << QStringLiteral("No space left on device");
    QTest::newRow("disk full before")
        << qint64(kHeader.size()) << 0 << QStringLiteral("No space left on device");
    QTest::newRow("write fails") << std::numeric_limits<qint64>::max() << EIO
                                 << QStringLiteral("Input/output error");
}

void TestSessionJournal::failedWritesKeepTheirRows()
{
    QFETCH(qint64, capacity);
    QFETCH(int, writeError);
    QFETCH(QString, reason);
    FaultyJournal rig;
    auto &[dir, disk, timer, journal, notices] = rig;

    disk.capacity = capacity;
    disk.writeError = writeError;
    for (int no = 1; no <= 2000; ++no)
        journal.append(reading(no));
    timer.fire();
    const QString interrupted =
        QStringLiteral(
            "off|Crash protection is interrupted: the session journal %1 cannot be written (%2). New "
            "readings wait in memory and go to the journal as soon as the disk takes them; until "
            "then a crash loses them.")
            .arg(journal.fileName(), reason);
    QCOMPARE(notices, QStringList{interrupted});
    QCOMPARE(journal.pendingBytes(), lines(1, 2000).size());
    QVERIFY(timer.isEnabled()); // tried again next period
    // What the disk took stays until space comes back, the cut line included.
    QCOMPARE(QFileInfo(journal.fileName()).size(), writeError != 0 ? kHeader.size() : capacity);

    // Still full: more rows wait, nothing more is said.
    journal.append(reading(2001));
    timer.fire();
    QCOMPARE(notices.size(), 1);

    // Space again: the cut line goes, the rows follow whole lines.
    disk.capacity = std::numeric_limits<qint64>::max();
    disk.writeError = 0;
    journal.append(reading(2002));
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader + lines(1, 2002));
    QCOMPARE(journal.pendingBytes(), 0);
    QCOMPARE(loadedRows(journal.fileName()), 2002);
    QTRY_COMPARE(notices.size(), 2); // once the disk confirms them
    QCOMPARE(notices.last(), QStringLiteral("on|Crash protection works again: the session journal %1 holds "
                                            "every reading not saved.")
                                 .arg(journal.fileName()));
    QVERIFY(!timer.isEnabled());
}

// A failed sync may have lost what it covered: those rows are written again
// in their place, not a second time after them.
void TestSessionJournal::failedSyncIsWrittenAgain()
{
    FaultyJournal rig;
    auto &[dir, disk, timer, journal, notices] = rig;
    QTRY_COMPARE(disk.syncs.load(), 1); // the header's

    disk.failingSyncs = 1;
    journal.append(reading(1));
    journal.append(reading(2));
    timer.fire();
    QTRY_COMPARE(notices.size(), 1);
    QVERIFY(notices.first().startsWith(QStringLiteral("off|Crash protection is interrupted")));
    QVERIFY(notices.first().contains(QStringLiteral("(Input/output error)")));
    QCOMPARE(journal.pendingBytes(), lines(1, 2).size());
    QVERIFY(timer.isEnabled());

    journal.append(reading(3));
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader + lines(1, 3));
    QTRY_COMPARE(notices.size(), 2);
    QVERIFY(notices.last().startsWith(QStringLiteral("on|Crash protection works again")));
}

// The same on a real file system that fills up (a small tmpfs, which needs root).
void TestSessionJournal::fullFileSystemLosesNoRows()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    QTemporaryDir dir;
    if (::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                "size=256k,mode=0700") != 0)
        QSKIP(qPrintable(QStringLiteral("no tmpfs could be mounted: %1").arg(qt_error_string(errno))));
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{QFile::encodeName(dir.path())};

    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QStringList notices;
    journal.setOnProtectionChanged(recordNotices(notices));
    QVERIFY(journal.isOpen());

    // Fill the rest, then free 16 KiB: room for about 600 of the 2000 rows.
    const QByteArray filler = QFile::encodeName(dir.filePath(QStringLiteral("filler")));
    const int fd = ::open(filler.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    QVERIFY(fd >= 0);
    const QByteArray block(4096, 'x');
    off_t size = 0;
    for (ssize_t n; (n = ::write(fd, block.constData(), size_t(block.size()))) > 0;)
        size += n;
    QCOMPARE(errno, ENOSPC);
    QCOMPARE(::ftruncate(fd, size - 16384), 0);
    ::close(fd);

    for (int no = 1; no <= 2000; ++no)
        journal.append(reading(no));
    timer.fire();
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().contains(QStringLiteral("(No space left on device)")));
    QCOMPARE(journal.pendingBytes(), lines(1, 2000).size());

    QCOMPARE(::unlink(filler.constData()), 0);
    journal.append(reading(2001));
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader + lines(1, 2001));
    QCOMPARE(loadedRows(journal.fileName()), 2001);
    QTRY_COMPARE(notices.size(), 2);
    QVERIFY(notices.last().startsWith(QStringLiteral("on|")));
}

// A link at the journal's name was followed and its target cut to the
// header; anything but a journal of ours is now renamed aside untouched.
void TestSessionJournal::foreignThingsAtTheNameGoAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("link to a file") << QStringLiteral("link");
    QTest::newRow("link to a journal") << QStringLiteral("link to journal");
    QTest::newRow("link to nothing") << QStringLiteral("dangling link");
    QTest::newRow("second name of a file") << QStringLiteral("hard link");
    QTest::newRow("pipe") << QStringLiteral("pipe");
    QTest::newRow("folder") << QStringLiteral("folder");
    QTest::newRow("another user's file") << QStringLiteral("foreign owner");
    QTest::newRow("not a journal") << QStringLiteral("text");
}

void TestSessionJournal::foreignThingsAtTheNameGoAside()
{
    QFETCH(QString, kind);
    QTemporaryDir dir, elsewhere;
    const QString name = dir.filePath(QStringLiteral("session-journal-1.txt"));
    const QByteArray path = QFile::encodeName(name);
    const QString target = elsewhere.filePath(QStringLiteral("precious.txt"));
    // A journal's text must not tempt it either.
    const bool journalText = kind == QStringLiteral("link to journal") || kind == QStringLiteral("hard link");
    const QByteArray precious = journalText ? kHeader + lines(1, 2) : QByteArray("precious\r\n");
    writeFile(target, precious);
    if (kind.contains(QStringLiteral("link")) && kind != QStringLiteral("hard link")) {
        const QString to =
            kind == QStringLiteral("dangling link") ? elsewhere.filePath(QStringLiteral("none")) : target;
        QVERIFY(QFile::link(to, name));
    } else if (kind == QStringLiteral("hard link")) {
        QCOMPARE(::link(QFile::encodeName(target).constData(), path.constData()), 0);
    } else if (kind == QStringLiteral("pipe")) {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    } else if (kind == QStringLiteral("folder")) {
        QVERIFY(QDir().mkdir(name));
    } else if (kind == QStringLiteral("foreign owner")) {
        if (::geteuid() != 0)
            QSKIP("giving a file to another user needs root");
        writeFile(name, kHeader + lines(1, 2));
        QCOMPARE(::chown(path.constData(), 65534, 65534), 0);
    } else {
        writeFile(name, "something else\r\n1\t2\r\n");
    }
    struct stat before;
    QCOMPARE(::lstat(path.constData(), &before), 0);

    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QVERIFY(journal.isOpen());
    QCOMPARE(journal.fileName(), name);
    QCOMPARE(journal.recoveredRows(), 0);
    QCOMPARE(contents(name), kHeader);
    QCOMPARE(contents(target), precious);
    const QStringList aside = besides(dir.path(), name);
    QCOMPARE(aside.size(), 1);
    QVERIFY2(aside.first().startsWith(QStringLiteral("session-journal-1 ")), qPrintable(aside.first()));
    struct stat after;
    QCOMPARE(::lstat(QFile::encodeName(dir.filePath(aside.first())).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino); // the very thing, moved
    QVERIFY(!QFileInfo::exists(elsewhere.filePath(QStringLiteral("none"))));
}

// Other local users could read the readings: the journal was 0644 in a 0755 folder.
void TestSessionJournal::journalIsPrivate_data()
{
    QTest::addColumn<bool>("earlierJournal");
    QTest::newRow("new folder and journal") << false;
    QTest::newRow("journal of an earlier version") << true;
}

void TestSessionJournal::journalIsPrivate()
{
    QFETCH(bool, earlierJournal);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("share/halvern"));
    const QString name = QDir(folder).filePath(QStringLiteral("session-journal-1.txt"));
    const mode_t mask = ::umask(022);
    if (earlierJournal) {
        QVERIFY(QDir().mkpath(folder));
        writeFile(name, kHeader + lines(1, 2));
        QVERIFY(QFile::setPermissions(name, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                QFile::ReadOther));
    }
    ManualWindowTimer timer;
    SessionJournal journal(folder, timer);
    ::umask(mask);
    QCOMPARE(journal.fileName(), name);
    QCOMPARE(journal.recoveredRows(), earlierJournal ? 2 : 0);
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(name).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0600));
    if (!earlierJournal) {
        for (const QString &made : {folder, dir.filePath(QStringLiteral("share"))}) {
            QCOMPARE(::stat(QFile::encodeName(made).constData(), &st), 0);
            QCOMPARE(st.st_mode & 07777, mode_t(0700));
        }
    }
}

// The start counts a left journal a buffer (64 KiB) at a time; a line end
// may fall on either side of a buffer's end, or across it.
void TestSessionJournal::rowsAreCountedAcrossReadBuffers_data()
{
    QTest::addColumn<int>("crAt"); // offset of a line's CR
    QTest::newRow("CR LF before the buffer's end") << 65534 - 1;
    QTest::newRow("CR last in the buffer, LF first in the next") << 65535;
    QTest::newRow("CR LF in the next buffer") << 65536;
    QTest::newRow("empty line across the buffers") << -65535;
}

void TestSessionJournal::rowsAreCountedAcrossReadBuffers()
{
    QFETCH(int, crAt);
    QByteArray text = kHeader + lines(1, 1500);
    int rows = 1500;
    const bool emptyLine = crAt < 0;
    crAt = qAbs(crAt);
    // A row with a long value, ending in CR LF at crAt.
    const QByteArray start = "1501\t09:05:07\tDC\t";
    const QByteArray end = "\tV\tpass";
    QVERIFY(text.size() + start.size() + end.size() < crAt);
    if (emptyLine) {
        text += start + QByteArray(crAt - 2 - text.size() - start.size() - end.size(), '7') + end + "\r\n";
        QCOMPARE(text.size(), crAt);
        text += "\r\n"; // an empty line: no row
    } else {
        text += start + QByteArray(crAt - text.size() - start.size() - end.size(), '7') + end;
        QCOMPARE(text.size(), crAt);
        text += "\r\n";
    }
    ++rows;
    text += lines(1502, 3000);
    rows += 1499;
    const QByteArray whole = text;
    text += "3001\t09:0"; // cut by the end

    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("session-journal-1.txt")), text);
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QCOMPARE(journal.recoveredRows(), rows);
    QCOMPARE(contents(journal.fileName()), whole);
    QCOMPARE(loadedRows(journal.fileName()), rows);
}

QTEST_GUILESS_MAIN(TestSessionJournal)
#include "tst_session_journal.moc"
