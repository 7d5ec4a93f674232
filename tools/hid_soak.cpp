// Plug, connect, read, unplug while reading and the device change that
// follows, again and again, on the fake HID platform with the window. Every
// state of each cycle is checked; a failure names the cycle and the state.
//
//   halvern-hid-soak [cycles]        default 1000
#include "app/command_line.h"
#include "app/window_rig.h"

#include "app/usb_connection.h"
#include "link/hid/hid_controller.h"
#include "link/hid/hid_device.h"
#include "link/hid/hid_test_support.h"
#include "link/usb/usb_cable_encoder.h"
#include "link/usb/usb_report_unpacker.h"
#include "ui/widgets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <cstdio>

namespace {

const QString kCable = QStringLiteral("cable");
const QString kNotConnected =
    QStringLiteral("Information|USB interface cable is not securely connected, please check and re-try.");
const QByteArray kConfiguration = QByteArray::fromHex("00600900000300000000");
const QString kConfigurationLine = QStringLiteral("60 09 00 00 03 00 00 00 00 ");
constexpr int kWaitMs = 20000; // a wait this long means a deadlock

// A DC volt line of value / 1000: each cycle reads another value, so a frame
// decoded in an earlier cycle cannot pass for this one's.
QByteArray meterLine(int value)
{
    QByteArray line = QByteArrayLiteral("+0000 1\x10\x00\x00\x80\x00\r\n");
    const QByteArray digits = QByteArray::number(value).rightJustified(4, '0');
    line.replace(1, 4, digits);
    return line;
}

QString valueText(int value)
{
    return QStringLiteral("%1.%2").arg(value / 1000).arg(value % 1000, 3, 10, QLatin1Char('0'));
}

struct Soak : Window {
    int controllersWithWindow = THidDeviceController::ControllerCount();
    int cycle = 0;
    QString failure; // the first broken state of the cycle

    TFCOMM &win() { return *w; }
    UsbConnection &usb() { return w->usb(); }
    UsbAdapter &adapter() { return usb().adapter(); }
    QString lastHistory() { return adapter().HistoryListBox().selectedLine(); }

    // Records the first broken state; later checks of the cycle are skipped.
    bool expect(bool ok, const char *state, const QString &detail)
    {
        if (!ok && failure.isEmpty())
            failure = QStringLiteral("cycle %1: %2: %3").arg(cycle).arg(QLatin1String(state), detail);
        return failure.isEmpty();
    }
    bool comControlsHidden()
    {
        TFCOMM &t = win();
        return !t.control<QPushButton>("COMCon")->isVisibleTo(&t) &&
               !t.control<ClickablePanel>("BtCOM1")->isVisibleTo(&t) &&
               !t.control<ClickablePanel>("BtCOM2")->isVisibleTo(&t) &&
               !t.control<ClickablePanel>("BtCOM3")->isVisibleTo(&t) &&
               !t.control<ClickablePanel>("BtCOM4")->isVisibleTo(&t);
    }
    // Up with the caption "USB Disconnect" and the COM controls hidden: the
    // state after a press without an adapter.
    bool givenUp()
    {
        return !win().control<QPushButton>("USBCon")->isChecked() &&
               win().control<QPushButton>("USBCon")->text() == "USB Disconnect" && comControlsHidden();
    }
    bool idle()
    {
        return !win().control<QPushButton>("USBCon")->isChecked() &&
               win().control<QPushButton>("USBCon")->text() == "USB Connection" &&
               win().control<QPushButton>("COMCon")->isVisibleTo(&win());
    }
    QString buttonState()
    {
        return QStringLiteral("USBCon %1 \"%2\", COMCon %3")
            .arg(win().control<QPushButton>("USBCon")->isChecked() ? "down" : "up",
                 win().control<QPushButton>("USBCon")->text(),
                 win().control<QPushButton>("COMCon")->isVisibleTo(&win()) ? "shown" : "hidden");
    }

