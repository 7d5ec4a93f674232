#pragma once

#include <QByteArray>
#include <QFile>

#include <malloc.h>

// Resident memory of this process from /proc/self/status, for the peak that
// one piece of work adds.
namespace ResidentMemory {

// A field such as "VmRSS:" or "VmHWM:", in KiB; 0 when it cannot be read.
inline long statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

// Gives freed memory back and restarts the peak (VmHWM) at the current
// size; returns that size (VmRSS) in KiB.
inline long restartPeak()
{
    malloc_trim(0);
    QFile reset(QStringLiteral("/proc/self/clear_refs"));
    if (reset.open(QIODevice::WriteOnly))
        reset.write("5");
    reset.close();
    return statusKb("VmRSS:");
}

// KiB the peak grew by since restartPeak() returned `before`.
inline long peakGrowthKb(long before)
{
    return statusKb("VmHWM:") - before;
}

} // namespace ResidentMemory
