#include "window_rig.h"

#include "meter/frame_builder.h"
#include "record/measurement_log.h"
#include "ui/trend_chart.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

QString dcVolts(const char *digits)
{
    return frameHex('+', digits, '1', Bits::Dc8, 0, 0, Bits::Volt11);
}

QString kiloOhms(const char *digits)
{
    return frameHex('+', digits, '2', Bits::Auto8, 0, Bits::Kilo10, Bits::Ohm11);
}

// The grid as the user reads it, one "a|b|c|d|e|f" line per row.
QStringList grid(const TFCOMM &w)
{
    QStringList rows;
    const QAbstractItemModel *model = w.control<RecordGrid>("DBGrid1")->model();
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->index(r, c).data().toString();
        rows << cells.join('|');
    }
    return rows;
}

void recordSome(Window &win)
{
    TFCOMM &w = *win.w;
    w.frameReceived(dcVolts("1234"));
    w.frameReceived(kiloOhms("0567"));
    // The timed road in a 12-hour locale: "9:05:07 PM" style times.
    win.locale.setUserLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    w.control<QCheckBox>("RecordSI")->setChecked(true);
    w.frameReceived(dcVolts("0042"));
    win.timers.value("Timer3")->fire();
    w.control<QCheckBox>("RecordSI")->setChecked(false);
}

QByteArray fileBytes(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int pdfPages(const QString &name)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral(R"(/Type\s*/Pages\b[^>]*?/Count\s+(\d+))"))
            .match(QString::fromLatin1(fileBytes(name)));
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

} // namespace

class TestTableFileActions : public QObject {
    Q_OBJECT
private slots:
    void dialogsShowTheirFilters();
    void cancelledDialogsDoNothing();
    void recordSaveNewLoadShowsTheSameRows_data();
    void recordSaveNewLoadShowsTheSameRows();
    void textLoadAppendsAndLeavesRecordingNumbers();
    void failedLoadsKeepTheTable_data();
    void failedLoadsKeepTheTable();
    void framesDuringALoadAreKept();
    void failedSaveSaysTheOldFileStays();
    void chartPictureHasTheChartsSize();
    void printPreviewListsTheRowsOfThePress();
    void failedXmlSaveReachesTheErrorReport();
    void savedPacketMarksRecordedRows();
    void currentRowAfterSaveLoadAndPrint();
};

void TestTableFileActions::dialogsShowTheirFilters()
{
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    win.dialogs.saveNames = {dir.filePath("a.xls")};
    win.dialogs.openNames = {dir.filePath("a.xls")};
    w.control<QToolButton>("saveas")->click();
    w.control<QToolButton>("OpenDataFiles")->click();
    w.control<QToolButton>("OpenDataFiles")->click(); // cancelled; shown with the last chosen name
    w.control<QToolButton>("BtSave")->click();
    const QList<FileDialogOptions> &d = win.dialogs.fileDialogs;
    QCOMPARE(d.size(), 4);
    QCOMPARE(d[0].filter,
             QStringLiteral("save Excel File(*.xls)|*.xls|XML(*.xml)|*.xml|Txt File(*.txt)|*.txt"));
    QCOMPARE(d[0].defaultSuffix, QStringLiteral("xls"));
    QVERIFY(d[0].selectedName.isEmpty() && d[0].confirmOverwrite);
    QCOMPARE(d[1].filter,
             QStringLiteral("open Excel File(*.xls)|*.xls|XML (*.xml)|*.xml|Txt File(*.txt)|*.txt"));
    QVERIFY(d[1].defaultSuffix.isEmpty() && d[1].selectedName.isEmpty() && !d[1].confirmOverwrite);
    QCOMPARE(d[2].selectedName, dir.filePath("a.xls"));
    QCOMPARE(d[3].filter, QStringLiteral("save Bitmaps (*.bmp)|*.bmp"));
    QVERIFY(d[3].confirmOverwrite);

    QCOMPARE(nameFilters(d[1].filter.mid(5)),
             QStringList({"Excel File(*.xls)", "XML (*.xml)", "Txt File(*.txt)"}));
    QCOMPARE(nameFilters(QStringLiteral("All|*.*;*.x")), QStringList{"All (*.* *.x)"});
}

