#pragma once

#include "link/hid/hid_controller.h"
#include "link/hid/hid_device.h"
#include "link/hid/hid_platform_fake.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStringList>
#include <QTimer>

#include <memory>

// A scripted device named after its identity, reading 9-byte reports, with read and write access.
inline FakeHidDevice fakeDevice(const QString &name, const QString &product = QString())
{
    FakeHidDevice device;
    device.identity = name;
    device.path = QStringLiteral("/dev/") + name;
    device.attributes = {0x1A2B, 0x3C4D, 0x0100};
    device.product = product;
    return device;
}

// Runs the event loop until done() holds or timeout milliseconds pass. Unlike QTRY_VERIFY it wakes with
// each hand-over of a reader instead of polling in steps, which the repeated threading tests need.
template <typename Done> bool waitUntil(Done done, int timeout = 5000)
{
    const QDeadlineTimer deadline(timeout);
    QTimer tick; // lets the loop look at the deadline while no event comes
    tick.start(50);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Stands in for the main window: its handlers log what they see, one line per event.
class EventLog {
public:
    void arrival(THidDevice *dev) { log(QStringLiteral("arrival"), dev); }
    void removal(THidDevice *dev) { log(QStringLiteral("removal"), dev); }
    void unplug(THidDevice *dev) { log(QStringLiteral("unplug"), dev); }
    void deviceChange(QObject *) { lines << QStringLiteral("change"); }
    bool enumerate(THidDevice *dev, int idx)
    {
        log(QStringLiteral("enumerate %1").arg(idx), dev);
        return enumerateResult;
    }
    void data(THidDevice *, quint8 reportId, const quint8 *data, quint16 size)
    {
        reports << QByteArray(1, char(reportId)) + QByteArray(reinterpret_cast<const char *>(data), size);
    }
    void otherData(THidDevice *, quint8, const quint8 *, quint16) { ++otherReports; }
    void dataError(THidDevice *, quint32 error) { errors << error; }

    QStringList lines;
    QList<QByteArray> reports; // report ID byte, then the data
    QList<quint32> errors;
    int otherReports = 0;
    bool enumerateResult = true;
    bool enumeratingSeen = true; // every device was Enumerating inside its event

private:
    void log(const QString &what, THidDevice *dev)
    {
        lines << what + QLatin1Char(' ') + dev->PlugInfo().InstanceHandle;
        enumeratingSeen = enumeratingSeen && dev->Enumerating();
    }
};

// A controller on a fake platform, with short reader time slices so that stopping a reader is quick.
struct FakeRig {
    explicit FakeRig(const QStringList &names = {})
    {
        for (const QString &name : names)
            platform->plug(fakeDevice(name));
        controller = std::make_unique<THidDeviceController>(nullptr, platform);
        controller->SetDevThreadSleepTime(10);
        controller->SetErrorReport([this](const QString &message) { reportedErrors << message; });
    }

    // Routes arrivals, removals and device changes to log, leaving out the change that the assignment raises.
    void watchPlugEvents(EventLog &log)
    {
        controller->SetOnArrival(THidPlugEvent(&log, &EventLog::arrival));
        controller->SetOnRemoval(THidPlugEvent(&log, &EventLog::removal));
        controller->SetOnDeviceChange(TNotifyEvent(&log, &EventLog::deviceChange));
        log.lines.clear();
    }

    // Claims the device at idx; the test owns it from here on.
    THidDevice *claim(int idx)
    {
        THidDevice *dev = nullptr;
        controller->ClaimByIndex(dev, idx);
        return dev;
    }

    std::shared_ptr<FakeHidPlatform> platform = std::make_shared<FakeHidPlatform>();
    std::unique_ptr<THidDeviceController> controller;
    QStringList reportedErrors;
};
