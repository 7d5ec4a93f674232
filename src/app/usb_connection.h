#pragma once

#include "link/usb/usb_adapter.h"
#include "link/usb/usb_report_unpacker.h"

#include <QtGlobal>

#include <functional>
#include <memory>

class DialogService;
class FrameSink;
class HidPlatform;
class QAbstractButton;
class THidDevice;
class THidDeviceController;

// What the USB road needs of the window.
struct UsbWindowSide {
    QAbstractButton &button;                        // USBCon
    std::function<void(bool show)> showComControls; // the serial road's controls beside it
    std::function<void(const QString &message)> reportError;
};

// The USB connection button and the USB limit check of the main window, on top of the adapter handling and
// the report unpacking. Reaches the window through its side and hands the meter's frames to the sink; runs
// on the main thread.
class UsbConnection {
public:
    // The link is given up after this many reports without meter data in a row.
    static constexpr int UsbLimit = 1900;

    // Creates the controller HidCtl on the platform (null: the system's) and attaches the adapter handling,
    // which lists the devices and selects the adapter at once.
    UsbConnection(UsbWindowSide window, FrameSink &frames, DialogService &dialogs,
                  std::shared_ptr<HidPlatform> platform, ModelSwitches switches);
    // Detaches the data handler and destroys the claimed devices and the controller, while the window's
    // widgets and decoder still exist.
    ~UsbConnection();
    UsbConnection(const UsbConnection &) = delete;
    UsbConnection &operator=(const UsbConnection &) = delete;

    // Runs after a click has toggled USBCon.
    void USBConClick();
    // A step of ConTimerTimer at every third tick.
    void UsbLimitCheck();

    // Data handlers of the adapter's device, one per meter type.
    void UsbDataMorvane(THidDevice *HidDev, quint8 ReportID, const quint8 *Data, quint16 Size);
    void UsbDataSemvo(THidDevice *HidDev, quint8 ReportID, const quint8 *Data, quint16 Size);
    void UsbDataVostra(THidDevice *HidDev, quint8 ReportID, const quint8 *Data, quint16 Size);

    THidDeviceController &HidCtl() { return *m_hidCtl; }
    UsbAdapter &adapter() { return m_adapter; }
    const UsbAdapter &adapter() const { return m_adapter; }
    UsbReportUnpacker &unpacker() { return m_unpacker; }
    const UsbReportUnpacker &unpacker() const { return m_unpacker; }
    THidDevice *SelectedDevice() const { return m_adapter.SelectedDevice(); }

private:
    void releaseUsbButton();
    // False when the device went away meanwhile; SelectedDevice is then cleared.
    bool setDataHandler(THidDevice *device,
                        void (UsbConnection::*handler)(THidDevice *, quint8, const quint8 *, quint16));

    UsbWindowSide m_w;
    FrameSink &m_frames;
    QString m_frameHex; // the unpacker's last frame, handed on once its shape passed
    DialogService &m_dialogs;
    ModelSwitches m_switches;
    std::unique_ptr<THidDeviceController> m_hidCtl;
    UsbAdapter m_adapter;
    UsbReportUnpacker m_unpacker;
};
