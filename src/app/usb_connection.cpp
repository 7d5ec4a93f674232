#include "usb_connection.h"

#include "link/frame_sink.h"
#include "link/hid/hid_controller.h"
#include "link/hid/hid_device.h"
#include "ui/dialog_service.h"

#include <QAbstractButton>
#include <QSignalBlocker>

namespace {

const QString kInformation = QStringLiteral("Information");

} // namespace

UsbConnection::UsbConnection(UsbWindowSide window, FrameSink &frames, DialogService &dialogs,
                             std::shared_ptr<HidPlatform> platform, ModelSwitches switches)
    : m_w(std::move(window)), m_frames(frames), m_dialogs(dialogs), m_switches(switches),
      m_hidCtl(std::make_unique<THidDeviceController>(nullptr, std::move(platform))), m_adapter(switches)
{
    m_hidCtl->SetErrorReport([this](const QString &message) { m_w.reportError(message); });
    m_adapter.setNotConnectedAction([this] {
        m_dialogs.showInformation(
            kInformation, QStringLiteral("USB interface cable is not securely connected, please check "
                                         "and re-try."));
        releaseUsbButton();
    });
    m_unpacker.setHistorySink([this](const QString &line) { m_adapter.HistoryListBox().add(line); });
    m_unpacker.setFrameHexSink([this](const QString &frameHex) { m_frameHex = frameHex; });
    m_unpacker.setDecoder([this] { m_frames.frame(m_frameHex); });
    m_unpacker.setErrorSink([this](const QString &message) { m_w.reportError(message); });
    m_adapter.attach(*m_hidCtl);
}

UsbConnection::~UsbConnection()
{
    m_adapter.detach();
    m_hidCtl.reset();
}

void UsbConnection::releaseUsbButton()
{
    const QSignalBlocker quiet(m_w.button); // without running its click handler
    m_w.button.setChecked(false);
}

bool UsbConnection::setDataHandler(THidDevice *device,
                                   void (UsbConnection::*handler)(THidDevice *, quint8, const quint8 *,
                                                                  quint16))
{
    const THidDataEvent event = handler ? THidDataEvent(this, handler) : THidDataEvent();
    if (device->SetDataHandler(event))
        return true;
    if (m_adapter.SelectedDevice() == device)
        m_adapter.setSelectedDevice(nullptr);
    return false;
}

void UsbConnection::USBConClick()
{
    m_adapter.ReadBtnClick();
    m_adapter.SetFeatureClick();
    m_unpacker.setUsbSilenceCount(0);
    m_adapter.setSelectedDevice(nullptr);
    // What ran above may have shown a box, whose event loop may have rebuilt the device list.
    THidDevice *device = m_adapter.selectedEntryDevice();
    if (!device)
        return;
    m_adapter.setSelectedDevice(device);
    if (!device->ReadWriteAccess()) {
        releaseUsbButton();
        return;
    }
    if (m_w.button.isChecked()) {
        m_w.showComControls(false);
        m_w.button.setText(QStringLiteral("USB Disconnect"));
        // Each handler replaces the one before; the last switch that is on wins.
        if (m_switches.IFVostra && !setDataHandler(device, &UsbConnection::UsbDataVostra))
            return;
        if (m_switches.IFSemvo && !setDataHandler(device, &UsbConnection::UsbDataSemvo))
            return;
        if (m_switches.IFMorvane)
            setDataHandler(device, &UsbConnection::UsbDataMorvane);
    } else {
        m_w.showComControls(true);
        setDataHandler(device, nullptr);
        m_w.button.setText(QStringLiteral("USB Connection"));
    }
}

void UsbConnection::UsbLimitCheck()
{
    if (m_unpacker.UsbSilenceCount() < UsbLimit)
        return;
    m_unpacker.setUsbSilenceCount(0);
    releaseUsbButton();
    if (THidDevice *device = m_adapter.SelectedDevice())
        setDataHandler(device, nullptr);
    m_dialogs.showInformation(
        kInformation,
        QStringLiteral("USB interface cable is securely connected, please check if the meter is ready."));
}

void UsbConnection::UsbDataMorvane(THidDevice *, quint8 ReportID, const quint8 *Data, quint16 Size)
{
    m_unpacker.handleReport(UsbReportUnpacker::Variant::Morvane, ReportID, Data, Size);
}

void UsbConnection::UsbDataSemvo(THidDevice *, quint8 ReportID, const quint8 *Data, quint16 Size)
{
    m_unpacker.handleReport(UsbReportUnpacker::Variant::Semvo, ReportID, Data, Size);
}

void UsbConnection::UsbDataVostra(THidDevice *, quint8 ReportID, const quint8 *Data, quint16 Size)
{
    m_unpacker.handleReport(UsbReportUnpacker::Variant::Vostra, ReportID, Data, Size);
}
