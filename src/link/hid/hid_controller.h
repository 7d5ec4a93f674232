#pragma once

#include "link/hid/hid_platform.h"
#include "link/hid/hid_types.h"

#include <QList>
#include <QObject>
#include <QUuid>

#include <exception>
#include <memory>

// The plug-and-play description of one device.
struct THidPnPInfo {
    QString InstanceHandle; // names the same device in every scan
    QString InterfacePath;  // opens the device
};

// Lists the HID devices present, reports arrivals and removals, and hands devices out to the application.
// One per program. Runs on the main thread.
class THidDeviceController : public QObject {
public:
    // platform: null for the system's HID layer. Raises EControllerError when a controller already exists.
    explicit THidDeviceController(QObject *owner = nullptr, std::shared_ptr<HidPlatform> platform = {});
    ~THidDeviceController() override;

    static int ControllerCount();

    // Rescans and raises OnRemoval, OnArrival and OnDeviceChange for what changed.
    void DeviceChange();
    // Raises OnEnumerate for each plugged-in device; returns the number of devices reached.
    int ReportDevices();
    // Claims the device at position Idx and starts its reader; HidDev is none when it returns false.
    bool ClaimByIndex(THidDevice *&HidDev, int Idx);

    const THidPlugEvent &OnArrival() const { return m_onArrival; }
    void SetOnArrival(const THidPlugEvent &handler) { m_onArrival = handler; }
    const TNotifyEvent &OnDeviceChange() const { return m_onDeviceChange; }
    void SetOnDeviceChange(const TNotifyEvent &handler);
    const THidEnumerateEvent &OnEnumerate() const { return m_onEnumerate; }
    void SetOnEnumerate(const THidEnumerateEvent &handler) { m_onEnumerate = handler; }
    const THidDataEvent &OnDeviceData() const { return m_onDeviceData; }
    void SetOnDeviceData(const THidDataEvent &handler);
    const THidDataErrorEvent &OnDeviceDataError() const { return m_onDeviceDataError; }
    void SetOnDeviceDataError(const THidDataErrorEvent &handler);
    const THidPlugEvent &OnDeviceUnplug() const { return m_onDeviceUnplug; }
    void SetOnDeviceUnplug(const THidPlugEvent &handler);
    const THidPlugEvent &OnRemoval() const { return m_onRemoval; }
    void SetOnRemoval(const THidPlugEvent &handler) { m_onRemoval = handler; }

    int DevThreadSleepTime() const { return m_devThreadSleepTime; }
    void SetDevThreadSleepTime(int value);
    QString Version() const { return QStringLiteral("1.0.22"); }
    QUuid HidClassId() const { return m_hidClassId; }
    bool ChangeReported() const { return m_changeReported; }

    const QList<THidDevice *> &DeviceList() const { return m_deviceList; }
    int FreeCount() const { return m_freeCount; }
    int ClaimedCount() const { return m_claimedCount; }
    int UnpluggedCount() const { return m_unpluggedCount; }

    // Errors raised inside handlers that the event loop called (device-change notifications, reader
    // hand-overs) go here; without a function they are written to the debug output.
    void SetErrorReport(std::function<void(const QString &)> report);
    const THidErrorReportPtr &ErrorReport() const { return m_errorReport; }
    const std::shared_ptr<HidPlatform> &Platform() const { return m_platform; }

private:
    friend class THidDevice;

    QList<THidDevice *> ScanDevices();
    void Scan(std::exception_ptr &handlerError);
    void DeviceChangeHook();
    bool EnumerateDevice(THidDevice *device, int idx);
    // Release of a device that the application destroyed (see THidDevice).
    void Released(THidDevice *device, const THidDataEvent &dataHandler, const THidPlugEvent &unplugHandler);
    void Recount();
    // Replaces a default, and the handler of each device that still has the old default.
    template <typename Event> void PassOn(Event &current, const Event &handler, Event THidDevice::*slot);

    std::shared_ptr<HidPlatform> m_platform;
    bool m_available = false;
    QUuid m_hidClassId;
    THidPlugEvent m_onArrival;
    TNotifyEvent m_onDeviceChange;
    THidEnumerateEvent m_onEnumerate;
    THidDataEvent m_onDeviceData;
    THidDataErrorEvent m_onDeviceDataError;
    THidPlugEvent m_onDeviceUnplug;
    THidPlugEvent m_onRemoval;
    bool m_changeReported = false;
    int m_devThreadSleepTime = 100; // milliseconds
    QList<THidDevice *> m_deviceList;
    int m_freeCount = 0;
    int m_claimedCount = 0;
    int m_unpluggedCount = 0;
    THidErrorReportPtr m_errorReport;
    bool m_scanning = false; // inside DeviceChange
    bool m_rescan = false;   // a change came while scanning
};
