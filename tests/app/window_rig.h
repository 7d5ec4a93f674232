#pragma once

#include "fake_dialogs.h"

#include "app/main_window.h"
#include "link/hid/hid_platform_fake.h"
#include "link/serial/serial_port_driver.h"
#include "meter/locale_service.h"
#include "record/window_timer.h"
#include "ui/record_grid.h"

#include <QHash>

#include <memory>

// The main window with scripted dialogs, a fixed locale and timers the test fires.
struct Window {
    FakeDialogs dialogs;
    std::shared_ptr<FakeHidPlatform> hid =
        std::make_shared<FakeHidPlatform>(); // no HID device unless plugged
    FixedLocaleService locale;
    int terminations = 0;
    QHash<QString, ManualWindowTimer *> timers;
    std::unique_ptr<TFCOMM> w;

    explicit Window(bool native64 = true, ModelSwitches switches = {},
                    const QList<FakeHidDevice> &devices = {})
    {
        for (const FakeHidDevice &device : devices)
            hid->plug(device);
        locale.setSystemLocale(QLocale(QLocale::German));
        auto makeTimer = [this](const QString &name, int intervalMs, bool enabled) {
            auto timer = std::make_unique<ManualWindowTimer>(intervalMs, enabled);
            timers.insert(name, timer.get());
            return timer;
        };
        w = std::make_unique<TFCOMM>(
            WindowServices{dialogs, locale, native64, [this] { ++terminations; }, switches, makeTimer, hid});
        // No serial device exists for these tests.
        w->serialPort().setPortNameLookup([](TSerialPortDriver::TComPortNumber) { return QString(); });
    }
};
