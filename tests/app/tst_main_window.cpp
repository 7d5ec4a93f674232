#include "window_rig.h"

#include "app/main_window.h"
#include "app/program_links.h"
#include "link/serial/serial_port_driver.h"
#include "meter/frame_builder.h"
#include "meter/locale_service.h"
#include "record/window_timer.h"
#include "ui/lcd_panel.h"
#include "ui/trend_chart.h"
#include "ui/widgets.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

#include <sys/mount.h>
#include <unistd.h>

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void caption_data();
    void caption();
    void clientAreaIsFixed();
    void regionsSitAtTheirPlaces_data();
    void regionsSitAtTheirPlaces();
    void controlsAnswerToTheirNames();
    void startValues();
    void quitAsksFirst_data();
    void quitAsksFirst();
    void decodedFrameReachesPanel();
    void conversionErrorsReachTheErrorReport_data();
    void conversionErrorsReachTheErrorReport();
    void portSelectorCycles();
    void missingPortConnectsSilently();
    void indicatorGoesDarkAtThirdTick();
    void connectButtonRunsOnceForEveryPress_data();
    void connectButtonRunsOnceForEveryPress();
    void iconButtonsCarryTheirHintsAsNames();
    void chartDiesBeforeTheWindowMembers();
    void fullDiskDuringCaptureIsToldOnce();
};

void TestMainWindow::caption_data()
{
    QTest::addColumn<bool>("native64");
    QTest::addColumn<bool>("morvane");
    QTest::addColumn<QString>("caption");
    QTest::newRow("64-bit") << true << true << "Halvern Interface Program Ver 3.03(x64)";
    QTest::newRow("32-bit") << false << true << "Halvern Interface Program Ver 3.03(x86)";
    QTest::newRow("model switch off") << true << false << "(x64)";
}

void TestMainWindow::caption()
{
    QFETCH(bool, native64);
    QFETCH(bool, morvane);
    ModelSwitches switches;
    switches.IFMorvane = morvane;
    Window win(native64, switches);
    QTEST(win.w->windowTitle(), "caption");
}

