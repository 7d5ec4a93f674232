#include "link/hid/hid_controller.h"
#include "link/hid/hid_platform_linux.h"
#include "link/hid/hid_report_descriptor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <hidapi.h>

#include <cerrno>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The boot keyboard of the HID class definition, as keyboards send it.
const char *const BootKeyboard =
    "05 01 09 06 A1 01 05 07 19 E0 29 E7 15 00 25 01 75 01 95 08 81 02 95 01 75 08 81 01"
    " 95 05 75 01 05 08 19 01 29 05 91 02 95 01 75 03 91 01 95 06 75 08 15 00 25 65"
    " 05 07 19 00 29 65 81 00 C0";

// Shaped like the meter cable's serial bridge: vendor page, unnumbered, 8-byte input and output reports,
// a feature report for the line settings.
const char *const SerialBridge =
    "06 A0 FF 09 01 A1 01 09 01 15 00 26 FF 00 75 08 95 08 81 02 09 01 95 08 91 02"
    " 09 01 95 05 B1 02 C0";

// A directory tree laid out like /sys for hidraw nodes.
class FakeSysfs {
public:
    bool addNode(const QString &name, const QByteArray &descriptor)
    {
        const QString hid =
            QStringLiteral("devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/0003:0ABC:0123.%1")
                .arg(++m_count, 4, 10, QChar('0'));
        const QString node = hid + QStringLiteral("/hidraw/") + name;
        QDir root(dir.path());
        if (!root.mkpath(node) || !root.mkpath(QStringLiteral("class/hidraw")))
            return false;
        QFile file(dir.filePath(hid + QStringLiteral("/report_descriptor")));
        if (!file.open(QIODevice::WriteOnly) || file.write(descriptor) != descriptor.size())
            return false;
        return QFile::link(QStringLiteral("../.."), dir.filePath(node + QStringLiteral("/device"))) &&
               QFile::link(QStringLiteral("../../") + node,
                           dir.filePath(QStringLiteral("class/hidraw/") + name));
    }
    QString nodePath(const QString &name) const
    {
        return QFileInfo(dir.filePath(QStringLiteral("class/hidraw/") + name)).canonicalFilePath();
    }

    QTemporaryDir dir;

private:
    int m_count = 0;
};

} // namespace

class TestHidPlatformLinux : public QObject {
    Q_OBJECT

private slots:
    void reportDescriptor_data();
    void reportDescriptor();
    void hidrawNode();
    void enumerationFindsTheAdapter();
    void enumerationOnThisMachine();
};

void TestHidPlatformLinux::reportDescriptor_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<bool>("numbered");
    QTest::addColumn<int>("length");

    QTest::newRow("boot keyboard") << hex(BootKeyboard) << false << 9;
    QTest::newRow("boot mouse")
        << hex("05 01 09 02 A1 01 09 01 A1 00 05 09 19 01 29 03 15 00 25 01 95 03 75 01 81 02"
               " 95 01 75 05 81 01 05 01 09 30 09 31 15 81 25 7F 75 08 95 02 81 06 C0 C0")
        << false << 4;
    QTest::newRow("serial bridge") << hex(SerialBridge) << false << 9;
    QTest::newRow("vendor page, 64-byte reports")
        << hex("06 00 FF 09 01 A1 01 15 00 26 FF 00 75 08 95 40 09 01 81 02 95 40 09 01 91 02 C0") << false
        << 65;
    QTest::newRow("keyboard with media keys, numbered")
        << hex("05 01 09 06 A1 01 85 01 05 07 19 E0 29 E7 15 00 25 01 75 01 95 08 81 02 95 01 75 08 81 01"
               " 95 06 75 08 15 00 25 65 19 00 29 65 81 00 C0"
               " 05 0C 09 01 A1 01 85 02 15 00 26 3C 02 19 00 2A 3C 02 75 10 95 01 81 00 C0")
        << true << 9;
    QTest::newRow("receiver mouse, numbered, 16-bit axes")
        << hex("05 01 09 02 A1 01 85 02 09 01 A1 00 05 09 19 01 29 05 15 00 25 01 95 05 75 01 81 02 95 01"
               " 75 03 81 01 05 01 16 01 80 26 FF 7F 75 10 95 02 09 30 09 31 81 06 15 81 25 7F 75 08 95 01"
               " 09 38 81 06 C0 C0")
        << true << 7;
    QTest::newRow("four-byte item data")
        << hex("06 00 FF 09 01 A1 01 17 00 00 00 80 27 FF FF FF 7F 75 20 95 03 81 02 C0") << false << 13;
    QTest::newRow("bits rounded up to bytes") << hex("75 01 95 0C 81 02") << false << 3;
    QTest::newRow("push and pop restore the report size")
        << hex("75 08 95 04 A4 75 10 95 01 B1 02 B4 81 02") << false << 5;
    QTest::newRow("long item skipped") << hex("75 08 95 02 FE 02 10 81 02 81 02") << false << 3;
    QTest::newRow("truncated item ends it") << hex("75 08 95 02 81 02 26 FF") << false << 3;
    QTest::newRow("output reports only") << hex("75 08 95 08 91 02") << false << 0;
    QTest::newRow("empty") << QByteArray() << false << 0;
}

