#pragma once

#include "link/serial/serial_port_io.h"
#include "record/window_timer.h"

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class FakeHidPlatform;
class HidPlatform;
class Recorder;
class ReplaySerialPort;
class SimulatedUsbCable;
class THidDevice;
class THidDeviceController;
class TSerialPortDriver;
class UsbAdapter;
struct RecorderOptions;

// Makes the links' tick timers ("poll", "replay", "end"); tests hand out timers they fire themselves.
using LinkTickFactory = std::function<std::unique_ptr<WindowTimer>(const QString &name)>;

// What the links take from the system, so tests can stand in for it.
struct RecorderLinkParts {
    LinkTickFactory makeTickTimer = {};                               // default: timers of the event loop
    std::function<std::unique_ptr<SerialPortIo>()> makeSerialIo = {}; // default: the system's ports
    std::shared_ptr<HidPlatform> hidPlatform = {};                    // default: the system's HID layer
};

// The meter's link of a recorder run: a serial device (polled as the window
// polls its COM port, 2400 baud), the USB cable (found by its product
// string, as the window finds it) or a replay of a captured session (serial
// bytes at the wire's pace, or reports through a simulated cable). Hands
// what comes to the recorder and ends the run when the link goes away or
// the replay has played.
class RecorderLink {
public:
    explicit RecorderLink(Recorder &recorder, RecorderLinkParts parts = {});
    ~RecorderLink();
    RecorderLink(const RecorderLink &) = delete;
    RecorderLink &operator=(const RecorderLink &) = delete;

    // Opens the link the options name and starts reading; false with a
    // message naming the device and the likely cause.
    bool open(const RecorderOptions &options, QString &error);

    // Why a serial device did not open, from what the file system tells.
    static QString serialOpenFailure(const QString &device, const QString &systemText);

    TSerialPortDriver *serialDriver() const { return m_driver.get(); }
    SimulatedUsbCable *replayCable() const { return m_cable.get(); }

private:
    std::unique_ptr<WindowTimer> tickTimer(const QString &name);
    bool openSerial(const QString &device, std::unique_ptr<SerialPortIo> io, QString &error);
    bool openUsb(std::shared_ptr<HidPlatform> platform, QString &error);
    void usbDeviceChange();
    void report(THidDevice *device, quint8 reportId, const quint8 *data, quint16 size);
    void checkReplayEnd();

    Recorder &m_recorder;
    RecorderLinkParts m_parts;
    QString m_deviceName;
    std::unique_ptr<TSerialPortDriver> m_driver;
    ReplaySerialPort *m_serialReplay = nullptr; // owned by the driver
    std::shared_ptr<FakeHidPlatform> m_replayHid;
    std::unique_ptr<SimulatedUsbCable> m_cable;
    std::unique_ptr<THidDeviceController> m_hidCtl;
    std::unique_ptr<UsbAdapter> m_adapter;
    THidDevice *m_device = nullptr; // the cable being read; owned by the adapter
    std::unique_ptr<WindowTimer> m_endCheck;
    long long m_reports = 0;       // reports handed over by the cable's reader
    long long m_replayReports = 0; // reports of the replay
    int m_checksSincePlayed = 0;
};