void TestMainWindow::clientAreaIsFixed()
{
    Window win;
    win.w->show();
    QVERIFY(QTest::qWaitForWindowExposed(win.w.get()));
    QCOMPARE(win.w->centralWidget()->size(), QSize(663, 509));
    QCOMPARE(win.w->minimumSize(), win.w->maximumSize()); // not resizable
    QVERIFY(!(win.w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(win.w->windowFlags() & Qt::WindowMinimizeButtonHint);
}

void TestMainWindow::regionsSitAtTheirPlaces_data()
{
    QTest::addColumn<QString>("region");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("top bar") << "Panel5" << QRect(0, 0, 663, 32);
    QTest::newRow("port panel") << "BtCOM1" << QRect(5, 3, 61, 24);
    QTest::newRow("COM button") << "COMCon" << QRect(76, 3, 125, 25);
    QTest::newRow("USB button") << "USBCon" << QRect(203, 3, 158, 25);
    QTest::newRow("Quit") << "BitBtn1" << QRect(563, 3, 86, 25);
    QTest::newRow("LCD panel") << "Panel1" << QRect(5, 36, 302, 162);
    QTest::newRow("bar graph") << "PBar2" << QRect(5, 197, 302, 17);
    QTest::newRow("record bar") << "Panel2" << QRect(4, 216, 305, 41);
    QTest::newRow("grid") << "DBGrid1" << QRect(4, 264, 303, 241);
    QTest::newRow("limit panel") << "Panel4" << QRect(308, 34, 351, 116);
    QTest::newRow("indicator") << "CONokN" << QRect(310, 13, 25, 24);
    QTest::newRow("chart bar") << "Panel3" << QRect(306, 149, 353, 41);
    QTest::newRow("chart") << "Chtshow" << QRect(309, 189, 350, 316);
}

void TestMainWindow::regionsSitAtTheirPlaces()
{
    QFETCH(QString, region);
    Window win;
    TFCOMM &w = *win.w;
    const QWidget *widget = w.control<QWidget>(region.toLatin1().constData());
    QVERIFY(widget);
    QTEST(widget->geometry(), "geometry");
}

// Guards against a control that lost its name: tests and tools would reach nothing through it.
void TestMainWindow::controlsAnswerToTheirNames()
{
    Window win;
    const TFCOMM &w = *win.w;
    const char *const widgets[] = {
        "Panel5",     "BtCOM1",        "BtCOM2",  "BtCOM3",  "BtCOM4",    "COMCon",   "USBCon",
        "BitBtn1",    "Panel1",        "PBar2",   "Panel2",  "RepeatSet", "RecordSI", "RecordSITime",
        "RecordNew",  "OpenDataFiles", "saveas",  "BtPrint", "DBGrid1",   "Panel4",   "T1_HI",
        "T1HI",       "T1_Value",      "T1VALUE", "T1_LO",   "T1LO",      "Shape1",   "judge",
        "CONok",      "CONokN",        "Panel3",  "BtFill",  "Maxrecord", "BtSave",   "BtFirst",
        "BTPrevious", "Bt10",          "BtNext",  "BTlast",  "TbFd",      "TbSx",     "Chtshow",
        "RecordMenu"};
    for (const char *name : widgets) {
        QVERIFY2(w.control<QWidget>(name), name);
        QCOMPARE(w.findChildren<QObject *>(QString::fromLatin1(name)).size(), 1);
    }
    const char *const limits[] = {"N10001", "N50001", "N100001", "N500001", "N1000001", "limitess"};
    for (const char *name : limits)
        QVERIFY2(w.control<QAction>(name), name);
    QVERIFY(!w.control<QPushButton>("T1HI")); // a field is no button
    QVERIFY(w.control<QProgressBar>("PBar2"));
    QVERIFY(w.control<RecordGrid>("DBGrid1"));
    QVERIFY(w.control<TrendChart>("Chtshow"));
}

void TestMainWindow::startValues()
{
    Window win;
    TFCOMM &w = *win.w;
    QCOMPARE(w.control<LcdPanel>("Panel1")->state(), LcdState::startUp());
    QVERIFY(!w.control<QLabel>("CONok")->isVisibleTo(&w));
    QVERIFY(w.control<QLabel>("CONokN")->isVisibleTo(&w));
    QVERIFY(w.control<ClickablePanel>("BtCOM1")->isVisibleTo(&w));
    QVERIFY(!w.control<ClickablePanel>("BtCOM2")->isVisibleTo(&w) &&
            !w.control<ClickablePanel>("BtCOM3")->isVisibleTo(&w) &&
            !w.control<ClickablePanel>("BtCOM4")->isVisibleTo(&w));
    QCOMPARE(w.control<ClickablePanel>("BtCOM3")->text(), QStringLiteral("COM 3"));
    QCOMPARE(w.control<QPushButton>("COMCon")->text(), QStringLiteral("COM Connection"));
    QCOMPARE(w.control<QPushButton>("USBCon")->text(), QStringLiteral("USB Connection"));
    QVERIFY(!w.control<QPushButton>("COMCon")->isChecked() && !w.control<QPushButton>("USBCon")->isChecked());
    QCOMPARE(w.control<QProgressBar>("PBar2")->maximum(), 60);
    QCOMPARE(w.control<QProgressBar>("PBar2")->value(), 30);
    QCOMPARE(w.control<QLineEdit>("T1HI")->text(), QStringLiteral("4000"));
    QCOMPARE(w.control<QLineEdit>("T1LO")->text(), QStringLiteral("-4000"));
    QCOMPARE(w.control<QLineEdit>("T1VALUE")->text(), QStringLiteral("0"));
    QCOMPARE(w.control<QLabel>("judge")->text(), QString());
    QVERIFY(w.control<QCheckBox>("RepeatSet")->isChecked());
    QVERIFY(!w.control<QCheckBox>("RecordSI")->isChecked());
    QCOMPARE(w.control<QCheckBox>("RecordSI")->text(), QStringLiteral("Sampling Interval           'S"));
    QCOMPARE(w.control<QLineEdit>("RecordSITime")->text(), QStringLiteral("1"));
    QVERIFY(w.control<QCheckBox>("BtFill")->isChecked());
    QCOMPARE(w.control<QLineEdit>("Maxrecord")->text(), QStringLiteral("100"));
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QStringLiteral("1"));
    QVERIFY(w.control<QToolButton>("TbFd")->isVisibleTo(&w) &&
            !w.control<QToolButton>("TbSx")->isVisibleTo(&w));
    QVERIFY(w.control<QAction>("N100001")->isChecked());
    QCOMPARE(w.control<QAction>("limitess")->text(), QStringLiteral("limitless"));
    QCOMPARE(w.chartModel().valueAxis.minimum, -4000.0);
    QCOMPARE(w.chartModel().valueAxis.maximum, 4000.0);
    QCOMPARE(w.decoder().scaleCount(), 4000);
    QCOMPARE(w.systeminfomation(), QStringLiteral(","));
    QCOMPARE(w.control<QCheckBox>("RepeatSet")->toolTip(), QStringLiteral("Repeage Record"));
    QCOMPARE(w.control<QToolButton>("RecordNew")->toolTip(), QStringLiteral("Close Data"));
    QCOMPARE(w.control<QToolButton>("BTlast")->toolTip(), QStringLiteral("last"));
}

void TestMainWindow::quitAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("&No keeps everything") << false;
    QTest::newRow("&Yes ends the program") << true;
}

