#include "window_rig.h"

#include "accessibility_listener.h"

#include "meter/frame_builder.h"
#include "record/chart_control.h"
#include "record/measurement_log.h"
#include "record/measurement_table.h"
#include "record/table_text_file.h"
#include "ui/lcd_panel.h"
#include "ui/segment_font.h"
#include "ui/trend_chart.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "ui/widgets.h"

namespace {

QString dcVolts(const char *digits, char point = '1')
{
    return frameHex('+', digits, point, Bits::Dc8, 0, 0, Bits::Volt11);
}

QString cell(const TFCOMM &w, int row, int column)
{
    return w.control<RecordGrid>("DBGrid1")->model()->index(row, column).data().toString();
}

} // namespace

// The recording, judgement and chart parts as the window wires them; their
// rules are tested on their own in tests/record.
class TestWindowRecording : public QObject {
    Q_OBJECT

private slots:
    void gridFollowsRecording();
    void verdictShowsOnPanel_data();
    void verdictShowsOnPanel();
    void limitFieldsFilterKeysAndRevert();
    void pageSizeNotANumberReachesErrorReport();
    void pageButtonsUpdatePageNumber();
    void newAsksFirst_data();
    void newAsksFirst();
    void recordLimitMenu();
    void samplingIntervalRecordsOnTicks();
    void fillSwitchesSeries();
    void enlargeAndRestore();
    void barStaysFullWhenItsMaximumShrinks();
    void onePointPageIsDrawn();
    void filteredEditsKeepEditingKeys_data();
    void filteredEditsKeepEditingKeys();
    void eightDigitRecordNumbersShowWhole();
    void screenReaderReadsTheViews();
};

void TestWindowRecording::gridFollowsRecording()
{
    Window win;
    TFCOMM &w = *win.w;
    const QStringList titles{"No.", "Time", "Function", "Value", "Unit", "Judge"};
    const QList<int> widths{39, 53, 42, 51, 36, 38};
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->columnCount(), 6);
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->headerData(c, Qt::Horizontal).toString(),
                 titles[c]);
        QCOMPARE(w.control<RecordGrid>("DBGrid1")->columnWidth(c), widths[c]);
    }

    w.frameReceived(dcVolts("1234"));
    w.frameReceived(frameHex('+', "1234", '2', Bits::Auto8, 0, Bits::Kilo10, Bits::Ohm11));
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), 2);
    QCOMPARE(cell(w, 0, 0), QStringLiteral("1"));
    QCOMPARE(cell(w, 0, 2), QStringLiteral("DC"));
    QCOMPARE(cell(w, 0, 3), QStringLiteral("1.234"));
    QCOMPARE(cell(w, 0, 5), QStringLiteral("pass"));
    QCOMPARE(cell(w, 1, 4), QStringLiteral("kΩ"));
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->currentIndex().row(), 1);
    QCOMPARE(w.control<QProgressBar>("PBar2")->value(), 12); // |12.34| against the kilo-ohm axis of 40
    QCOMPARE(w.control<QProgressBar>("PBar2")->maximum(), 40);
    QCOMPARE(w.chartModel().points.size(), size_t(3)); // the placeholder and two readings
}

void TestWindowRecording::verdictShowsOnPanel_data()
{
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("inside") << "4000"
                            << "-4000" << dcVolts("1234") << "Pass" << QColor(0, 128, 0);
    QTest::newRow("above") << "1.5"
                           << "1.0" << dcVolts("1501") << "Fail" << QColor(255, 0, 0);
    QTest::newRow("on the high limit") << "1.5"
                                       << "1.0" << dcVolts("1500") << "Pass" << QColor(0, 128, 0);
    QTest::newRow("overload") << "4000"
                              << "-4000" << frameHex('+', "?0:?", '2', Bits::Dc8, 0, 0, Bits::Volt11)
                              << "Fail" << QColor(255, 0, 0);
}

