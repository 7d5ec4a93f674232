#pragma once

#include <QByteArray>
#include <QString>

#include <ctime>

// The calls by which the journal changes its files, behind an interface so
// that tests can fail them as a full or broken disk would. Each returns -1
// and sets errno on failure, as the system call it stands for.
class JournalDisk {
public:
    virtual ~JournalDisk() = default;
    virtual qint64 write(int fd, const char *data, qint64 size, qint64 offset); // pwrite
    virtual int truncate(int fd, qint64 size);
    virtual int sync(int fd); // called on the journal's sync thread
    // Fails with EEXIST when `to` is taken: never replaces a file.
    virtual int renameNoReplace(const QByteArray &from, const QByteArray &to);
};

// The session journal's files on the disk. A journal is a regular file of
// ours with one link, readable by us alone (0600, in folders made 0700);
// what else may lie at its name goes aside untouched:
//
//   at the journal's name          done
//   nothing                        made, 0600
//   a journal of ours              kept (0600 if it was not); rows counted
//   empty, or a header cut short   kept, to be started afresh
//   a link (even to a journal),    renamed aside under its date, never
//   a pipe, a folder, a device,    opened for writing
//   another's file, a second name
//   of some file, a file without
//   the journal's header line
namespace JournalFile {

JournalDisk &systemDisk();

// Makes the folder and any missing above it, readable by the user alone (as
// the XDG base directory rules ask of the data folder). False with errno set.
bool makeFolder(const QString &folder);

// Renames `name` to "<base> <date of when>.txt", or with "-2", "-3" ... when
// that is taken. False with errno set when it could not move.
bool moveAside(JournalDisk &disk, const QString &name, time_t when, QString *movedTo = nullptr);

// What a file at a journal's name holds.
struct Survey {
    int rows = 0;        // non-empty lines after the header
    qint64 complete = 0; // bytes up to the end of the last whole line; 0: start afresh
    qint64 size = 0;     // bytes read
};

// Opens the journal at `name` for reading and writing, made if missing,
// after moving aside what is there when it is not a journal of ours. The
// descriptor, or -1 with the reason in `problem`.
int openOwn(JournalDisk &disk, const QString &name, QString &problem, Survey &found);

} // namespace JournalFile