void TestMainWindow::quitAsksFirst()
{
    QFETCH(bool, yes);
    Window win;
    win.w->show();
    win.w->frameReceived(frameHex('+', "1234", '1', Bits::Dc8, 0, 0, Bits::Volt11));
    win.dialogs.answer = yes;
    QTest::mouseClick(win.w->control<QPushButton>("BitBtn1"), Qt::LeftButton);
    QCOMPARE(win.dialogs.questions,
             QStringList{"Information|Are you sure that you want to quit this application?"});
    QCOMPARE(win.terminations, yes ? 1 : 0);
    QCOMPARE(win.w->isVisible(), !yes);
    QCOMPARE(win.w->decoder().reading().ValueText, QStringLiteral("1.234"));
}

void TestMainWindow::decodedFrameReachesPanel()
{
    Window win;
    win.w->frameReceived(frameHex('-', "?0:?", '2', Bits::Dc8 | Bits::Auto8, 0, 0, Bits::Volt11));
    const LcdState &shown = win.w->control<LcdPanel>("Panel1")->state();
    QCOMPARE(shown, win.w->decoder().lcd());
    QCOMPARE(shown.digits, (std::array<QString, 4>{"", "0", "@", ""}));
    QVERIFY(shown.isVisible(LcdElement::LcdP2));
    QVERIFY(shown.isVisible(LcdElement::LCDsend));
    QVERIFY(win.w->control<QLabel>("CONok")->isVisibleTo(win.w.get()));
    QVERIFY(!win.w->control<QLabel>("CONokN")->isVisibleTo(win.w.get()));
    QCOMPARE(win.w->control<QProgressBar>("PBar2")->maximum(), 40); // follows the value axis
    QVERIFY(win.dialogs.errors.isEmpty());
}

void TestMainWindow::conversionErrorsReachTheErrorReport_data()
{
    QTest::addColumn<QString>("bad");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("function"); // what the frame left in Reading
    QTest::addColumn<bool>("annunciatorsNew");
    QTest::newRow("point code") << frameHex('+', "5678", ':', Bits::Ac8, 0, 0, Bits::Volt11)
                                << "Error|'A' is not a valid integer value"
                                << "" << false;
    QTest::newRow("digits") << frameHex('+', "5:78", '1', Bits::Ac8, 0, 0, Bits::Volt11)
                            << "Error|'5A78' is not a valid integer value"
                            << "AC" << true;
}

void TestMainWindow::conversionErrorsReachTheErrorReport()
{
    QFETCH(QString, bad);
    QFETCH(bool, annunciatorsNew);
    Window win;
    const QString good = frameHex('-', "1234", '1', Bits::Dc8, 0, 0, Bits::Volt11);
    win.w->frameReceived(good);
    win.w->frameReceived(bad);

    QTEST(win.dialogs.errors.join(';'), "message");
    QTEST(win.w->decoder().reading().FunctionText, "function");
    const LcdState &shown = win.w->control<LcdPanel>("Panel1")->state();
    QCOMPARE(shown.digits, (std::array<QString, 4>{"1", "2", "3", "4"})); // the previous frame's digits
    QVERIFY(!shown.isVisible(LcdElement::LcdFH));
    QVERIFY(!shown.isVisible(LcdElement::LcdDc1));
    QCOMPARE(shown.isVisible(LcdElement::LcdAC), annunciatorsNew);

    win.w->frameReceived(good);
    QCOMPARE(win.dialogs.errors.size(), 1);
    QCOMPARE(win.w->control<LcdPanel>("Panel1")->state().digits[0], QStringLiteral("1"));
    QVERIFY(win.w->control<LcdPanel>("Panel1")->state().isVisible(LcdElement::LcdFH));
    QCOMPARE(win.w->decoder().reading().ValueText, QStringLiteral("-1.234"));
}