void TestTableFileActions::cancelledDialogsDoNothing()
{
    Window win;
    TFCOMM &w = *win.w;
    w.frameReceived(dcVolts("1234"));
    for (QToolButton *button : {w.control<QToolButton>("saveas"), w.control<QToolButton>("OpenDataFiles"),
                                w.control<QToolButton>("BtSave")})
        button->click();
    QCOMPARE(win.dialogs.fileDialogs.size(), 3);
    QVERIFY(win.dialogs.infos.isEmpty() && win.dialogs.errors.isEmpty());
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), 1);
}

void TestTableFileActions::recordSaveNewLoadShowsTheSameRows_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("text") << "table.xls";
    QTest::newRow("XML packet") << "table.xml";
    QTest::newRow("upper-case XML is text") << "table.XML";
}

void TestTableFileActions::recordSaveNewLoadShowsTheSameRows()
{
    QFETCH(QString, name);
    Window win;
    TFCOMM &w = *win.w;
    recordSome(win);
    const QStringList before = grid(w);
    QCOMPARE(before.size(), 3);
    QVERIFY(before[2].contains(QRegularExpression(" [AP]M\\|"))); // a 12-hour time

    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    win.dialogs.saveNames = {path};
    w.control<QToolButton>("saveas")->click();
    QCOMPARE(win.dialogs.infos, QStringList{"Information|Save table to specified file: " + path + " Scuss!"});
    QCOMPARE(fileBytes(path).startsWith("<?xml"), name.endsWith(".xml"));

    win.dialogs.answer = true;
    w.control<QToolButton>("RecordNew")->click();
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), 0);

    win.dialogs.openNames = {path};
    w.control<QToolButton>("OpenDataFiles")->click();
    QVERIFY2(win.dialogs.errors.isEmpty(), qPrintable(win.dialogs.errors.join('\n')));
    QCOMPARE(grid(w), before);
    QCOMPARE(win.dialogs.progress.first(), "Saving " + name + " ...");
    QCOMPARE(win.dialogs.progress.last(), QStringLiteral("end"));
}

void TestTableFileActions::textLoadAppendsAndLeavesRecordingNumbers()
{
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    const QString path = dir.filePath("t.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n7\t10:00:00\tAC\t2.000\tV\tFail\r\n");
    file.close();

    w.frameReceived(dcVolts("1234"));
    win.dialogs.openNames = {path};
    w.control<QToolButton>("OpenDataFiles")->click();
    w.frameReceived(dcVolts("1235"));
    const QStringList rows = grid(w);
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[1].startsWith("7|10:00:00|AC|2.000|V|Fail"));
    QVERIFY(rows[2].startsWith("2|")); // recording goes on with its own numbers
    QCOMPARE(w.measurementLog().RecordedRows(), 2);
}

void TestTableFileActions::failedLoadsKeepTheTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QStringList>("kept"); // Nos of the file's rows that stay
    const QByteArray rows = "No\r\n1\r\n2\r\nx\r\n";
    // Before: all or nothing, the rows before the bad line were dropped too.
    QTest::newRow("text failing at its third row")
        << "bad.xls" << rows << "Line 4: \"x\" is not a whole number for the field No."
        << QStringList{"1", "2"};
    QTest::newRow("text failing at its first row")
        << "bad.txt" << QByteArray("No\r\nx\r\n1\r\n")
        << "Line 2: \"x\" is not a whole number for the field No." << QStringList{};
    QTest::newRow("empty text") << "empty.txt" << QByteArray() << "The file is empty." << QStringList{};
    QTest::newRow("truncated packet")
        << "cut.xml" << QByteArray("<?xml version=\"1.0\"?><DATAPACKET Version=\"2.0\"><METADATA>")
        << "The packet is incomplete." << QStringList{};
    QTest::newRow("missing") << "none.xml" << QByteArray("-") << "The file does not exist." << QStringList{};
}