    bool runCycle()
    {
        failure.clear();
        dialogs.infos.clear();
        const bool firstCycle = cycle == 0;
        const int value = cycle % 6000;

        // Plugged: listed, selected, not read yet; the button as the last cycle left it.
        hid->plug(fakeDevice(kCable, QStringLiteral("USB to Serial")));
        hid->notifyChange();
        THidDevice *entry = adapter().selectedEntryDevice();
        if (!expect(lastHistory() == "Arrival of USB to Serial", "plugged",
                    "last history line " + lastHistory()) ||
            !expect(adapter().DevListBox().size() == 1 && adapter().DevListIndex() == 0 && entry, "plugged",
                    QStringLiteral("%1 entries, entry %2 selected")
                        .arg(adapter().DevListBox().size())
                        .arg(adapter().DevListIndex())) ||
            !expect(!entry->ReaderRunning(), "plugged", "a reader runs before the button is pressed") ||
            !expect(firstCycle ? idle() : givenUp(), "plugged", buttonState()))
            return false;

        // Connected: the configuration report went out and the reader runs.
        const int featuresBefore = hid->features(kCable).size();
        win().control<QPushButton>("USBCon")->click();
        THidDevice *device = usb().SelectedDevice();
        if (!expect(dialogs.infos.isEmpty(), "connected", "message " + dialogs.infos.join(", ")) ||
            !expect(win().control<QPushButton>("USBCon")->isChecked() &&
                        win().control<QPushButton>("USBCon")->text() == "USB Disconnect" &&
                        comControlsHidden(),
                    "connected", buttonState()) ||
            !expect(device && device == entry, "connected", "SelectedDevice is not the adapter's entry") ||
            !expect(device->ReaderRunning(), "connected", "no reader runs") ||
            // The reader thread opens the device for reading on its own time.
            !expect(waitUntil([&] { return hid->readerAttached(kCable); }, kWaitMs), "connected",
                    "the reader did not open the device within 20 s") ||
            !expect(hid->features(kCable).size() == featuresBefore + 1 &&
                        hid->features(kCable).last() == kConfiguration,
                    "connected", "configuration report not sent") ||
            !expect(lastHistory() == kConfigurationLine, "connected", "last history line " + lastHistory()))
            return false;

        // Reading: the reports arrive, are unpacked, and their frame decoded and recorded.
        const QByteArray line = meterLine(value);
        const QList<QByteArray> reports = UsbCableEncoder::reportsOfLines(line);
        const long long handledTarget = usb().unpacker().reportsHandled() + reports.size();
        const long long decodedBefore = usb().unpacker().decoderCalls();
        const int rowsBefore = win().session().table().rowCount();
        for (const QByteArray &report : reports)
            hid->queueReport(kCable, report);
        const bool handled =
            waitUntil([&] { return usb().unpacker().reportsHandled() >= handledTarget; }, kWaitMs);
        if (!expect(handled, "reading", "reports not handled within 20 s") ||
            !expect(usb().unpacker().decoderCalls() == decodedBefore + 1, "frames arriving",
                    QStringLiteral("%1 frames decoded, not 1")
                        .arg(usb().unpacker().decoderCalls() - decodedBefore)) ||
            !expect(win().session().lastFrame() == QString::fromLatin1(line.toHex().toUpper()),
                    "frames arriving", "last frame " + win().session().lastFrame()) ||
            !expect(win().decoder().reading().ValueText == valueText(value), "frames decoded",
                    "value " + win().decoder().reading().ValueText + ", not " + valueText(value)) ||
            !expect(win().session().table().rowCount() == rowsBefore + 1, "frames decoded",
                    QStringLiteral("%1 rows recorded, not 1")
                        .arg(win().session().table().rowCount() - rowsBefore)) ||
            !expect(win().control<QLabel>("CONok")->isVisibleTo(&win()) &&
                        !win().control<QLabel>("CONokN")->isVisibleTo(&win()),
                    "reading", "the indicator does not show the link alive"))
            return false;

        // Unplugged while reading: the reader's reads fail and say so.
        hid->unplug(kCable);
        const bool noticed = waitUntil([&] { return lastHistory().startsWith("READ ERROR: "); }, kWaitMs);
        if (!expect(noticed, "unplug noticed", "no READ ERROR line within 20 s, last " + lastHistory()))
            return false;

        // The device change: removal written, the reading stopped, every device let go.
        hid->notifyChange();
        const QStringList recent{adapter().HistoryListBox().line(adapter().HistoryListBox().count() - 2),
                                 lastHistory()};
        if (!expect(recent.contains("Removal of USB to Serial"), "device change",
                    "no removal among the last lines " + recent.join(" / ")) ||
            !expect(adapter().DevListBox().isEmpty() && adapter().DevListIndex() == -1, "device change",
                    QStringLiteral("%1 entries left").arg(adapter().DevListBox().size())) ||
            !expect(!usb().SelectedDevice(), "device change", "SelectedDevice kept") ||
            !expect(!hid->readerAttached(kCable), "device change", "a reader still reads") ||
            !expect(hid->openHandles() == 0, "device change",
                    QStringLiteral("%1 handles open").arg(hid->openHandles())) ||
            // The window stays in the USB state until the user releases the button.
            !expect(win().control<QPushButton>("USBCon")->isChecked() &&
                        win().control<QPushButton>("USBCon")->text() == "USB Disconnect" &&
                        comControlsHidden(),
                    "after device change", buttonState()))
            return false;
        // No reports come, so the watchdog darkens the indicator and the USB limit stays quiet.
        for (int i = 0; i < 3; ++i)
            timers.value(QStringLiteral("ConTimer"))->fire();
        if (!expect(win().control<QLabel>("CONokN")->isVisibleTo(&win()) &&
                        !win().control<QLabel>("CONok")->isVisibleTo(&win()),
                    "after device change", "the indicator still shows the link alive") ||
            !expect(dialogs.infos.isEmpty(), "after device change", "message " + dialogs.infos.join(", ")))
            return false;

        // Released without an adapter: the message, the button up, the COM controls still hidden.
        win().control<QPushButton>("USBCon")->click();
        return expect(dialogs.infos == QStringList{kNotConnected}, "released",
                      "messages " + dialogs.infos.join(", ")) &&
               expect(givenUp(), "released", buttonState()) &&
               expect(hid->openHandles() == 0, "released",
                      QStringLiteral("%1 handles open").arg(hid->openHandles())) &&
               expect(THidDeviceController::ControllerCount() == controllersWithWindow, "released",
                      QStringLiteral("ControllerCount %1, not %2")
                          .arg(THidDeviceController::ControllerCount())
                          .arg(controllersWithWindow));
    }

