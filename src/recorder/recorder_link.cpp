#include "recorder_link.h"

#include "link/hid/hid_controller.h"
#include "link/hid/hid_device.h"
#include "link/hid/hid_platform_fake.h"
#include "link/replay/link_recording.h"
#include "link/replay/replay_serial_port.h"
#include "link/serial/qt_serial_port_io.h"
#include "link/serial/serial_port_driver.h"
#include "link/usb/simulated_usb_cable.h"
#include "link/usb/usb_adapter.h"
#include "recorder.h"
#include "recorder_options.h"

#include <QFileInfo>

#include <cerrno>
#include <exception>

#include <unistd.h>

namespace {

constexpr int kEndCheckMs = 100;
const QString kReplayDevice = QStringLiteral("serial replay");

} // namespace

RecorderLink::RecorderLink(Recorder &recorder, RecorderLinkParts parts)
    : m_recorder(recorder), m_parts(std::move(parts))
{
}

RecorderLink::~RecorderLink()
{
    m_endCheck.reset();
    // The cable's reader stops and the claimed devices go while the recorder they hand to still exists.
    if (m_adapter)
        m_adapter->detach();
    m_hidCtl.reset();
    m_driver.reset();
}

std::unique_ptr<WindowTimer> RecorderLink::tickTimer(const QString &name)
{
    return m_parts.makeTickTimer ? m_parts.makeTickTimer(name) : std::make_unique<QtWindowTimer>();
}

QString RecorderLink::serialOpenFailure(const QString &device, const QString &systemText)
{
    const QByteArray path = QFile::encodeName(device);
    if (!QFileInfo::exists(device))
        return QStringLiteral("cannot open %1: it does not exist (is the meter's adapter plugged in, and is "
                              "the name right?)")
            .arg(device);
    if (::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES)
        return QStringLiteral("cannot open %1: permission denied (add your user to the dialout group, "
                              "e.g. sudo adduser $USER dialout, and log in again; or give the device a "
                              "udev rule)")
            .arg(device);
    const QString detail = systemText.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(systemText);
    return QStringLiteral("cannot open %1: it is busy or refused%2; is another program using it?")
        .arg(device, detail);
}

bool RecorderLink::open(const RecorderOptions &options, QString &error)
{
    switch (options.link) {
    case RecorderOptions::Link::Port:
        return openSerial(options.port,
                          m_parts.makeSerialIo ? m_parts.makeSerialIo() : std::make_unique<QtSerialPortIo>(),
                          error);
    case RecorderOptions::Link::Usb:
        return openUsb(m_parts.hidPlatform ? m_parts.hidPlatform : createSystemHidPlatform(), error);
    case RecorderOptions::Link::Replay:
        break;
    }
    LinkRecording recording;
    if (!LinkRecording::load(options.replay, recording, error)) {
        error = QStringLiteral("cannot replay %1").arg(error); // the message names the file
        return false;
    }
    m_endCheck = tickTimer(QStringLiteral("end"));
    m_endCheck->setOnTimeout([this] { checkReplayEnd(); });
    if (recording.kind == LinkRecording::Kind::Reports) {
        m_replayHid = std::make_shared<FakeHidPlatform>();
        m_cable = std::make_unique<SimulatedUsbCable>(m_replayHid, tickTimer(QStringLiteral("replay")));
        m_cable->setReplay(recording.reports);
        m_replayReports = recording.reports.size();
        if (!openUsb(m_replayHid, error))
            return false;
    } else {
        auto port =
            std::make_unique<ReplaySerialPort>(recording.serialBytes, tickTimer(QStringLiteral("replay")));
        m_serialReplay = port.get();
        if (!openSerial(kReplayDevice, std::move(port), error))
            return false;
    }
    m_endCheck->start(kEndCheckMs);
    return true;
}

