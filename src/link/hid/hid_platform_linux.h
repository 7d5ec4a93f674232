#pragma once

#include "link/hid/hid_platform.h"
#include "link/hid/hid_report_descriptor.h"

#include <QByteArray>

#include <map>
#include <mutex>
#include <optional>

struct hid_device_info;
struct udev;
struct udev_monitor;
class QSocketNotifier;

// What sysfs tells about one hidraw node.
struct HidrawNode {
    QString identity;       // the node's canonical sysfs path
    HidReportLayout layout; // from the device's report descriptor
};

// Looks up the node of a device path such as "/dev/hidraw3" under sysfsRoot ("/sys" on a live system).
std::optional<HidrawNode> readHidrawNode(const QString &sysfsRoot, const QString &devicePath);

// hidapi (hidraw backend) for the devices, sysfs for identities and report descriptors, a udev monitor on
// the hidraw subsystem for the change notifications.
class LinuxHidPlatform : public HidPlatform {
public:
    explicit LinuxHidPlatform(QString sysfsRoot = QStringLiteral("/sys"));
    ~LinuxHidPlatform() override;

    bool isAvailable() const override { return m_available; }
    std::vector<HidInterface> enumerate() override;
    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access) override;
    bool attributes(HidHandle &handle, HidAttributes &out) override;
    bool capabilities(HidHandle &handle, HidCapabilities &out) override;
    bool productString(HidHandle &handle, QString &out) override;
    bool serialNumberString(HidHandle &handle, QString &out) override;
    std::optional<QString> languageList(HidHandle &handle) override;
    bool sendFeature(HidHandle &handle, const quint8 *report, int length) override;
    HidReadResult read(HidHandle &handle, quint8 *buffer, int length, int timeout, int &bytesRead) override;
    quint32 lastError() const override;
    QString identityOfPath(const QString &path) override;
    void watchDeviceChanges(std::function<void()> onChange) override;

    // The interfaces of an enumeration list, remembering what the queries on handles without access
    // answer. Apart from enumerate() so that it can be fed a list that did not come from the system.
    std::vector<HidInterface> takeEnumeration(const hid_device_info *list);

private:
    struct Known {
        HidAttributes attributes;
        QString product;
        QString serial;
    };

    void stopWatching();

    const QString m_sysfsRoot;
    bool m_available = false;
    std::map<QString, Known> m_known; // by path, from the last enumeration
    udev *m_udev = nullptr;
    udev_monitor *m_monitor = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    std::function<void()> m_onChange;
};
