#pragma once

#include "serial_port_io.h"

#include <QSerialPort>

// The system's serial ports through Qt Serial Port.
class QtSerialPortIo final : public SerialPortIo {
public:
    bool open(const QString &device) override;
    void close() override { m_port.close(); }
    bool isOpen() const override { return m_port.isOpen(); }

    void configure(const SerialLineSettings &settings) override;
    void purge(bool input, bool output) override;
    void setQueueSizes(quint16 input, quint16 output) override;

    qint64 read(char *data, qint64 maxSize) override;
    QString errorText() const override { return m_port.errorString(); }

private:
    QSerialPort m_port;
};
