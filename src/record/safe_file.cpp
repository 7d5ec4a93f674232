#include "safe_file.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QString keptNote(bool existed)
{
    return existed ? QStringLiteral(" The existing file was left unchanged.") : QString();
}

// Devices and pipes never end (/dev/zero) or block the window on open (a
// pipe without a writer); a save would replace the device with a file.
bool isDeviceOrPipe(const QFileInfo &info)
{
    return info.exists() && !info.isFile() && !info.isDir();
}

const QString kNotAFile = QStringLiteral("The name is a device or a pipe, not a file.");

} // namespace

FileResult saveFileSafely(const QString &fileName, const std::function<bool(QIODevice &)> &write)
{
    const QFileInfo info(fileName);
    const bool existed = info.exists();
    if (info.isDir())
        return FileResult::failure(QStringLiteral("The name is a folder, not a file."));
    if (isDeviceOrPipe(info))
        return FileResult::failure(kNotAFile);

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return FileResult::failure(file.errorString() + '.' + keptNote(existed));
    if (!write(file)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return FileResult::failure(reason + '.' + keptNote(existed));
    }
    if (!file.commit())
        return FileResult::failure(file.errorString() + '.' + keptNote(existed));
    return {};
}

FileResult checkReadableFile(const QString &fileName)
{
    const QFileInfo info(fileName);
    if (!info.exists())
        return FileResult::failure(QStringLiteral("The file does not exist."));
    if (info.isDir())
        return FileResult::failure(QStringLiteral("The name is a folder, not a file."));
    if (isDeviceOrPipe(info))
        return FileResult::failure(kNotAFile);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return FileResult::failure(file.errorString() + '.');
    return {};
}

QString fileExtension(const QString &fileName)
{
    const int slash = qMax(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > slash ? fileName.mid(dot) : QString();
}
