#include "link/usb/usb_adapter.h"

#include "link/hid/hid_controller.h"
#include "link/hid/hid_device.h"

#include <utility>

namespace {

QString hex4(quint16 value)
{
    return QString::number(value, 16).rightJustified(4, QLatin1Char('0')).toUpper();
}

} // namespace

UsbAdapter::UsbAdapter(ModelSwitches switches) : m_switches(switches) {}

UsbAdapter::~UsbAdapter()
{
    detach();
}

void UsbAdapter::attach(THidDeviceController &HidCtl)
{
    m_hidCtl = &HidCtl;
    HidCtl.SetOnArrival(THidPlugEvent(this, &UsbAdapter::HidCtlArrival));
    HidCtl.SetOnEnumerate(THidEnumerateEvent(this, &UsbAdapter::HidCtlEnumerate));
    HidCtl.SetOnDeviceChange(TNotifyEvent(this, &UsbAdapter::HidCtlDeviceChange));
    HidCtl.SetOnDeviceDataError(THidDataErrorEvent(this, &UsbAdapter::HidCtlDeviceDataError));
    HidCtl.SetOnRemoval(THidPlugEvent(this, &UsbAdapter::HidCtlRemoval));
}

void UsbAdapter::detach()
{
    if (!m_hidCtl)
        return;
    ReadBtnClick();
    m_selectedDevice = nullptr;
    destroyDevices();
    m_hidCtl = nullptr;
}

void UsbAdapter::HidCtlArrival(THidDevice *HidDev)
{
    m_history.add(QStringLiteral("Arrival of ") + DescribeDevice(HidDev));
}

bool UsbAdapter::HidCtlEnumerate(THidDevice *HidDev, int Idx)
{
    DevEntry entry;
    entry.text = DescribeDevice(HidDev);
    THidDevice *claimed = nullptr;
    if (m_hidCtl && m_hidCtl->ClaimByIndex(claimed, Idx))
        entry.device = claimed;
    m_devList.append(entry);
    return true;
}

void UsbAdapter::HidCtlDeviceChange(QObject * /*Sender*/)
{
    if (m_changing) {
        // Came through an event loop run inside this handler (a message box): handled when it returns.
        m_changeAgain = true;
        return;
    }
    m_changing = true;
    do {
        m_changeAgain = false;
        m_readBtnDown = false;
        ReadBtnClick();
        destroyDevices();
        rebuildDeviceList();
    } while (m_changeAgain);
    m_changing = false;
}

void UsbAdapter::destroyDevices()
{
    // The list is emptied first: destroying a device may serve its reader's last hand-over, and the
    // window must never find a destroyed device in the list or in SelectedDevice meanwhile.
    const QList<DevEntry> entries = std::exchange(m_devList, {});
    m_devIndex = -1;
    m_selectedDevice = nullptr;
    for (const DevEntry &entry : entries)
        delete entry.device;
}

void UsbAdapter::rebuildDeviceList()
{
    if (!m_hidCtl)
        return;
    m_hidCtl->ReportDevices();
    for (int i = 0; i < m_devList.size(); ++i)
        if (m_devList[i].text == QLatin1String(AdapterText))
            m_devIndex = i;
}

void UsbAdapter::HidCtlDeviceDataError(THidDevice * /*HidDev*/, quint32 Error)
{
    const QString text = m_hidCtl ? m_hidCtl->Platform()->errorText(Error) : QString();
    m_history.add(readErrorLine(Error, text));
}

void UsbAdapter::HidCtlRemoval(THidDevice *HidDev)
{
    m_history.add(QStringLiteral("Removal of ") + DescribeDevice(HidDev));
}

THidDevice *UsbAdapter::selectedEntryDevice() const
{
    if (m_devIndex < 0 || m_devIndex >= m_devList.size())
        return nullptr;
    return m_devList[m_devIndex].device;
}

void UsbAdapter::ReadBtnClick()
{
    m_selectedDevice = selectedEntryDevice();
    if (!m_selectedDevice)
        return;
    if (!m_selectedDevice->ReadWriteAccess()) {
        m_readBtnDown = false;
        return;
    }
    if (!m_selectedDevice->SetDataHandler(THidDataEvent()))
        m_selectedDevice = nullptr; // destroyed by what ran while its reader was stopped
}

bool UsbAdapter::SetFeatureClick()
{
    m_selectedDevice = selectedEntryDevice();
    if (!m_selectedDevice) {
        if (m_notConnected)
            m_notConnected();
        return false;
    }
    const QByteArray report = configurationReport(m_switches);
    m_selectedDevice->SendFeature(reinterpret_cast<const quint8 *>(report.constData()), report.size());
    QString line;
    for (int i = 1; i < report.size(); ++i)
        line += QStringLiteral("%1 ").arg(quint8(report[i]), 2, 16, QLatin1Char('0')).toUpper();
    m_history.add(line);
    return true;
}

QString UsbAdapter::DescribeDevice(THidDevice *HidDev)
{
    QString text = HidDev->ProductText();
    if (text.isEmpty())
        text =
            QStringLiteral("Device VID=%1 PID=%2").arg(hex4(HidDev->VendorID()), hex4(HidDev->ProductID()));
    const QString serial = HidDev->SerialText();
    if (!serial.isEmpty())
        text += QStringLiteral(" (Serial=%1)").arg(serial);
    return text;
}

QByteArray UsbAdapter::configurationReport(const ModelSwitches &switches)
{
    quint32 speed = 2400; // bits per second; each switch tested overrides the one before
    if (switches.IFOstrel)
        speed = 19200;
    if (switches.IFSemvo)
        speed = 2400;
    if (switches.IFVostra)
        speed = 2400;
    if (switches.IFMorvane)
        speed = 2400;
    QByteArray report(10, '\0');
    for (int i = 0; i < 4; ++i)
        report[1 + i] = char((speed >> (8 * i)) & 0xFF);
    report[5] = 0x03;
    return report;
}

QString UsbAdapter::readErrorLine(quint32 Error, const QString &systemText)
{
    QString text = systemText.left(256);
    while (!text.isEmpty() &&
           (text.back().isSpace() || text.back().category() == QChar::Other_Control || text.back() == '.'))
        text.chop(1);
    return QStringLiteral("READ ERROR: %1 (%2)").arg(text, QString::number(Error, 16).toUpper());
}