// A packet that fails adds nothing; a text file that fails keeps the rows of the lines before the failing
// one.
void TestTableFileActions::failedLoadsKeepTheTable()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QFETCH(QStringList, kept);
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (bytes != "-") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    w.frameReceived(dcVolts("1234"));
    const QStringList before = grid(w);
    win.dialogs.openNames = {path};
    w.control<QToolButton>("OpenDataFiles")->click();
    QCOMPARE(win.dialogs.errors, QStringList{"Error|Failed to Load File!|" + reason});
    const QStringList after = grid(w);
    QCOMPARE(after.mid(0, before.size()), before);
    QStringList nos;
    for (const QString &row : after.mid(before.size()))
        nos << row.section('|', 0, 0);
    QCOMPARE(nos, kept);
    w.frameReceived(dcVolts("1235")); // still usable
    QCOMPARE(grid(w).size(), after.size() + 1);
}

void TestTableFileActions::framesDuringALoadAreKept()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("big.xml");
    {
        Window source; // one window at a time: the program has one HID controller
        for (int i = 0; i < 10000; ++i)
            source.w->frameReceived(dcVolts(i % 2 ? "1111" : "2222"));
        source.dialogs.saveNames = {path};
        source.w->control<QToolButton>("saveas")->click();
    }

    Window win;
    TFCOMM &w = *win.w;
    w.frameReceived(dcVolts("0001")); // replaced by the packet
    int frames = 0;
    win.dialogs.duringProgress = [&] {
        if (frames++ < 2)
            w.frameReceived(dcVolts("0042"));
    };
    win.dialogs.openNames = {path};
    w.control<QToolButton>("OpenDataFiles")->click();
    const QStringList rows = grid(w);
    QCOMPARE(frames > 0, true);
    QCOMPARE(rows.size(), 10000 + 2);
    QVERIFY(rows.last().contains("|0.042|"));
    QVERIFY(rows.first().startsWith("1|"));
}

void TestTableFileActions::failedSaveSaysTheOldFileStays()
{
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("taken.xls"));
    win.dialogs.saveNames = {dir.filePath("taken.xls"), dir.filePath("taken.xls")};
    w.frameReceived(dcVolts("1234"));
    w.control<QToolButton>("saveas")->click();
    QCOMPARE(win.dialogs.errors,
             QStringList{"Error|Could not save table to specified file: " + dir.filePath("taken.xls") +
                         "|The name is a folder, not a file."});
    QVERIFY(win.dialogs.infos.isEmpty());
    w.control<QToolButton>("BtSave")->click();
    QCOMPARE(win.dialogs.errors.size(), 2);
    QVERIFY(win.dialogs.errors[1].startsWith("Error|Cannot save the graphic to "));
}

void TestTableFileActions::chartPictureHasTheChartsSize()
{
    Window win;
    TFCOMM &w = *win.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTemporaryDir dir;
    const QString path = dir.filePath("chart.bmp");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();

    win.dialogs.saveNames = {path};
    w.control<QToolButton>("BtSave")->click();
    QCOMPARE(win.dialogs.infos, QStringList{"Information|Graphic has saved on " + path});
    QImage normal(path, "bmp");
    QCOMPARE(normal.size(), QSize(350, 316));

    w.control<QToolButton>("TbFd")->click();
    win.dialogs.saveNames = {path};
    w.control<QToolButton>("BtSave")->click();
    QImage enlarged(path, "bmp");
    QCOMPARE(enlarged.size(), w.control<TrendChart>("Chtshow")->size());
    QVERIFY(enlarged.width() > 350);
    QVERIFY(fileBytes(path).startsWith("BM"));
}

void TestTableFileActions::printPreviewListsTheRowsOfThePress()
{
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    win.dialogs.previewPdf = dir.filePath("report.pdf");
    w.control<QToolButton>("BtPrint")->click();
    QCOMPARE(win.dialogs.previews, QStringList{"Print Preview"});
    QVERIFY(!QFile::exists(win.dialogs.previewPdf)); // no pages for an empty table

    for (int i = 0; i < 37; ++i) // a full page
        w.frameReceived(kiloOhms("0567"));
    // Recording goes on while the preview is open; the report keeps to the rows of the press.
    win.dialogs.duringPreview = [&] {
        for (int i = 0; i < 3; ++i)
            w.frameReceived(kiloOhms("0568"));
    };
    win.dialogs.previewPdf = dir.filePath("report2.pdf");
    w.control<QToolButton>("BtPrint")->click();
    QCOMPARE(w.control<RecordGrid>("DBGrid1")->model()->rowCount(), 40);
    QCOMPARE(pdfPages(win.dialogs.previewPdf), 1);
}

