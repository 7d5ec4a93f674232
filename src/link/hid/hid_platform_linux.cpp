#include "link/hid/hid_platform_linux.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <hidapi.h>
#include <libudev.h>

#include <cerrno>
#include <set>

namespace {

thread_local quint32 t_lastError = 0;

// hidapi keeps its last global error in one unguarded place, which hid_enumerate and hid_open_path write,
// and the device queries and hid_close may touch; readers open and close their handles on their own
// threads while the main thread queries. Every call but the blocking read therefore holds this mutex.
std::mutex g_hidapiGlobal;

constexpr size_t StringBufferChars = 256;

void setLastError(int fallback)
{
    t_lastError = static_cast<quint32>(errno != 0 ? errno : fallback);
}

QString fromWide(const wchar_t *text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

class LinuxHidHandle : public HidHandle {
public:
    ~LinuxHidHandle() override
    {
        if (device) {
            std::lock_guard<std::mutex> lock(g_hidapiGlobal);
            hid_close(device);
        }
    }

    hid_device *device = nullptr; // none for a handle without access
    HidReportLayout layout;
    HidAttributes attributes; // these three answer the queries of a handle without access
    QString product;
    QString serial;
};

LinuxHidHandle &linuxHandle(HidHandle &handle)
{
    return static_cast<LinuxHidHandle &>(handle);
}

using WideStringGetter = int (*)(hid_device *, wchar_t *, size_t);

bool readString(hid_device *device, WideStringGetter getter, QString &out)
{
    wchar_t buffer[StringBufferChars] = {};
    std::lock_guard<std::mutex> lock(g_hidapiGlobal);
    if (getter(device, buffer, StringBufferChars) != 0)
        return false;
    buffer[StringBufferChars - 1] = 0;
    out = fromWide(buffer);
    return true;
}

// From the device when it is open, else what the enumeration said.
bool deviceString(const LinuxHidHandle &handle, QString LinuxHidHandle::*known, WideStringGetter getter,
                  QString &out)
{
    if (handle.device)
        return readString(handle.device, getter, out);
    out = handle.*known;
    return !out.isEmpty();
}

} // namespace

std::optional<HidrawNode> readHidrawNode(const QString &sysfsRoot, const QString &devicePath)
{
    const QString name = QFileInfo(devicePath).fileName();
    if (!name.startsWith(QLatin1String("hidraw")))
        return std::nullopt;
    const QString node = sysfsRoot + QStringLiteral("/class/hidraw/") + name;
    const QFileInfo nodeInfo(node);
    if (!nodeInfo.exists())
        return std::nullopt;
    HidrawNode result;
    result.identity = nodeInfo.canonicalFilePath();
    QFile descriptor(node + QStringLiteral("/device/report_descriptor"));
    if (descriptor.open(QIODevice::ReadOnly))
        result.layout = parseReportDescriptor(descriptor.readAll());
    return result;
}

LinuxHidPlatform::LinuxHidPlatform(QString sysfsRoot) : m_sysfsRoot(std::move(sysfsRoot))
{
    {
        std::lock_guard<std::mutex> lock(g_hidapiGlobal);
        m_available = hid_init() == 0;
    }
    m_udev = udev_new();
    m_available = m_available && m_udev;
}

LinuxHidPlatform::~LinuxHidPlatform()
{
    stopWatching();
    if (m_udev)
        udev_unref(m_udev);
}

std::vector<HidInterface> LinuxHidPlatform::enumerate()
{
    if (!m_available)
        return {};
    std::lock_guard<std::mutex> lock(g_hidapiGlobal);
    hid_device_info *list = hid_enumerate(0, 0);
    std::vector<HidInterface> result = takeEnumeration(list);
    hid_free_enumeration(list);
    return result;
}

std::vector<HidInterface> LinuxHidPlatform::takeEnumeration(const hid_device_info *list)
{
    std::vector<HidInterface> result;
    std::set<QString> seen;
    m_known.clear();
    for (const hid_device_info *info = list; info; info = info->next) {
        const QString path = QString::fromLocal8Bit(info->path);
        // One entry comes for each top-level collection of a device; the program lists devices.
        if (!seen.insert(path).second)
            continue;
        const std::optional<HidrawNode> node = readHidrawNode(m_sysfsRoot, path);
        if (!node)
            continue;
        Known &known = m_known[path];
        known.attributes = {info->vendor_id, info->product_id, info->release_number};
        known.product = fromWide(info->product_string);
        known.serial = fromWide(info->serial_number);
        result.push_back({node->identity, path});
    }
    return result;
}

std::unique_ptr<HidHandle> LinuxHidPlatform::open(const QString &path, HidAccess access)
{
    const std::optional<HidrawNode> node = readHidrawNode(m_sysfsRoot, path);
    if (!node) {
        t_lastError = ENODEV;
        return nullptr;
    }
    auto handle = std::make_unique<LinuxHidHandle>();
    handle->layout = node->layout;
    if (access == HidAccess::None) {
        const auto known = m_known.find(path);
        if (known == m_known.end()) {
            t_lastError = ENODEV;
            return nullptr;
        }
        handle->attributes = known->second.attributes;
        handle->product = known->second.product;
        handle->serial = known->second.serial;
        return handle;
    }
    std::lock_guard<std::mutex> lock(g_hidapiGlobal);
    errno = 0;
    handle->device = hid_open_path(path.toLocal8Bit().constData());
    if (!handle->device) {
        setLastError(EIO);
        return nullptr;
    }
    return handle;
}

bool LinuxHidPlatform::attributes(HidHandle &handle, HidAttributes &out)
{
    LinuxHidHandle &h = linuxHandle(handle);
    if (!h.device) {
        out = h.attributes;
        return true;
    }
    std::lock_guard<std::mutex> lock(g_hidapiGlobal);
    errno = 0;
    const hid_device_info *info = hid_get_device_info(h.device);
    if (!info) {
        setLastError(EIO);
        return false;
    }
    out = {info->vendor_id, info->product_id, info->release_number};
    return true;
}

bool LinuxHidPlatform::capabilities(HidHandle &handle, HidCapabilities &out)
{
    out.InputReportByteLength = linuxHandle(handle).layout.inputReportLength;
    return true;
}

bool LinuxHidPlatform::productString(HidHandle &handle, QString &out)
{
    return deviceString(linuxHandle(handle), &LinuxHidHandle::product, hid_get_product_string, out);
}

bool LinuxHidPlatform::serialNumberString(HidHandle &handle, QString &out)
{
    return deviceString(linuxHandle(handle), &LinuxHidHandle::serial, hid_get_serial_number_string, out);
}

std::optional<QString> LinuxHidPlatform::languageList(HidHandle &handle)
{
    // The hidraw backend cannot fetch string descriptors by index, so this gives nullopt there. Nothing is
    // lost: the kernel reads the serial number in the device's first language, so no language list can
    // stand in for it.
    LinuxHidHandle &h = linuxHandle(handle);
    QString list;
    if (h.device &&
        readString(
            h.device, [](hid_device *d, wchar_t *s, size_t n) { return hid_get_indexed_string(d, 0, s, n); },
            list))
        return list;
    return std::nullopt;
}

bool LinuxHidPlatform::sendFeature(HidHandle &handle, const quint8 *report, int length)
{
    LinuxHidHandle &h = linuxHandle(handle);
    if (!h.device || length <= 0) {
        t_lastError = EBADF;
        return false;
    }
    std::lock_guard<std::mutex> lock(g_hidapiGlobal);
    errno = 0;
    if (hid_send_feature_report(h.device, report, static_cast<size_t>(length)) < 0) {
        setLastError(EIO);
        return false;
    }
    return true;
}

HidReadResult LinuxHidPlatform::read(HidHandle &handle, quint8 *buffer, int length, int timeout,
                                     int &bytesRead)
{
    LinuxHidHandle &h = linuxHandle(handle);
    bytesRead = 0;
    if (!h.device || length <= 0) {
        t_lastError = EBADF;
        return HidReadResult::Failed;
    }
    // hidraw leaves out the report ID byte of unnumbered reports; the program always gets one.
    const int skip = h.layout.numbered ? 0 : 1;
    if (skip)
        buffer[0] = 0;
    errno = 0;
    const int count = hid_read_timeout(h.device, buffer + skip, static_cast<size_t>(length - skip), timeout);
    if (count < 0) {
        setLastError(EIO);
        return HidReadResult::Failed;
    }
    if (count == 0)
        return HidReadResult::Pending;
    bytesRead = count + skip;
    return HidReadResult::Completed;
}

QString LinuxHidPlatform::identityOfPath(const QString &path)
{
    const std::optional<HidrawNode> node = readHidrawNode(m_sysfsRoot, path);
    return node ? node->identity : QString();
}

quint32 LinuxHidPlatform::lastError() const
{
    return t_lastError;
}

void LinuxHidPlatform::watchDeviceChanges(std::function<void()> onChange)
{
    m_onChange = std::move(onChange);
    if (!m_onChange) {
        stopWatching();
        return;
    }
    if (m_monitor || !m_udev)
        return;
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (!m_monitor)
        return; // no udev daemon to listen to: no notifications
    if (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(m_monitor) < 0) {
        stopWatching();
        return;
    }
    m_notifier = new QSocketNotifier(udev_monitor_get_fd(m_monitor), QSocketNotifier::Read);
    QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier, [this] {
        bool any = false;
        while (udev_device *device = udev_monitor_receive_device(m_monitor)) {
            udev_device_unref(device);
            any = true;
        }
        // One scan covers every notification that has come in so far.
        const std::function<void()> onChange = m_onChange;
        if (any && onChange)
            onChange();
    });
}

void LinuxHidPlatform::stopWatching()
{
    if (m_notifier) {
        // Later: this may run inside the notifier's own signal.
        m_notifier->setEnabled(false);
        m_notifier->deleteLater();
    }
    m_notifier = nullptr;
    if (m_monitor)
        udev_monitor_unref(m_monitor);
    m_monitor = nullptr;
}

std::shared_ptr<HidPlatform> createSystemHidPlatform()
{
    return std::make_shared<LinuxHidPlatform>();
}