void TestWindowRecording::verdictShowsOnPanel()
{
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QString, frame);
    QFETCH(QColor, colour);
    Window win;
    TFCOMM &w = *win.w;
    w.control<QLineEdit>("T1HI")->setText(high);
    w.control<QLineEdit>("T1LO")->setText(low);
    w.frameReceived(frame);
    QTEST(w.control<QLabel>("judge")->text(), "verdict");
    QCOMPARE(w.control<CircleShape>("Shape1")->fillColor(), colour);
    QCOMPARE(w.control<QLineEdit>("T1VALUE")->palette().color(QPalette::Base), colour);
    QCOMPARE(w.control<QLabel>("judge")->palette().color(QPalette::Window), colour);
    QCOMPARE(w.control<QLineEdit>("T1VALUE")->text(), w.decoder().reading().ValueText);
}

void TestWindowRecording::limitFieldsFilterKeysAndRevert()
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    w.control<QLineEdit>("T1HI")->clear();
    QTest::keyClicks(w.control<QLineEdit>("T1HI"), "1x2.5");
    QCOMPARE(w.control<QLineEdit>("T1HI")->text(), QStringLiteral("12.5"));

    // A field that holds no number returns to its last accepted text.
    w.control<QLineEdit>("T1LO")->setText(QStringLiteral("-"));
    ManualWindowTimer *timer4 = win.timers.value("Timer4");
    QVERIFY(timer4->isEnabled());
    timer4->fire();
    QCOMPARE(w.control<QLineEdit>("T1LO")->text(), QStringLiteral("-4000"));
    QVERIFY(!timer4->isEnabled());
}

void TestWindowRecording::pageSizeNotANumberReachesErrorReport()
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    ManualWindowTimer *timer2 = win.timers.value("Timer2");
    QVERIFY(timer2->isEnabled()); // runs from start-up
    timer2->fire();
    QVERIFY(!timer2->isEnabled());
    QVERIFY(win.dialogs.errors.isEmpty());

    w.control<QLineEdit>("Maxrecord")->clear();
    QTest::keyClicks(w.control<QLineEdit>("Maxrecord"), "5a");
    QCOMPARE(w.control<QLineEdit>("Maxrecord")->text(), QStringLiteral("5"));
    w.control<QLineEdit>("Maxrecord")->clear();
    timer2->fire();
    QCOMPARE(win.dialogs.errors, QStringList{"Error|'' is not a valid integer value"});
    QCOMPARE(w.session().pager().PageSize(), 100);
}

void TestWindowRecording::pageButtonsUpdatePageNumber()
{
    Window win;
    TFCOMM &w = *win.w;
    for (int i = 0; i < 250; ++i)
        w.frameReceived(dcVolts("1234"));
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QStringLiteral("3"));
    w.control<QToolButton>("BTPrevious")->click();
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QStringLiteral("2"));
    w.control<QToolButton>("BtFirst")->click();
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QStringLiteral("1"));
    w.frameReceived(dcVolts("1234")); // browsing: the page stays
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QStringLiteral("1"));
    w.control<QToolButton>("BtNext")->click();
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QStringLiteral("2"));
    w.control<QToolButton>("BTlast")->click();
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QStringLiteral("3"));
    QVERIFY(!w.session().pager().Browsing());
}

void TestWindowRecording::newAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("&No keeps the table") << false;
    QTest::newRow("&Yes empties it") << true;
}

void TestWindowRecording::newAsksFirst()
{
    QFETCH(bool, yes);
    Window win;
    TFCOMM &w = *win.w;
    for (int i = 0; i < 120; ++i)
        w.frameReceived(dcVolts("1234"));
    win.dialogs.answer = yes;
    w.control<QToolButton>("RecordNew")->click();
    QCOMPARE(win.dialogs.questions,
             QStringList{"Information|Are you sure that you want to quit this application?"});
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), yes ? 0 : 120);
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), yes ? QStringLiteral("1") : QStringLiteral("2"));
    QCOMPARE(w.measurementLog().RecordNo(), yes ? 1 : 121);
}