    // After a broken cycle: the adapter out and the button up again, so the
    // next cycle starts from the state a good one leaves.
    void recover()
    {
        hid->unplug(kCable);
        hid->notifyChange();
        if (win().control<QPushButton>("USBCon")->isChecked())
            win().control<QPushButton>("USBCon")->click();
    }

    // Back to Idle: two presses with the adapter present, then it goes.
    bool endIdle()
    {
        hid->plug(fakeDevice(kCable, QStringLiteral("USB to Serial")));
        hid->notifyChange();
        win().control<QPushButton>("USBCon")->click();
        win().control<QPushButton>("USBCon")->click();
        const bool ok = idle() && win().control<ClickablePanel>("BtCOM1")->isVisibleTo(&win());
        hid->unplug(kCable);
        hid->notifyChange();
        return ok && hid->openHandles() == 0;
    }
};

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
    int failures = 0, rows = 0, handlesAtEnd = 0;
    long long readErrors = 0;
    bool endedIdle = false;
    QStringList failuresShown;
    QElapsedTimer clock;
    clock.start();
    {
        Soak soak;
        for (soak.cycle = 0; soak.cycle < cycles; ++soak.cycle) {
            if (soak.runCycle())
                continue;
            ++failures;
            if (failuresShown.size() < 10)
                failuresShown << soak.failure;
            soak.recover();
        }
        endedIdle = soak.endIdle();
        rows = soak.win().session().table().rowCount();
        for (const QString &line : soak.adapter().HistoryListBox().lines())
            readErrors += line.startsWith("READ ERROR: ");
        soak.w.reset();
        handlesAtEnd = soak.hid->openHandles();
    }
    for (const QString &failure : failuresShown)
        std::fprintf(stderr, "%s\n", qPrintable(failure));
    std::printf("cycles                    %d in %.1f s\n", cycles, clock.elapsed() / 1000.0);
    std::printf("failed cycles             %d\n", failures);
    std::printf("rows recorded             %d\n", rows);
    std::printf("READ ERROR lines kept     %lld\n", readErrors);
    std::printf("back to idle at the end   %s\n", endedIdle ? "yes" : "NO");
    std::printf("open handles at the end   %d\n", handlesAtEnd);
    std::printf("controllers               %d at start, %d at the end\n", controllersAtStart,
                THidDeviceController::ControllerCount());
    return failures == 0 && endedIdle && handlesAtEnd == 0 &&
                   THidDeviceController::ControllerCount() == controllersAtStart
               ? 0
               : 1;
}