void TestMainWindow::portSelectorCycles()
{
    Window win;
    TFCOMM &w = *win.w;
    win.w->show();
    const QList<ClickablePanel *> panels{
        w.control<ClickablePanel>("BtCOM1"), w.control<ClickablePanel>("BtCOM2"),
        w.control<ClickablePanel>("BtCOM3"), w.control<ClickablePanel>("BtCOM4")};
    for (int click = 1; click <= 4; ++click) {
        const int expected = click % 4;
        ClickablePanel *visible = nullptr;
        for (ClickablePanel *p : panels)
            if (p->isVisible())
                visible = p;
        QVERIFY(visible);
        QTest::mouseClick(visible, Qt::LeftButton);
        QCOMPARE(int(w.serialPort().ComPort()), expected);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(panels[i]->isVisible(), i == expected);
        QCOMPARE(panels[expected]->text(), QStringLiteral("COM %1").arg(expected + 1));
    }
}

void TestMainWindow::missingPortConnectsSilently()
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    QTest::mouseClick(w.control<ClickablePanel>("BtCOM1"), Qt::LeftButton); // COM 2
    QTest::mouseClick(w.control<QPushButton>("COMCon"), Qt::LeftButton);
    QVERIFY(w.control<QPushButton>("COMCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("COMCon")->text(), QStringLiteral("COM Disconnect"));
    QVERIFY(!w.control<QPushButton>("USBCon")->isVisible());
    QVERIFY(!w.serialPort().IsOpen());
    QVERIFY(!w.control<ClickablePanel>("BtCOM2")->isEnabled());
    QVERIFY(w.control<QLabel>("CONokN")->isVisible());
    QVERIFY(win.dialogs.errors.isEmpty() && win.dialogs.questions.isEmpty());

    // The panel does not react while connected: the port cannot change.
    QTest::mouseClick(w.control<ClickablePanel>("BtCOM2"), Qt::LeftButton);
    QCOMPARE(w.serialPort().ComPort(), TSerialPortDriver::pnCOM2);
    QVERIFY(w.control<ClickablePanel>("BtCOM2")->isVisible());

    QTest::mouseClick(w.control<QPushButton>("COMCon"), Qt::LeftButton);
    QVERIFY(!w.control<QPushButton>("COMCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("COMCon")->text(), QStringLiteral("COM Connection"));
    QVERIFY(w.control<QPushButton>("USBCon")->isVisible());
    QVERIFY(w.control<ClickablePanel>("BtCOM2")->isEnabled());
}

void TestMainWindow::indicatorGoesDarkAtThirdTick()
{
    Window win;
    TFCOMM &w = *win.w;
    ManualWindowTimer *conTimer = win.timers.value("ConTimer");
    QVERIFY(conTimer && conTimer->isEnabled());
    QCOMPARE(conTimer->interval(), 100);
    const QString frame = frameHex('+', "1234", '1', Bits::Dc8, 0, 0, Bits::Volt11);

    // Frames closer than 200 ms apart keep the indicator lit.
    for (int i = 0; i < 10; ++i) {
        w.frameReceived(frame);
        conTimer->fire();
        conTimer->fire();
        QVERIFY(w.control<QLabel>("CONok")->isVisibleTo(&w));
    }
    conTimer->fire();
    QVERIFY(!w.control<QLabel>("CONok")->isVisibleTo(&w));
    QVERIFY(w.control<QLabel>("CONokN")->isVisibleTo(&w));
    QCOMPARE(w.watchdogTicks(), 0);

    w.frameReceived(frame);
    QVERIFY(w.control<QLabel>("CONok")->isVisibleTo(&w));
    QVERIFY(!w.control<QLabel>("CONokN")->isVisibleTo(&w));
}

void TestMainWindow::connectButtonRunsOnceForEveryPress_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("mouse") << "mouse";
    QTest::newRow("space key") << "space";
    QTest::newRow("accessibility toggle") << "toggle";
    QTest::newRow("accessibility press") << "press";
}

// Regression: the accessibility "Toggle" put the button down without
// connecting.
void TestMainWindow::connectButtonRunsOnceForEveryPress()
{
    QFETCH(QString, how);
    Window win;
    TFCOMM &w = *win.w;
    int opens = 0; // every open looks the port's device up once
    w.serialPort().setPortNameLookup([&](TSerialPortDriver::TComPortNumber) {
        ++opens;
        return QString();
    });
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    const auto press = [&] {
        QAccessibleInterface *button =
            QAccessible::queryAccessibleInterface(w.control<QPushButton>("COMCon"));
        if (how == "mouse") {
            QTest::mouseClick(w.control<QPushButton>("COMCon"), Qt::LeftButton);
        } else if (how == "space") {
            w.control<QPushButton>("COMCon")->setFocus();
            QTest::keyClick(w.control<QPushButton>("COMCon"), Qt::Key_Space);
        } else {
            QVERIFY(button && button->actionInterface());
            button->actionInterface()->doAction(how == "toggle" ? QAccessibleActionInterface::toggleAction()
                                                                : QAccessibleActionInterface::pressAction());
        }
    };
    press();
    QTRY_VERIFY(w.control<QPushButton>("COMCon")->isChecked()); // the accessible press animates its click
    QCOMPARE(w.control<QPushButton>("COMCon")->text(), QStringLiteral("COM Disconnect"));
    QCOMPARE(opens, 1);
    QVERIFY(!w.control<QPushButton>("USBCon")->isVisible());

    press();
    QTRY_VERIFY(!w.control<QPushButton>("COMCon")->isChecked());
    QCOMPARE(w.control<QPushButton>("COMCon")->text(), QStringLiteral("COM Connection"));
    QCOMPARE(opens, 1);
    QVERIFY(w.control<QPushButton>("USBCon")->isVisible());
}

void TestMainWindow::iconButtonsCarryTheirHintsAsNames()
{
    Window win;
    TFCOMM &w = *win.w;
    const QList<QToolButton *> buttons{
        w.control<QToolButton>("RecordNew"),  w.control<QToolButton>("OpenDataFiles"),
        w.control<QToolButton>("saveas"),     w.control<QToolButton>("BtPrint"),
        w.control<QToolButton>("BtSave"),     w.control<QToolButton>("BtFirst"),
        w.control<QToolButton>("BTPrevious"), w.control<QToolButton>("BtNext"),
        w.control<QToolButton>("BTlast"),     w.control<QToolButton>("TbFd"),
        w.control<QToolButton>("TbSx")};
    for (QToolButton *button : buttons) {
        QVERIFY(!button->toolTip().isEmpty());
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(button);
        QVERIFY(face);
        QCOMPARE(face->text(QAccessible::Name), button->toolTip());
    }
    QCOMPARE(w.control<QToolButton>("saveas")->accessibleName(), QStringLiteral("Save data files"));
    QCOMPARE(w.control<QToolButton>("BtPrint")->accessibleName(), QStringLiteral("Print"));
}

// Regression: the chart widget, a child, died after the window's members and
// wrote into the window's chart model on its way out.
void TestMainWindow::chartDiesBeforeTheWindowMembers()
{
    auto win = std::make_unique<Window>();
    QObject *window = win->w.get();
    bool windowWhole = false;
    connect(win->w->control<TrendChart>("Chtshow"), &QObject::destroyed, this,
            [&] { windowWhole = qobject_cast<TFCOMM *>(window) != nullptr; });
    win.reset();
    QVERIFY(windowWhole); // still a TFCOMM: its members were alive
}

// Before: a full disk left a short capture without a word.
void TestMainWindow::fullDiskDuringCaptureIsToldOnce()
{
    QTemporaryDir dir;
    const QByteArray disk = QFile::encodeName(dir.filePath(QStringLiteral("disk")));
    QVERIFY(QDir().mkdir(QString::fromLocal8Bit(disk)));
    if (::geteuid() != 0 || ::mount("tmpfs", disk.constData(), "tmpfs", 0, "size=4k") != 0)
        QSKIP("needs root to mount a small tmpfs");
    struct Unmount {
        QByteArray path;
        ~Unmount() { ::umount(path.constData()); }
    } unmount{disk};
    const QString path = QString::fromLocal8Bit(disk) + QStringLiteral("/capture.bin");
    {
        Window win;
        ProgramLinks links(false);
        QString error;
        QVERIFY2(links.setUp({"halvern", "--capture", path}, error), qPrintable(error));
        links.attach(*win.w);
        const QByteArray line =
            QByteArray::fromHex(frameHex('+', "1234", '1', Bits::Dc8, 0, 0, Bits::Volt11).toLatin1());
        const auto receive = win.w->serialPort().OnReceiveData();
        for (int i = 0; i < 1000; ++i) // 14 kB for a 4 kB disk
            receive(&win.w->serialPort(), line.constData(), int(line.size()));
        QTRY_COMPARE(win.dialogs.errors.size(), 1);
        QVERIFY2(win.dialogs.errors[0].startsWith("Error|Cannot write the capture " + path +
                                                  ": No space left on device."),
                 qPrintable(win.dialogs.errors[0]));
        QTest::qWait(0);
        QCOMPARE(win.dialogs.errors.size(), 1);
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
