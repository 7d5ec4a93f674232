#pragma once

#include "link/serial/serial_port_io.h"
#include "record/window_timer.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <cstring>
#include <memory>

// What happened to a FakeSerialPortIo; shared so that the test can still
// look after the driver has destroyed the port.
struct FakePortState {
    QSet<QString> devices{QStringLiteral("/dev/ttyS0")}; // the ones that can be opened
    QString openDevice;                                  // empty while closed
    int opens = 0;
    int closes = 0;
    QList<SerialLineSettings> configured;
    QList<QPair<bool, bool>> purges; // (input, output)
    quint16 inQueue = 0;
    quint16 outQueue = 0;
    QByteArray input; // waiting in the system's input queue
    bool readFails = false;
    QList<qint64> readSizes; // maxSize of every read
};

class FakeSerialPortIo final : public SerialPortIo {
public:
    explicit FakeSerialPortIo(std::shared_ptr<FakePortState> state) : m_state(std::move(state)) {}

    bool open(const QString &device) override
    {
        if (isOpen() || !m_state->devices.contains(device))
            return false;
        m_state->openDevice = device;
        ++m_state->opens;
        return true;
    }
    void close() override
    {
        m_state->openDevice.clear();
        ++m_state->closes;
    }
    bool isOpen() const override { return !m_state->openDevice.isEmpty(); }
    void configure(const SerialLineSettings &settings) override { m_state->configured << settings; }
    void purge(bool input, bool output) override
    {
        m_state->purges << qMakePair(input, output);
        if (input)
            m_state->input.clear();
    }
    void setQueueSizes(quint16 input, quint16 output) override
    {
        m_state->inQueue = input;
        m_state->outQueue = output;
    }
    qint64 read(char *data, qint64 maxSize) override
    {
        m_state->readSizes << maxSize;
        if (m_state->readFails)
            return -1;
        const qint64 n = qMin<qint64>(maxSize, m_state->input.size());
        std::memcpy(data, m_state->input.constData(), size_t(n));
        m_state->input.remove(0, n);
        return n;
    }

private:
    std::shared_ptr<FakePortState> m_state;
};
