#pragma once

#include "link/hid/hid_platform_fake.h"
#include "link/replay/link_recording.h"
#include "link/usb/usb_cable_encoder.h"
#include "record/window_timer.h"

#include <QByteArray>
#include <QList>

#include <memory>
#include <optional>

// The meter's USB cable inside the process: a HID device "USB to Serial" on a fake HID platform that sends
// an input report every 10 ms while a reader reads it, packing the serial bytes it is fed the way the real
// adapter does. Or, given recorded reports, plays those once from the moment a reader first reads it.
class SimulatedUsbCable {
public:
    static constexpr int ReportIntervalMs = 10;
    // Reports that wait for a reader at most, like the system's buffer of a HID device.
    static constexpr int ReportQueueLimit = 64;

    static FakeHidDevice device();

    SimulatedUsbCable(std::shared_ptr<FakeHidPlatform> platform,
                      std::unique_ptr<WindowTimer> timer = std::make_unique<QtWindowTimer>());

    // Plugs the cable in, without telling anybody: the caller notifies the change.
    void plug();
    void pull();
    bool isPlugged() const { return m_plugged; }
    // Pulls the cable when it is in, plugs it in otherwise, and notifies the change.
    void togglePlug();

    // Bytes the meter sent; they go out in the next reports.
    void feed(const QByteArray &bytes);
    // Plays these reports (report ID first) once instead of packing fed bytes.
    void setReplay(const ReportList &reports);
    bool replayStarted() const { return m_replayStarted; }
    bool replayDone() const { return m_replay && m_replayAt >= m_replay->size(); }

    // One report time: sends the next report when a reader reads the cable.
    void tick();

private:
    std::shared_ptr<FakeHidPlatform> m_platform;
    std::unique_ptr<WindowTimer> m_timer;
    UsbCableEncoder m_encoder;
    bool m_plugged = false;
    std::optional<ReportList> m_replay;
    qsizetype m_replayAt = 0;
    bool m_replayStarted = false;
};
