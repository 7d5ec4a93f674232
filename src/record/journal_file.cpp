#include "journal_file.h"

#include "table_text_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kAsideNames = 100;         // "-2" ... "-100" after a taken dated name
constexpr qint64 kReadChunk = 64 * 1024; // bytes; a left journal is read this much at a time

// Ours alone: a regular file of this user with no other name. A link, a
// device or a second name of some other file is never written into.
bool isOwnJournal(const struct stat &st)
{
    return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
}

bool makePath(const QByteArray &path)
{
    if (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return false;
    return makePath(path.left(slash)) && (::mkdir(path.constData(), 0700) == 0 || errno == EEXIST);
}

qint64 readAt(int fd, char *data, qint64 size, qint64 offset)
{
    for (;;) {
        const ssize_t n = ::pread(fd, data, size_t(size), offset);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

// Counts the rows of a left journal one buffer at a time, so that a start
// after a long session needs no more memory than the buffer. A journal
// starts with the header line; an empty file, or a header cut short, is one
// that never got further.
bool survey(int fd, JournalFile::Survey &found)
{
    found = {};
    const QByteArray header = TableTextFile::headerLine();
    std::vector<char> buffer(kReadChunk);
    const qint64 headLength = readAt(fd, buffer.data(), header.size(), 0);
    if (headLength < header.size()) {
        found.size = qMax<qint64>(headLength, 0);
        return headLength >= 0 && header.startsWith(QByteArrayView(buffer.data(), headLength));
    }
    if (QByteArrayView(buffer.data(), headLength) != header)
        return false;

    qint64 rows = 0;
    qint64 lineStart = header.size();
    bool crBefore = false; // the byte before the buffer was a CR
    qint64 offset = lineStart;
    for (;;) {
        const qint64 n = readAt(fd, buffer.data(), kReadChunk, offset);
        if (n < 0)
            return false; // unreadable: set aside rather than written over
        if (n == 0)
            break;
        const char *begin = buffer.data();
        const char *end = begin + n;
        for (const char *lf = begin;
             (lf = static_cast<const char *>(std::memchr(lf, '\n', size_t(end - lf)))); ++lf) {
            if (lf > begin ? lf[-1] != '\r' : !crBefore)
                continue;
            const qint64 at = offset + (lf - begin);
            if (at - 1 > lineStart)
                ++rows;
            lineStart = at + 1;
        }
        crBefore = end[-1] == '\r';
        offset += n;
    }
    found.rows = int(qMin<qint64>(rows, std::numeric_limits<int>::max()));
    found.complete = lineStart;
    found.size = offset;
    return true;
}

} // namespace

qint64 JournalDisk::write(int fd, const char *data, qint64 size, qint64 offset)
{
    return ::pwrite(fd, data, size_t(size), offset);
}

int JournalDisk::truncate(int fd, qint64 size)
{
    return ::ftruncate(fd, size);
}

int JournalDisk::sync(int fd)
{
    return ::fdatasync(fd);
}

int JournalDisk::renameNoReplace(const QByteArray &from, const QByteArray &to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without the flag: look, then rename.
    struct stat st;
    if (::lstat(to.constData(), &st) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.constData(), to.constData());
}

JournalDisk &JournalFile::systemDisk()
{
    static JournalDisk disk;
    return disk;
}

bool JournalFile::makeFolder(const QString &folder)
{
    return makePath(QFile::encodeName(QDir::cleanPath(folder)));
}

bool JournalFile::moveAside(JournalDisk &disk, const QString &name, time_t when, QString *movedTo)
{
    const QFileInfo info(name);
    const QString base = info.dir().filePath(
        info.completeBaseName() + QLatin1Char(' ') +
        QDateTime::fromSecsSinceEpoch(when).toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")));
    for (int n = 1; n <= kAsideNames; ++n) {
        const QString to =
            n == 1 ? base + QStringLiteral(".txt") : QStringLiteral("%1-%2.txt").arg(base).arg(n);
        if (disk.renameNoReplace(QFile::encodeName(name), QFile::encodeName(to)) == 0) {
            if (movedTo)
                *movedTo = to;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

int JournalFile::openOwn(JournalDisk &disk, const QString &name, QString &problem, Survey &found)
{
    const QByteArray path = QFile::encodeName(name);
    struct stat st;
    if (::lstat(path.constData(), &st) == 0 && !isOwnJournal(st) && !moveAside(disk, name, st.st_mtime)) {
        problem = qt_error_string(errno);
        return -1;
    }
    for (int attempt = 0; attempt < 2; ++attempt) {
        // O_NONBLOCK: a pipe put there since the look above must not hold up the start.
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
        if (fd < 0) {
            problem = qt_error_string(errno);
            return -1;
        }
        if (::fstat(fd, &st) != 0 || !isOwnJournal(st)) {
            problem = qt_error_string(EPERM);
            ::close(fd);
            return -1;
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        // Journals of earlier versions were readable by all. A file system
        // without modes refuses and keeps what it has: no reason to lose the journal.
        if ((st.st_mode & 07777) != 0600)
            ::fchmod(fd, 0600);
        if (survey(fd, found))
            return fd;
        ::close(fd);
        if (!moveAside(disk, name, st.st_mtime)) {
            problem = qt_error_string(errno);
            return -1;
        }
    }
    problem = qt_error_string(EEXIST);
    return -1;
}
