#pragma once

#include <QString>

#include <functional>

class QIODevice;

// The outcome of a load or save: on failure a short reason for the user.
struct FileResult {
    bool ok = true;
    QString reason;

    static FileResult failure(const QString &reason) { return {false, reason}; }
    explicit operator bool() const { return ok; }
};

// Writes a file so that a failure never harms the file already there: the
// bytes go to a temporary file in the same folder, which replaces the target
// only when everything was written. write returns false when it could not
// write all; the reason then comes from the device.
FileResult saveFileSafely(const QString &fileName, const std::function<bool(QIODevice &)> &write);

// Opens a file for reading, with a reason a user understands when it cannot.
FileResult checkReadableFile(const QString &fileName);

// The extension as the file dialogs' users expect it: the part of the file
// name (not the folder) from its last dot on, dot included; empty without a dot.
QString fileExtension(const QString &fileName);
