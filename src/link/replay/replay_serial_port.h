#pragma once

#include "link/serial/serial_port_driver.h"
#include "link/serial/simulated_serial_port.h"
#include "record/window_timer.h"

#include <QByteArray>

#include <memory>

// A serial port inside the process that plays recorded bytes at the wire's pace (2400 baud, ten bits a
// byte), once, from the moment the program first opens it. Bytes due while the port is closed are lost, as
// on a real line.
class ReplaySerialPort : public SimulatedSerialPort {
public:
    static constexpr int TickMs = 50;
    static constexpr int BytesPerSecond = 240;

    ReplaySerialPort(QByteArray bytes,
                     std::unique_ptr<WindowTimer> timer = std::make_unique<QtWindowTimer>());

    bool open(const QString &device) override;

    bool started() const { return m_started; }
    bool done() const { return m_at >= m_bytes.size(); }
    // One tick of the wire: the bytes due by now.
    void tick();

private:
    QByteArray m_bytes;
    std::unique_ptr<WindowTimer> m_timer;
    qsizetype m_at = 0;
    long long m_ticks = 0;
    bool m_started = false;
};

// Binds one COM port of the driver to a replay of the bytes; the other COM ports then stand for no device.
void bindSerialReplay(TSerialPortDriver &driver, const QByteArray &bytes,
                      TSerialPortDriver::TComPortNumber port = TSerialPortDriver::pnCOM1,
                      std::unique_ptr<WindowTimer> timer = std::make_unique<QtWindowTimer>());