bool RecorderLink::openSerial(const QString &device, std::unique_ptr<SerialPortIo> io, QString &error)
{
    m_deviceName = device;
    SerialPortIo *system = io.get();
    // As the window sets up its port: 2400 baud, 8 data bits, no parity, one stop bit, polled every 100 ms.
    m_driver = std::make_unique<TSerialPortDriver>(std::move(io), tickTimer(QStringLiteral("poll")));
    m_driver->setPortNameLookup([device](TSerialPortDriver::TComPortNumber port) {
        return port == TSerialPortDriver::pnCOM1 ? device : QString();
    });
    m_driver->setComPort(TSerialPortDriver::pnCOM1);
    m_driver->setComPortSpeed(TSerialPortDriver::br2400);
    m_driver->setComPortPollingDelay(100);
    m_driver->setOnReceiveData(
        [this](TSerialPortDriver *, const char *data, int size) { m_recorder.serialBytes(data, size); });
    m_driver->setOnReadFailure([this] {
        m_driver->ClosePort();
        m_recorder.finish(Recorder::DeviceFailed,
                          QStringLiteral("%1 went away (unplugged or hung up); every row before it is kept")
                              .arg(m_deviceName));
    });
    if (m_driver->OpenPort())
        return true;
    error = serialOpenFailure(device, system->errorText());
    return false;
}

bool RecorderLink::openUsb(std::shared_ptr<HidPlatform> platform, QString &error)
{
    const QString cable = QStringLiteral("the USB cable \"%1\"").arg(QLatin1String(UsbAdapter::AdapterText));
    m_deviceName = cable;
    try {
        m_hidCtl = std::make_unique<THidDeviceController>(nullptr, std::move(platform));
    } catch (const std::exception &e) {
        error = QStringLiteral("cannot reach the HID devices: %1").arg(QString::fromLocal8Bit(e.what()));
        return false;
    }
    m_hidCtl->SetErrorReport([this](const QString &message) { m_recorder.message(message); });
    m_adapter = std::make_unique<UsbAdapter>();
    m_adapter->attach(*m_hidCtl);
    // The adapter rebuilds its list on a device change; then the recorder looks whether the cable is still
    // there.
    const TNotifyEvent adapterChange = m_hidCtl->OnDeviceChange();
    m_hidCtl->SetOnDeviceChange(TNotifyEvent::fromCallable([this, adapterChange](QObject *sender) {
        if (adapterChange)
            adapterChange(sender);
        usbDeviceChange();
    }));

    // As the window's USB Connection: the entry named "USB to Serial", its configuration report, its reports.
    THidDevice *device = m_adapter->selectedEntryDevice();
    if (!device) {
        error = QStringLiteral("cannot open %1: it is not plugged in (no HID device has that product string)")
                    .arg(cable);
        return false;
    }
    if (!device->ReadWriteAccess()) {
        error = QStringLiteral("cannot open %1: permission denied (install the udev rule "
                               "70-halvern-meter-cable.rules, e.g. with tools/install-udev-rule, then plug "
                               "the cable in again), or another program holds it")
                    .arg(cable);
        return false;
    }
    bool notConnected = false;
    m_adapter->setNotConnectedAction([&notConnected] { notConnected = true; });
    m_adapter->ReadBtnClick();
    const bool configured = m_adapter->SetFeatureClick();
    m_adapter->setNotConnectedAction({});
    if (!configured || notConnected) {
        error = QStringLiteral("cannot open %1: USB interface cable is not securely connected").arg(cable);
        return false;
    }
    m_adapter->setSelectedDevice(device);
    if (!device->SetDataHandler(THidDataEvent(this, &RecorderLink::report))) {
        error = QStringLiteral("cannot open %1: it went away while it was opened").arg(cable);
        return false;
    }
    m_device = device;
    return true;
}

void RecorderLink::usbDeviceChange()
{
    // The adapter destroyed the devices it had claimed: the cable's reading has ended.
    if (!m_device || m_adapter->SelectedDevice() == m_device)
        return;
    m_device = nullptr;
    m_recorder.finish(
        Recorder::DeviceFailed,
        QStringLiteral("%1 went away (unplugged); every row before it is kept").arg(m_deviceName));
}

void RecorderLink::report(THidDevice *, quint8 reportId, const quint8 *data, quint16 size)
{
    ++m_reports;
    m_recorder.usbReport(reportId, data, size);
}

void RecorderLink::checkReplayEnd()
{
    bool played = false;
    if (m_serialReplay) {
        // Every byte was read: the driver handed it over within the read.
        played = m_serialReplay->done() && m_serialReplay->pending() == 0;
    } else if (m_cable) {
        // Every replayed report came through the reader; idle reports follow them. One the reader dropped
        // is waited for a second at most.
        if (m_cable->replayDone())
            ++m_checksSincePlayed;
        played = m_reports >= m_replayReports || m_checksSincePlayed > 1000 / kEndCheckMs;
    }
    if (!played)
        return;
    m_endCheck->stop();
    m_recorder.finish(Recorder::Done, QStringLiteral("the replay has played"));
}