void TestWindowRecording::recordLimitMenu()
{
    Window win;
    TFCOMM &w = *win.w;
    w.control<QAction>("N10001")->trigger();
    QCOMPARE(w.measurementLog().MaxRecords(), 1000);
    QVERIFY(w.control<QAction>("N10001")->isChecked() && !w.control<QAction>("N100001")->isChecked());
    w.control<QAction>("limitess")->trigger();
    QCOMPARE(w.measurementLog().MaxRecords(), 10000000);
    QVERIFY(w.control<QAction>("limitess")->isChecked() && !w.control<QAction>("N10001")->isChecked());
}

void TestWindowRecording::samplingIntervalRecordsOnTicks()
{
    Window win;
    TFCOMM &w = *win.w;
    ManualWindowTimer *timer3 = win.timers.value("Timer3");
    w.control<QCheckBox>("RecordSI")->setChecked(true);
    w.control<QLineEdit>("RecordSITime")->setText(QStringLiteral("2"));
    QCOMPARE(timer3->interval(), 2000);
    for (int i = 0; i < 4; ++i)
        w.frameReceived(dcVolts(i % 2 ? "1111" : "2222"));
    QVERIFY(timer3->isEnabled());
    QCOMPARE(timer3->periodStarts(), 1); // frames do not restart a running timer
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), 0);
    timer3->fire();
    timer3->fire(); // no frame since the last tick
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), 1);
    QCOMPARE(cell(w, 0, 3), QStringLiteral("1.111"));

    w.control<QLineEdit>("RecordSITime")->setText(QStringLiteral("0"));
    QCOMPARE(w.control<QLineEdit>("RecordSITime")->text(), QStringLiteral("1"));
    QCOMPARE(timer3->interval(), 1000);
}

void TestWindowRecording::fillSwitchesSeries()
{
    Window win;
    TFCOMM &w = *win.w;
    QVERIFY(w.control<TrendChart>("Chtshow")->isSeriesActive(0) &&
            !w.control<TrendChart>("Chtshow")->isSeriesActive(1));
    w.show();
    w.control<QCheckBox>("BtFill")->click();
    QVERIFY(!w.control<TrendChart>("Chtshow")->isSeriesActive(0) &&
            w.control<TrendChart>("Chtshow")->isSeriesActive(1));
    w.frameReceived(dcVolts("1234")); // a new kind keeps the choice
    QVERIFY(w.control<TrendChart>("Chtshow")->isSeriesActive(1));
}

void TestWindowRecording::enlargeAndRestore()
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.control<QToolButton>("TbFd")->click();
    const QRect outer = w.frameGeometry();
    QCOMPARE(w.control<TrendChart>("Chtshow")->geometry(),
             QRect(2, 28, outer.width() - 12, outer.height() - 55));
    QCOMPARE(w.control<QFrame>("Panel3")->pos(), QPoint(2, 0));
    QVERIFY(!w.control<QFrame>("Panel2")->isVisible() && !w.control<QFrame>("Panel4")->isVisible() &&
            !w.control<QFrame>("Panel5")->isVisible());
    QVERIFY(w.control<QToolButton>("TbSx")->isVisible() && !w.control<QToolButton>("TbFd")->isVisible());

    w.control<QToolButton>("TbSx")->click();
    QCOMPARE(w.control<TrendChart>("Chtshow")->geometry(), QRect(309, 189, 350, 316));
    QCOMPARE(w.control<QFrame>("Panel3")->pos(), QPoint(312, 141));
    QVERIFY(w.control<QFrame>("Panel2")->isVisible() && w.control<QFrame>("Panel4")->isVisible() &&
            w.control<QFrame>("Panel5")->isVisible());
    QVERIFY(w.control<QToolButton>("TbFd")->isVisible() && !w.control<QToolButton>("TbSx")->isVisible());
}

