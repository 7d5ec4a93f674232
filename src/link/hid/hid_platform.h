#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The narrow layer between the HID classes and the operating system. Everything here is called on the main
// thread except open() with HidAccess::Read, read() and lastError(), which the reader threads call on
// handles of their own.

struct HidInterface {
    QString identity; // the same for the same device across scans, different after it was plugged again
    QString path;     // opens the device
};

struct HidAttributes {
    quint16 VendorID = 0;
    quint16 ProductID = 0;
    quint16 VersionNumber = 0;
};

struct HidCapabilities {
    int InputReportByteLength = 0; // counting the report ID byte; 0 for a device without input reports
};

enum class HidAccess {
    ReadWrite, // queries, feature reports
    Read,      // input reports
    None,      // queries only
};

enum class HidReadResult {
    Completed, // a report (or nothing, with 0 bytes) arrived
    Pending,   // the time slice ran out first
    Failed,    // the handle is of no further use
};

// An open device; closing it is destroying it.
class HidHandle {
public:
    virtual ~HidHandle() = default;
};

class HidPlatform {
public:
    virtual ~HidPlatform() = default;

    // False when the system offers no HID access: no devices, no change notifications.
    virtual bool isAvailable() const = 0;
    // The present HID interfaces, in the platform's order.
    virtual std::vector<HidInterface> enumerate() = 0;
    // Null on failure, with lastError() set.
    virtual std::unique_ptr<HidHandle> open(const QString &path, HidAccess access) = 0;

    virtual bool attributes(HidHandle &handle, HidAttributes &out) = 0;
    virtual bool capabilities(HidHandle &handle, HidCapabilities &out) = 0;
    virtual bool productString(HidHandle &handle, QString &out) = 0;
    virtual bool serialNumberString(HidHandle &handle, QString &out) = 0;
    // The string descriptor 0 (the device's language IDs as characters). nullopt when the platform has no
    // means to read it; an empty text when reading it failed.
    virtual std::optional<QString> languageList(HidHandle &handle) = 0;
    // The first byte is the report ID (0 for a device without numbered reports).
    virtual bool sendFeature(HidHandle &handle, const quint8 *report, int length) = 0;
    // Waits at most timeout milliseconds for one input report, which arrives with its report ID byte first
    // (0 for a device without numbered reports).
    virtual HidReadResult read(HidHandle &handle, quint8 *buffer, int length, int timeout,
                               int &bytesRead) = 0;
    // The error code of the last failed call of the calling thread.
    virtual quint32 lastError() const = 0;
    // The system's text for an error code of lastError(); empty when the system has none. The default reads
    // the codes as errno values.
    virtual QString errorText(quint32 code) const;
    // The code lastError() gives for a device that is gone; by default the errno value ENODEV.
    virtual quint32 deviceGoneError() const;
    // The identity of the device that the path opens now, as enumerate() gives it; empty when the platform
    // cannot tell. Called by the reader threads.
    virtual QString identityOfPath(const QString &path);

    // onChange runs on the main thread whenever the set of devices may have changed; an empty function
    // stops the watching.
    virtual void watchDeviceChanges(std::function<void()> onChange) = 0;
};

// hidapi and udev on Linux.
std::shared_ptr<HidPlatform> createSystemHidPlatform();
