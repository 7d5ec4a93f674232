#include "link/hid/hid_controller.h"

#include "link/hid/hid_device.h"

#include <QDebug>
#include <QScopeGuard>

#include <exception>

namespace {

int controllerCount = 0;

// The identifier of the HID device interface class.
const QUuid HidInterfaceClass(0x4D1E55B2, 0xF16F, 0x11CF, 0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30);

} // namespace

void THidErrorReport::operator()(const QString &message) const
{
    if (report)
        report(message);
    else
        qWarning().noquote() << message;
}

THidDeviceController::THidDeviceController(QObject *owner, std::shared_ptr<HidPlatform> platform)
    : QObject(owner), m_platform(platform ? std::move(platform) : createSystemHidPlatform()),
      m_hidClassId(HidInterfaceClass), m_errorReport(std::make_shared<THidErrorReport>())
{
    m_available = m_platform->isAvailable();
    if (++controllerCount > 1) {
        --controllerCount; // no destructor runs for an object whose construction failed
        throw EControllerError(QStringLiteral("Only one THidDeviceController allowed per program"));
    }
    try {
        m_deviceList = ScanDevices();
    } catch (...) {
        --controllerCount;
        throw;
    }
    m_freeCount = m_deviceList.size();
    if (m_available)
        m_platform->watchDeviceChanges([this] { DeviceChangeHook(); });
}

THidDeviceController::~THidDeviceController()
{
    --controllerCount;
    m_onDeviceChange = TNotifyEvent();
    m_onDeviceUnplug = THidPlugEvent();
    m_onEnumerate = THidEnumerateEvent();
    if (m_available)
        m_platform->watchDeviceChanges({});
    const QList<THidDevice *> devices = std::exchange(m_deviceList, {});
    for (THidDevice *device : devices) {
        device->m_owner = nullptr;
        if (device->Claimed()) {
            // Every reader ends before the handles close; the application still owns the device.
            if (device->StopReader())
                device->Unplug();
        } else {
            delete device;
        }
    }
}

int THidDeviceController::ControllerCount()
{
    return controllerCount;
}

QList<THidDevice *> THidDeviceController::ScanDevices()
{
    QList<THidDevice *> list;
    if (!m_available)
        return list;
    try {
        for (const HidInterface &found : m_platform->enumerate()) {
            try {
                list.append(new THidDevice(THidPnPInfo{found.identity, found.path}, this));
            } catch (const EControllerError &) {
                // A device that cannot be opened or identified is not listed.
            }
        }
    } catch (...) {
        // Anything else ends the scan; the devices made so far are not leaked.
        for (THidDevice *device : std::as_const(list)) {
            device->m_owner = nullptr;
            delete device;
        }
        throw;
    }
    return list;
}

void THidDeviceController::DeviceChangeHook()
{
    try {
        DeviceChange();
    } catch (const EControllerError &e) {
        (*m_errorReport)(e.message());
    } catch (const std::exception &e) {
        (*m_errorReport)(QString::fromLocal8Bit(e.what()));
    }
}

void THidDeviceController::DeviceChange()
{
    if (m_scanning) {
        // A change notified while a handler of this scan runs an event loop (a message box): scanned
        // again when this scan is done, so that it never meets a list changed under it.
        m_rescan = true;
        return;
    }
    m_scanning = true;
    const auto done = qScopeGuard([this] { m_scanning = false; });
    std::exception_ptr handlerError;
    do {
        m_rescan = false;
        Scan(handlerError);
    } while (m_rescan);
    if (handlerError)
        std::rethrow_exception(handlerError);
}

void THidDeviceController::Scan(std::exception_ptr &handlerError)
{
    // A handler that throws does not stop the scan half way: the list stays whole, nothing leaks, and the
    // first error goes on to the caller at the end.
    const auto raise = [&handlerError](THidDevice *device, const THidPlugEvent &handler) {
        device->SetEnumerating(true);
        try {
            if (handler)
                handler(device);
        } catch (...) {
            if (!handlerError)
                handlerError = std::current_exception();
        }
    };
    QList<THidDevice *> fresh = ScanDevices();
    bool changed = false;

    const auto plugged = [](const QList<THidDevice *> &list, const QString &instance) {
        for (THidDevice *device : list)
            if (device && device->Plugged() && device->PlugInfo().InstanceHandle == instance)
                return true;
        return false;
    };
    const auto present = [&fresh](const QString &instance) {
        for (THidDevice *device : fresh)
            if (device->PlugInfo().InstanceHandle == instance)
                return true;
        return false;
    };

    for (int i = m_deviceList.size() - 1; i >= 0; --i) {
        if (i >= m_deviceList.size())
            continue; // a handler released devices
        THidDevice *device = m_deviceList[i];
        if (device->Plugged() && present(device->PlugInfo().InstanceHandle))
            continue;
        device->Unplug();
        raise(device, m_onRemoval);
        // A claimed device the handler released is gone already.
        if (i < m_deviceList.size() && m_deviceList[i] == device) {
            device->SetEnumerating(false);
            if (!device->Claimed()) {
                m_deviceList.removeAt(i);
                delete device;
            }
        }
        changed = true;
    }

    for (THidDevice *&device : fresh) {
        if (plugged(m_deviceList, device->PlugInfo().InstanceHandle)) {
            device->m_owner = nullptr;
            delete device;
            device = nullptr;
        }
    }

    for (THidDevice *device : fresh) {
        if (!device)
            continue;
        m_deviceList.append(device);
        changed = true;
        raise(device, m_onArrival);
        // The handler may have claimed and released it already.
        if (m_deviceList.contains(device))
            device->SetEnumerating(false);
    }

    Recount();
    if (changed || !m_changeReported) {
        if (m_onDeviceChange)
            m_onDeviceChange(this);
    }
}

