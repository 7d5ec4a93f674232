// Plug, connect, read, unplug while reading and the device change that
// follows, again and again, on the fake HID platform with the window. Ends
// with the controller count back where it started and nothing left open.
//
//   halvern-hid-soak [cycles]        default 1000
#include "app/command_line.h"
#include "app/dialog_service.h"
#include "app/main_window.h"
#include "app/usb_connection.h"
#include "link/hid/hid_controller.h"
#include "link/hid/hid_device.h"
#include "link/hid/hid_platform_fake.h"
#include "link/hid/hid_test_support.h"
#include "link/usb/usb_cable_encoder.h"
#include "link/usb/usb_report_unpacker.h"
#include "meter/locale_service.h"
#include "record/window_timer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>

namespace {

struct CountingDialogs : DialogService {
    int messages = 0;
    bool askYesNo(const QString &, const QString &) override { return true; }
    void showError(const QString &, const QString &) override { ++messages; }
    void showInformation(const QString &, const QString &) override { ++messages; }
};

const char kLine[] = "+0123 1\x10\x00\x00\x80\x00\r\n"; // +0.123 V DC

} // namespace

int main(int argc, char *argv[])
{
    const CommandLineDescription description{
        QStringLiteral("halvern-hid-soak"),
        QStringLiteral("[CYCLES]"),
        QStringLiteral(
            "Plugs the USB cable on the fake HID platform, connects, reads a line, unplugs it while "
            "reading and lets the device change follow, CYCLES times (default 1000)."),
        {}};
    if (const std::optional<int> answered = answerHelpOrVersion(argc, argv, description))
        return *answered;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int controllersAtStart = THidDeviceController::ControllerCount();
    int failures = 0, rows = 0;
    QElapsedTimer clock;
    clock.start();
    {
        CountingDialogs dialogs;
        FixedLocaleService locale;
        auto hid = std::make_shared<FakeHidPlatform>();
        WindowServices services{dialogs, locale, true, [] {}};
        services.makeTimer = [](const QString &, int intervalMs, bool enabled) {
            return std::make_unique<ManualWindowTimer>(intervalMs, enabled);
        };
        services.hidPlatform = hid;
        TFCOMM window(services);
        const QList<QByteArray> reports = UsbCableEncoder::reportsOfLines(QByteArray(kLine, 14));
        for (int c = 0; c < cycles; ++c) {
            const QString name = QStringLiteral("cable");
            hid->plug(fakeDevice(name, QStringLiteral("USB to Serial")));
            hid->notifyChange();
            if (window.USBCon->isChecked())
                window.USBCon->click(); // up again after the last unplug
            window.USBCon->click();
            THidDevice *device = window.usb().SelectedDevice();
            if (!device || !device->ReaderRunning()) {
                std::fprintf(stderr, "cycle %d: not reading after connect\n", c);
                ++failures;
                continue;
            }
            const long long target = window.usb().unpacker().reportsHandled() + reports.size();
            for (const QByteArray &report : reports)
                hid->queueReport(name, report);
            if (!waitUntil([&] { return window.usb().unpacker().reportsHandled() >= target; }, 20000)) {
                std::fprintf(stderr, "cycle %d: reports not handled\n", c);
                ++failures;
            }
            hid->unplug(name); // while reading
            hid->notifyChange();
            if (!waitUntil([&] { return !window.usb().SelectedDevice(); }, 20000)) {
                std::fprintf(stderr, "cycle %d: device kept after removal\n", c);
                ++failures;
            }
        }
        rows = window.cds1.rowCount();
        std::printf("open handles at the end   %d\n", hid->openHandles());
    }
    std::printf("cycles                    %d in %.1f s\n", cycles, clock.elapsed() / 1000.0);
    std::printf("rows recorded             %d\n", rows);
    std::printf("failed cycles             %d\n", failures);
    std::printf("controllers               %d at start, %d at the end\n", controllersAtStart,
                THidDeviceController::ControllerCount());
    return failures == 0 && THidDeviceController::ControllerCount() == controllersAtStart ? 0 : 1;
}
