#pragma once

#include "link/usb/usb_history.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QObject;
class THidDevice;
class THidDeviceController;

// Check boxes of the window definition that pick model-specific behaviour, the adapter's line speed
// among it. They are not shown; this build is the one with IFMorvane on.
struct ModelSwitches {
    bool IFMorvane = true;
    bool IFVostra = false;
    bool IFSemvo = false;
    bool IFOstrel = false;
};

// The main window's side of the meter cable: claims every HID device from the controller, lists them,
// selects the adapter by its product text "USB to Serial", sends it its configuration report, stops its
// reading and keeps the history of the link. Runs on the main thread.
class UsbAdapter {
public:
    struct DevEntry {
        QString text;
        THidDevice *device = nullptr; // owned; none when the claim failed
    };

    static constexpr const char *AdapterText = "USB to Serial";

    explicit UsbAdapter(ModelSwitches switches = {});
    // Stops the reading and hands every claimed device back to the controller, if it still exists.
    ~UsbAdapter();
    UsbAdapter(const UsbAdapter &) = delete;
    UsbAdapter &operator=(const UsbAdapter &) = delete;

    // Attaches the handlers to the controller in the order OnArrival, OnEnumerate, OnDeviceChange,
    // OnDeviceDataError, OnRemoval; the third runs the first device change at once.
    void attach(THidDeviceController &HidCtl);
    // Stops the reading and destroys the claimed devices; the controller keeps no handler of ours.
    void detach();

    // Handlers of the controller.
    void HidCtlArrival(THidDevice *HidDev);
    bool HidCtlEnumerate(THidDevice *HidDev, int Idx);
    void HidCtlDeviceChange(QObject *Sender);
    void HidCtlDeviceDataError(THidDevice *HidDev, quint32 Error);
    void HidCtlRemoval(THidDevice *HidDev);

    // Stops the reading on the selected device.
    void ReadBtnClick();
    // Sends the configuration report to the selected device; without one, runs the not-connected action
    // and returns false.
    bool SetFeatureClick();

    // The product string, or the vendor and product IDs, with the serial number appended when there is one.
    static QString DescribeDevice(THidDevice *HidDev);
    // Report ID 0, the line speed as 32-bit little-endian, 3, then zeros: ten bytes.
    static QByteArray configurationReport(const ModelSwitches &switches);
    // "READ ERROR: %s (%x)" with the system's text for the code (trimmed of trailing blanks, control
    // characters and full stops; empty when the system has none).
    static QString readErrorLine(quint32 Error, const QString &systemText);

    // Shows "USB interface cable is not securely connected, please check and re-try." and releases the USB
    // connection button.
    void setNotConnectedAction(std::function<void()> action) { m_notConnected = std::move(action); }

    const QList<DevEntry> &DevListBox() const { return m_devList; }
    int DevListIndex() const { return m_devIndex; } // -1: no entry selected
    // The selected entry's device, or none (no entry selected, or its claim failed).
    THidDevice *selectedEntryDevice() const;
    UsbHistory &HistoryListBox() { return m_history; }
    const UsbHistory &HistoryListBox() const { return m_history; }
    THidDevice *SelectedDevice() const { return m_selectedDevice; }
    void setSelectedDevice(THidDevice *device) { m_selectedDevice = device; }
    bool ReadBtnDown() const { return m_readBtnDown; }
    THidDeviceController *controller() const { return m_hidCtl; }

private:
    void rebuildDeviceList();
    void destroyDevices();

    ModelSwitches m_switches;
    THidDeviceController *m_hidCtl = nullptr;
    QList<DevEntry> m_devList;
    int m_devIndex = -1;
    UsbHistory m_history;
    THidDevice *m_selectedDevice = nullptr; // not owned: the device of an entry of m_devList
    bool m_readBtnDown = false;             // never pressed: ReadBtnClick always stops the reading
    bool m_changing = false;                // inside HidCtlDeviceChange
    bool m_changeAgain = false;             // a device change came while one was handled
    std::function<void()> m_notConnected;
};
