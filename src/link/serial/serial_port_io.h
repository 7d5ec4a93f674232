#pragma once

#include <QString>
#include <QtGlobal>

enum class SerialParity { None, Odd, Even, Mark, Space };
enum class SerialStopBits { One, OneAndHalf, Two };

// The line as the driver wants it. RTS is held off unless RTS/CTS
// handshaking drives it.
struct SerialLineSettings {
    qint32 baudRate = 2400;
    int dataBits = 8; // 5 to 8
    SerialParity parity = SerialParity::None;
    SerialStopBits stopBits = SerialStopBits::One;
    bool rtsCtsHandshake = false;
    bool xonXoffHandshake = false;
    bool dtrOn = true;

    bool operator==(const SerialLineSettings &o) const
    {
        return baudRate == o.baudRate && dataBits == o.dataBits && parity == o.parity &&
               stopBits == o.stopBits && rtsCtsHandshake == o.rtsCtsHandshake &&
               xonXoffHandshake == o.xonXoffHandshake && dtrOn == o.dtrOn;
    }
};

// What the serial driver needs of the operating system: one port, opened
// exclusively, read without waiting. Results of configure, purge and
// setQueueSizes are not reported: some devices (a pseudo-terminal) refuse
// parts of them and must still be usable.
class SerialPortIo {
public:
    virtual ~SerialPortIo() = default;

    // False when the device is absent, in use or refused.
    virtual bool open(const QString &device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual void configure(const SerialLineSettings &settings) = 0;
    // Discards what waits in the input and/or the output queue.
    virtual void purge(bool input, bool output) = 0;
    virtual void setQueueSizes(quint16 input, quint16 output) = 0; // bytes

    // Returns at once with what has arrived, at most maxSize bytes; -1 when
    // the read failed.
    virtual qint64 read(char *data, qint64 maxSize) = 0;
    // The system's words for the last failure of open or read; empty when it has none.
    virtual QString errorText() const { return QString(); }
};