// Regression: a new maximum below the bar's value emptied the bar until the
// next recorded row.
void TestWindowRecording::barStaysFullWhenItsMaximumShrinks()
{
    Window win;
    TFCOMM &w = *win.w;
    w.frameReceived(dcVolts("3500", '4')); // 350.0 V
    const int wide = w.control<QProgressBar>("PBar2")->maximum();
    QCOMPARE(w.control<QProgressBar>("PBar2")->value(), 350);
    QVERIFY(wide > 350);

    // On the timed road no row is recorded, so only the maximum moves.
    w.control<QCheckBox>("RecordSI")->setChecked(true);
    w.frameReceived(dcVolts("1234", '1')); // 1.234 V
    QVERIFY(w.control<QProgressBar>("PBar2")->maximum() < 350);
    QCOMPARE(w.control<QProgressBar>("PBar2")->value(), w.control<QProgressBar>("PBar2")->maximum());

    // Back to the wide range: the bar keeps what it showed.
    const int shown = w.control<QProgressBar>("PBar2")->value();
    w.frameReceived(dcVolts("3500", '4'));
    QCOMPARE(w.control<QProgressBar>("PBar2")->maximum(), wide);
    QCOMPARE(w.control<QProgressBar>("PBar2")->value(), shown);
}

// Regression: a page of one record (page size "1") left the drawn chart on
// its old window while the page number went on counting.
void TestWindowRecording::onePointPageIsDrawn()
{
    Window win;
    TFCOMM &w = *win.w;
    w.control<QLineEdit>("Maxrecord")->setText(QStringLiteral("0")); // becomes 1
    win.timers.value("Timer2")->fire();
    QCOMPARE(w.control<QLineEdit>("Maxrecord")->text(), QStringLiteral("1"));
    for (int i = 0; i < 7; ++i)
        w.frameReceived(dcVolts("1234"));
    QCOMPARE(w.control<QPushButton>("Bt10")->text(), QString::number(w.session().pager().CurrentPage()));
    w.control<TrendChart>("Chtshow")->replot();
    QCOMPARE(w.control<TrendChart>("Chtshow")->xAxis->range().lower, 6.5);
    QCOMPARE(w.control<TrendChart>("Chtshow")->xAxis->range().upper, 7.5);
    QCOMPARE(w.control<TrendChart>("Chtshow")->xAxis->tickVector(), QVector<double>{7.0});

    w.control<QToolButton>("BTPrevious")->click();
    w.control<TrendChart>("Chtshow")->replot();
    QCOMPARE(w.control<TrendChart>("Chtshow")->xAxis->range().center(), 6.0);

    // A wider page goes back to ordinary ticks.
    w.control<QLineEdit>("Maxrecord")->setText(QStringLiteral("50"));
    win.timers.value("Timer2")->fire();
    w.control<TrendChart>("Chtshow")->replot();
    QVERIFY(w.control<TrendChart>("Chtshow")->xAxis->range().size() > 40);
    QVERIFY(w.control<TrendChart>("Chtshow")->xAxis->tickVector().size() > 1);
}

void TestWindowRecording::filteredEditsKeepEditingKeys_data()
{
    QTest::addColumn<QString>("edit");
    for (const char *name : {"RecordSITime", "Maxrecord", "T1HI", "T1LO"})
        QTest::newRow(name) << name;
}