void TestHidPlatformLinux::reportDescriptor()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(bool, numbered);
    QFETCH(int, length);
    const HidReportLayout layout = parseReportDescriptor(descriptor);
    QCOMPARE(layout.numbered, numbered);
    QCOMPARE(layout.inputReportLength, length);
}

void TestHidPlatformLinux::hidrawNode()
{
    FakeSysfs sysfs;
    QVERIFY(sysfs.dir.isValid());
    QVERIFY(sysfs.addNode("hidraw3", hex(SerialBridge)));

    const std::optional<HidrawNode> node = readHidrawNode(sysfs.dir.path(), "/dev/hidraw3");
    QVERIFY(node);
    QCOMPARE(node->identity, sysfs.nodePath("hidraw3"));
    QVERIFY(node->identity.endsWith("/0003:0ABC:0123.0001/hidraw/hidraw3"));
    QCOMPARE(node->layout.inputReportLength, 9);

    QVERIFY(!readHidrawNode(sysfs.dir.path(), "/dev/hidraw4"));
    QVERIFY(!readHidrawNode(sysfs.dir.path(), "/dev/ttyUSB0"));

    // Without a readable descriptor the node is still known, with no input report.
    QVERIFY(QFile::remove(sysfs.nodePath("hidraw3") + "/device/report_descriptor"));
    const std::optional<HidrawNode> bare = readHidrawNode(sysfs.dir.path(), "/dev/hidraw3");
    QVERIFY(bare);
    QCOMPARE(bare->layout.inputReportLength, 0);
}

void TestHidPlatformLinux::enumerationFindsTheAdapter()
{
    // hidapi's list as it comes for the adapter: one entry per top-level collection, all with one path.
    // The node number lies far above those of the devices a machine has, whose nodes do exist in /dev.
    if (QFile::exists("/dev/hidraw201"))
        QSKIP("this machine has a /dev/hidraw201; the test needs a node that does not exist");
    FakeSysfs sysfs;
    QVERIFY(sysfs.addNode("hidraw201", hex(SerialBridge)));
    hid_device_info gone = {};
    gone.path = const_cast<char *>("/dev/hidraw209"); // vanished from sysfs meanwhile
    hid_device_info second = {};
    second.path = const_cast<char *>("/dev/hidraw201");
    second.next = &gone;
    wchar_t product[] = L"USB to Serial";
    wchar_t serial[] = L"";
    hid_device_info adapter = {};
    adapter.path = const_cast<char *>("/dev/hidraw201");
    adapter.vendor_id = 0x0ABC;
    adapter.product_id = 0x0123;
    adapter.release_number = 0x0100;
    adapter.product_string = product;
    adapter.serial_number = serial;
    adapter.next = &second;

    LinuxHidPlatform platform(sysfs.dir.path());
    const std::vector<HidInterface> found = platform.takeEnumeration(&adapter);
    QCOMPARE(found.size(), size_t(1));
    QCOMPARE(found[0].path, QStringLiteral("/dev/hidraw201"));
    QCOMPARE(found[0].identity, sysfs.nodePath("hidraw201"));

    // Without a device node to open, the queries come from the enumeration, as for a device the user
    // may not open.
    QVERIFY(!platform.open("/dev/hidraw201", HidAccess::ReadWrite));
    QCOMPARE(platform.lastError(), quint32(ENOENT));
    std::unique_ptr<HidHandle> handle = platform.open("/dev/hidraw201", HidAccess::None);
    QVERIFY(handle);
    HidAttributes attributes;
    QVERIFY(platform.attributes(*handle, attributes));
    QCOMPARE(attributes.VendorID, quint16(0x0ABC));
    QCOMPARE(attributes.ProductID, quint16(0x0123));
    QString text;
    QVERIFY(platform.productString(*handle, text));
    QCOMPARE(text, QStringLiteral("USB to Serial"));
    QVERIFY(!platform.serialNumberString(*handle, text));
    QVERIFY(!platform.languageList(*handle));
    HidCapabilities caps;
    QVERIFY(platform.capabilities(*handle, caps));
    QCOMPARE(caps.InputReportByteLength, 9);
    const quint8 report[10] = {};
    QVERIFY(!platform.sendFeature(*handle, report, 10));
    QVERIFY(!platform.open("/dev/hidraw209", HidAccess::None));
}

void TestHidPlatformLinux::enumerationOnThisMachine()
{
    if (!QDir("/sys/class/hidraw").entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty())
        QSKIP("this machine has HID devices; the test needs one without");
    LinuxHidPlatform platform;
    QVERIFY(platform.isAvailable());
    QVERIFY(platform.enumerate().empty());

    THidDeviceController controller;
    QVERIFY(controller.DeviceList().isEmpty());
    controller.DeviceChange();
    QVERIFY(controller.DeviceList().isEmpty());
    QCOMPARE(controller.ReportDevices(), 0);
}

QTEST_MAIN(TestHidPlatformLinux)
#include "tst_hid_platform_linux.moc"