// A packet that cannot be written: the general error box with the reason,
// no success message, the table as it was.
void TestTableFileActions::failedXmlSaveReachesTheErrorReport()
{
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("taken.xml"));
    w.frameReceived(dcVolts("1234"));
    const QStringList before = grid(w);
    win.dialogs.saveNames = {dir.filePath("taken.xml")};
    w.control<QToolButton>("saveas")->click();
    QCOMPARE(win.dialogs.errors.size(), 1);
    QVERIFY2(win.dialogs.errors[0].contains(dir.filePath("taken.xml")) &&
                 win.dialogs.errors[0].contains("The name is a folder, not a file."),
             qPrintable(win.dialogs.errors[0]));
    QVERIFY(win.dialogs.infos.isEmpty());
    QCOMPARE(grid(w), before);
    QVERIFY(QFileInfo(dir.filePath("taken.xml")).isDir());
}

// Every appended row (recorded or loaded from text) is in the packet's
// change log until New empties the table.
void TestTableFileActions::savedPacketMarksRecordedRows()
{
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    w.frameReceived(dcVolts("1234"));
    w.frameReceived(kiloOhms("0567"));
    const QString text = dir.filePath("two.txt");
    win.dialogs.saveNames = {text};
    w.control<QToolButton>("saveas")->click();
    win.dialogs.openNames = {text};
    w.control<QToolButton>("OpenDataFiles")->click();

    const QString packet = dir.filePath("four.xml");
    win.dialogs.saveNames = {packet};
    w.control<QToolButton>("saveas")->click();
    const QByteArray bytes = fileBytes(packet);
    QVERIFY2(bytes.contains("<PARAMS CHANGE_LOG=\"1 0 4 2 0 4 3 0 4 4 0 4\"/>"), bytes.constData());
    QCOMPARE(bytes.count("<ROW RowState=\"4\" No=\""), 4);
    QVERIFY(bytes.contains("<ROW RowState=\"4\" No=\"1\" Time=\""));
    QVERIFY(!bytes.contains("NVal=")); // recorded rows never carry it

    win.dialogs.answer = true;
    w.control<QToolButton>("RecordNew")->click();
    w.frameReceived(dcVolts("0042"));
    win.dialogs.saveNames = {packet};
    w.control<QToolButton>("saveas")->click();
    QVERIFY(fileBytes(packet).contains("<PARAMS CHANGE_LOG=\"1 0 4\"/>"));
    win.dialogs.answer = true;
    w.control<QToolButton>("RecordNew")->click();
    win.dialogs.saveNames = {packet};
    w.control<QToolButton>("saveas")->click();
    QVERIFY(fileBytes(packet).contains("<PARAMS/></METADATA><ROWDATA></ROWDATA>"));
}

// Where the grid's current row lands: a text save walks the table to its
// last row, a packet's load starts at its first, the report's preparation
// ends at the last.
void TestTableFileActions::currentRowAfterSaveLoadAndPrint()
{
    Window win;
    TFCOMM &w = *win.w;
    QTemporaryDir dir;
    for (const char *digits : {"0001", "0002", "0003", "0004", "0005"})
        w.frameReceived(dcVolts(digits));
    const auto current = [&] { return w.control<RecordGrid>("DBGrid1")->currentIndex().row(); };
    w.control<RecordGrid>("DBGrid1")->setCurrentIndex(w.control<RecordGrid>("DBGrid1")->model()->index(1, 0));
    QCOMPARE(current(), 1);

    win.dialogs.saveNames = {dir.filePath("t.xls")};
    w.control<QToolButton>("saveas")->click();
    QCOMPARE(current(), 4);

    win.dialogs.saveNames = {dir.filePath("t.xml")};
    w.control<QToolButton>("saveas")->click();
    win.dialogs.openNames = {dir.filePath("t.xml")};
    w.control<QToolButton>("OpenDataFiles")->click();
    QVERIFY(win.dialogs.errors.isEmpty());
    QCOMPARE(current(), 0);

    win.dialogs.previewPdf = dir.filePath("report.pdf");
    w.control<QToolButton>("BtPrint")->click();
    QCOMPARE(current(), 4);
}

QTEST_MAIN(TestTableFileActions)
#include "tst_table_file_actions.moc"