void THidDeviceController::Recount()
{
    m_freeCount = 0;
    m_unpluggedCount = 0;
    int claimed = 0;
    for (THidDevice *device : std::as_const(m_deviceList)) {
        if (!device->Claimed())
            ++m_freeCount;
        else
            ++claimed;
        if (!device->Plugged())
            ++m_unpluggedCount;
    }
    m_claimedCount = claimed - m_unpluggedCount;
}

int THidDeviceController::ReportDevices()
{
    int count = 0;
    for (int idx = 0; idx < m_deviceList.size(); ++idx) {
        THidDevice *device = m_deviceList[idx];
        if (!device->Plugged())
            continue;
        ++count;
        if (!EnumerateDevice(device, idx))
            break;
    }
    return count;
}

bool THidDeviceController::EnumerateDevice(THidDevice *device, int idx)
{
    if (!m_onEnumerate)
        return false;
    device->SetEnumerating(true);
    const auto done = qScopeGuard([device] {
        device->SetEnumerating(false);
        if (!device->Claimed())
            device->CloseMain();
    });
    return m_onEnumerate(device, idx);
}

bool THidDeviceController::ClaimByIndex(THidDevice *&HidDev, int Idx)
{
    HidDev = nullptr;
    if (Idx < 0 || Idx >= m_deviceList.size() || m_deviceList[Idx]->Claimed())
        return false;
    HidDev = m_deviceList[Idx];
    HidDev->m_claimed = true;
    ++m_claimedCount;
    --m_freeCount;
    HidDev->StartReader();
    return true;
}

void THidDeviceController::Released(THidDevice *device, const THidDataEvent &dataHandler,
                                    const THidPlugEvent &unplugHandler)
{
    const int idx = m_deviceList.indexOf(device);
    if (idx < 0)
        return;
    if (!device->Plugged()) {
        m_deviceList.removeAt(idx);
        --m_unpluggedCount;
        return;
    }
    if (device->Claimed()) {
        --m_claimedCount;
        ++m_freeCount;
    }
    try {
        auto *fresh = new THidDevice(device->PlugInfo(), this);
        fresh->SetDataHandler(dataHandler);
        fresh->m_unplugHandler = unplugHandler;
        fresh->SetWaitSlice(device->WaitSlice());
        m_deviceList[idx] = fresh;
    } catch (const EControllerError &e) {
        // The device went away between the scan and the release; its next scan reports the removal.
        m_deviceList.removeAt(idx);
        Recount();
        (*m_errorReport)(e.message());
    }
}

void THidDeviceController::SetOnDeviceChange(const TNotifyEvent &handler)
{
    if (handler.sameFunction(m_onDeviceChange))
        return;
    m_onDeviceChange = handler;
    DeviceChange();
    m_changeReported = true;
}

void THidDeviceController::SetOnDeviceData(const THidDataEvent &handler)
{
    if (handler.sameFunction(m_onDeviceData))
        return;
    for (THidDevice *device : std::as_const(m_deviceList))
        if (device->DataHandler().sameFunction(m_onDeviceData))
            device->SetDataHandler(handler);
    m_onDeviceData = handler;
}

void THidDeviceController::SetOnDeviceDataError(const THidDataErrorEvent &handler)
{
    PassOn(m_onDeviceDataError, handler, &THidDevice::m_dataErrorHandler);
}

void THidDeviceController::SetOnDeviceUnplug(const THidPlugEvent &handler)
{
    PassOn(m_onDeviceUnplug, handler, &THidDevice::m_unplugHandler);
}

template <typename Event>
void THidDeviceController::PassOn(Event &current, const Event &handler, Event THidDevice::*slot)
{
    if (handler.sameFunction(current))
        return;
    for (THidDevice *device : std::as_const(m_deviceList))
        if ((device->*slot).sameFunction(current))
            device->*slot = handler;
    current = handler;
}

void THidDeviceController::SetDevThreadSleepTime(int value)
{
    if (value == m_devThreadSleepTime)
        return;
    for (THidDevice *device : std::as_const(m_deviceList))
        if (device->WaitSlice() == m_devThreadSleepTime)
            device->SetWaitSlice(value);
    m_devThreadSleepTime = value;
}

void THidDeviceController::SetErrorReport(std::function<void(const QString &)> report)
{
    m_errorReport->report = std::move(report);
}
