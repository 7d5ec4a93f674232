#pragma once

#include "meter_simulator.h"
#include "serial_port_driver.h"
#include "serial_port_io.h"

#include <QByteArray>
#include <QString>

// A serial port inside the process. Bytes fed to it while it is open wait to
// be read, as in the system's input queue; bytes fed while it is closed, or
// beyond the queue size, are lost, as on a real line.
class SimulatedSerialPort : public SerialPortIo {
public:
    explicit SimulatedSerialPort(QString deviceName);

    void feed(const QByteArray &bytes);
    QString deviceName() const { return m_deviceName; }
    qsizetype pending() const { return m_input.size(); } // bytes waiting to be read
    SerialLineSettings settings() const { return m_settings; }

    bool open(const QString &device) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void configure(const SerialLineSettings &settings) override { m_settings = settings; }
    void purge(bool input, bool output) override;
    void setQueueSizes(quint16 input, quint16 output) override;
    qint64 read(char *data, qint64 maxSize) override;

private:
    QString m_deviceName;
    bool m_open = false;
    SerialLineSettings m_settings;
    QByteArray m_input;
    qsizetype m_inputLimit = 4096; // bytes
};

// A port with the meter simulator on its far end. The meter talks from the
// moment the port object exists, whether or not the port is open.
class SimulatedMeterPort : public SimulatedSerialPort {
public:
    static QString simulatorDeviceName();

    explicit SimulatedMeterPort(std::unique_ptr<WindowTimer> timer = std::make_unique<QtWindowTimer>());

    MeterSimulator &simulator() { return m_simulator; }

private:
    MeterSimulator m_simulator;
};

// Binds one COM port of the driver to the meter simulator; the other COM
// ports then stand for no device.
void bindMeterSimulator(TSerialPortDriver &driver,
                        TSerialPortDriver::TComPortNumber port = TSerialPortDriver::pnCOM1,
                        std::unique_ptr<WindowTimer> timer = std::make_unique<QtWindowTimer>());
