#pragma once

#include "record/session_journal.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <limits>

// The system's file calls with failures to order: a disk that fills up, one
// that fails every write, syncs that fail, names that cannot move.
struct FaultyDisk : JournalDisk {
    std::atomic<qint64> capacity{
        std::numeric_limits<qint64>::max()}; // bytes a file may hold; a write past it is cut
    std::atomic<int> writeError{0};          // errno of every write; 0: none
    std::atomic<int> failingSyncs{0};        // this many syncs fail with EIO
    std::atomic<int> syncs{0};               // syncs done, failed or not
    std::atomic<int> renameError{0};         // errno of every rename; 0: none

    qint64 write(int fd, const char *data, qint64 size, qint64 offset) override
    {
        if (writeError != 0) {
            errno = writeError;
            return -1;
        }
        const qint64 room = capacity - offset;
        if (room <= 0) {
            errno = ENOSPC;
            return -1;
        }
        return JournalDisk::write(fd, data, qMin(size, room), offset);
    }
    int sync(int fd) override
    {
        int result = -1;
        if (failingSyncs > 0) {
            --failingSyncs;
            errno = EIO;
        } else {
            result = JournalDisk::sync(fd);
        }
        ++syncs;
        return result;
    }
    int renameNoReplace(const QByteArray &from, const QByteArray &to) override
    {
        if (renameError != 0) {
            errno = renameError;
            return -1;
        }
        return JournalDisk::renameNoReplace(from, to);
    }
};

// What a journal told about crash protection, as "off|message" or "on|message".
inline SessionJournal::ProtectionChanged recordNotices(QStringList &notices)
{
    return [&notices](bool protecting, const QString &message) {
        notices << (protecting ? QStringLiteral("on|") : QStringLiteral("off|")) + message;
    };
}