// Regression: X11 delivers Delete with the text "\x7f", which the filter
// swallowed.
void TestWindowRecording::filteredEditsKeepEditingKeys()
{
    QFETCH(QString, edit);
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *field = w.findChild<QLineEdit *>(edit);
    QVERIFY(field);
    field->setFocus();
    const auto send = [&](int key, Qt::KeyboardModifiers modifiers, const QString &text) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QCoreApplication::sendEvent(field, &release);
    };

    field->setText(QStringLiteral("1234"));
    send(Qt::Key_Home, Qt::NoModifier, QString());
    send(Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QCOMPARE(field->text(), QStringLiteral("234"));
    send(Qt::Key_Right, Qt::NoModifier, QString());
    send(Qt::Key_Backspace, Qt::NoModifier, QStringLiteral("\b"));
    QCOMPARE(field->text(), QStringLiteral("34"));
    send(Qt::Key_End, Qt::NoModifier, QString());
    send(Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
    send(Qt::Key_X, Qt::NoModifier, QStringLiteral("x")); // still filtered
    QCOMPARE(field->text(), QStringLiteral("345"));

    send(Qt::Key_A, Qt::ControlModifier, QStringLiteral("\x01"));
    QCOMPARE(field->selectedText(), QStringLiteral("345"));
    send(Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"));
    send(Qt::Key_X, Qt::ControlModifier, QStringLiteral("\x18"));
    QCOMPARE(field->text(), QString());
    send(Qt::Key_Z, Qt::ControlModifier, QStringLiteral("\x1a"));
    QCOMPARE(field->text(), QStringLiteral("345"));
    send(Qt::Key_End, Qt::NoModifier, QString());
    send(Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    QCOMPARE(field->text(), QStringLiteral("345345"));
}

// Regression: the 39-pixel "No." column showed 100000 as "10000".
void TestWindowRecording::eightDigitRecordNumbersShowWhole()
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    w.frameReceived(dcVolts("1234"));
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->columnWidth(0), 39);
    w.session().table().appendRow({10000000, "12:00:00", "DC", "1.234", "V", "AUTO", std::nullopt});
    const int needed =
        w.control<RecordGrid>("DBGrid1")->fontMetrics().horizontalAdvance(QStringLiteral("10000000"));
    QVERIFY(w.control<RecordGrid>("DBGrid1")->columnWidth(0) >= needed + 4);
    const QRect cell =
        w.control<RecordGrid>("DBGrid1")->visualRect(w.control<RecordGrid>("DBGrid1")->model()->index(1, 0));
    QVERIFY(cell.width() >= needed + 4);
}

QTEST_MAIN(TestWindowRecording)
#include "tst_window_recording.moc"

// Regression: the recorded rows, the LCD and the chart were bare widgets to a
// screen reader. What it finds now: the grid as a table whose rows are the
// rows a save writes, the LCD's reading in words, the chart's page.
void TestWindowRecording::screenReaderReadsTheViews()
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    AccessibilityListener listener;
    for (int i = 0; i < 120; ++i)
        w.frameReceived(i % 2 ? dcVolts("1234")
                              : frameHex('+', "0512", '2', Bits::Auto8, 0, Bits::Kilo10, Bits::Ohm11));
    w.frameReceived(dcVolts("0815", '2'));
    QCoreApplication::processEvents(); // the chart's axes follow on the next pass

    QAccessibleInterface *lcd = QAccessible::queryAccessibleInterface(w.control<LcdPanel>("Panel1"));
    QCOMPARE(lcd->text(QAccessible::Name), QStringLiteral("Meter display"));
    QCOMPARE(lcd->text(QAccessible::Value), QStringLiteral("DC 08.15 V, Manual range"));
    const auto lcdEvents = listener.eventsOf(w.control<LcdPanel>("Panel1"), QAccessible::ValueChanged);
    QVERIFY(!lcdEvents.isEmpty());
    QCOMPARE(lcdEvents.last().value.toString(), QStringLiteral("DC 08.15 V, Manual range"));

    QAccessibleInterface *chart = QAccessible::queryAccessibleInterface(w.control<TrendChart>("Chtshow"));
    QCOMPARE(chart->role(), QAccessible::Chart);
    QCOMPARE(chart->text(QAccessible::Name), QStringLiteral("Trend chart"));
    QCOMPARE(chart->text(QAccessible::Description),
             QStringLiteral("Page 2 of 2, records 101 to 200, values -40 to 40"));
    QVERIFY(!listener.eventsOf(w.control<TrendChart>("Chtshow"), QAccessible::DescriptionChanged).isEmpty());

    QAccessibleInterface *grid = QAccessible::queryAccessibleInterface(w.control<RecordGrid>("DBGrid1"));
    QCOMPARE(grid->text(QAccessible::Name), QStringLiteral("Recorded readings"));
    QAccessibleTableInterface *table = grid->tableInterface();
    QCOMPARE(table->rowCount(), 121);
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column) {
            const QString text = table->cellAt(row, column)->text(QAccessible::Name);
            cells << (text.isEmpty() && column > 0 ? QStringLiteral("NULL") : text);
        }
        const QByteArray saved = TableTextFile::rowLine(w.session().table().row(row));
        // The grid shows the segment font's symbols as the characters they draw.
        QCOMPARE(cells.join(QLatin1Char('\t')), segmentTextToUnicode(QString::fromLatin1(saved.chopped(2))));
    }
    QCOMPARE(table->selectedRows(), QList<int>{120});
}
