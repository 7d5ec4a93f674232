#include "table_files_rig.h"

#include "record/safe_file.h"
#include "record/table_text_file.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kHeader = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n";

QByteArray written(const MeasurementTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TableTextFile::write(buffer, table, table.rowCount());
    return buffer.data();
}

} // namespace

class TestTableTextFile : public QObject {
    Q_OBJECT
private slots:
    void writesTheGoldenFile();
    void emptyTableIsTheHeaderAlone();
    void bigTableIsWrittenLineByLine();
    void everyWrittenFileLoadsBackCellForCell();
    void readerRules_data();
    void readerRules();
    void eightBitTextRoundTripsByteForByte();
    void fileReadInPartsGivesTheRowsOfTheWholeText_data();
    void fileReadInPartsGivesTheRowsOfTheWholeText();
    void loadingAppendsAfterExistingRows();
    void rowLimitKeepsTheRowsBeforeIt_data();
    void rowLimitKeepsTheRowsBeforeIt();
    void badFilesAreRefusedWithAReason_data();
    void badFilesAreRefusedWithAReason();
    void failedSaveLeavesTheOldFile_data();
    void failedSaveLeavesTheOldFile();
    void extensionIsTakenFromTheFileName_data();
    void extensionIsTakenFromTheFileName();
};

void TestTableTextFile::writesTheGoldenFile()
{
    const QByteArray golden = fileBytes(QStringLiteral(HALVERN_TEST_DATA "/small_table.xls"));
    QVERIFY(!golden.isEmpty());
    QCOMPARE(written(goldenTable()), golden);

    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("t.xls"));
    QVERIFY(TableTextFile::save(name, goldenTable(), 3).ok);
    QCOMPARE(fileBytes(name), golden);
}

void TestTableTextFile::emptyTableIsTheHeaderAlone()
{
    const MeasurementTable empty;
    QCOMPARE(written(empty), kHeader);
    MeasurementTable loaded;
    QVERIFY(TableTextFile::parse(kHeader, loaded).ok);
    QCOMPARE(loaded.rowCount(), 0);
}

// The writer encodes each distinct text once and gathers lines into chunks;
// the file must still be the header and every row's own line, in order.
void TestTableTextFile::bigTableIsWrittenLineByLine()
{
    const MeasurementTable table = bigTable();
    QByteArray expected = TableTextFile::headerLine();
    for (int r = 0; r < table.rowCount(); ++r)
        expected += TableTextFile::rowLine(table.row(r));
    QVERIFY(expected.size() > 3 << 20);
    QCOMPARE(written(table), expected);
}

// Regression: a 12-hour time ("9:05:07 PM") split into two cells and made
// the file unloadable; quoting keeps it one cell.
void TestTableTextFile::everyWrittenFileLoadsBackCellForCell()
{
    MeasurementTable loaded;
    const FileResult result = TableTextFile::parse(written(goldenTable()), loaded);
    QVERIFY2(result.ok, qPrintable(result.reason));
    // Empty texts come back as "NULL", NUL/CR/LF inside a text as blanks,
    // leading and trailing blanks and controls trimmed; NVal is not written.
    QCOMPARE(dump(loaded), QStringList({"1|09:05:07|DC|1.234|V|pass|~+",
                                        "2|9:05:07 PM|NULL|-0.012|k*|Fail|~+", "~|x|AC|<&\"'>|\\|a  b|~+"}));
    QCOMPARE(written(loaded), written(goldenTable()));
}

void TestTableTextFile::readerRules_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("rows"); // empty with a reason: the load fails
    QTest::addColumn<QString>("reason");
    const QByteArray h = kHeader;
    const QString ok;
    QTest::newRow("runs of tabs and blanks separate once")
        << h + "1\t\t09:05:07  \t DC\t1.2\tV\tpass\r\n"
        << QStringList{"1|09:05:07|DC|1.2|V|pass|~+"} << ok;
    QTest::newRow("quotes with a doubled quote") << h + "7\t\"a \"\"b\"\"\"\tAC\r\n"
                                                 << QStringList{"7|a \"b\"|AC|~|~|~|~+"} << ok;
    QTest::newRow("NULL stays a text") << h + "1\tNULL\r\n" << QStringList{"1|NULL|~|~|~|~|~+"} << ok;
    QTest::newRow("seven cells fill NVal") << h + "1 a b c d e -5\r\n"
                                           << QStringList{"1|a|b|c|d|e|-5+"} << ok;
    QTest::newRow("quoted empty No is null") << h + "\"\"\tx\r\n" << QStringList{"~|x|~|~|~|~|~+"} << ok;
    QTest::newRow("first line is never examined")
        << QByteArray("1\tx\r\n2\ty\r\n") << QStringList{"2|y|~|~|~|~|~+"} << ok;
    QTest::newRow("CR, LF and CR LF end lines")
        << QByteArray("h\r1\n2\r\n\r\n3") << QStringList{"1|~|~|~|~|~|~+", "2|~|~|~|~|~|~+", "3|~|~|~|~|~|~+"}
        << ok;
    QTest::newRow("blank lines are skipped") << h + " \t \r\n\r\n5\r\n"
                                             << QStringList{"5|~|~|~|~|~|~+"} << ok;
    QTest::newRow("NUL ends the text")
        << h + QByteArray("1\r\n2\0\r\n3\r\n", 10) << QStringList{"1|~|~|~|~|~|~+", "2|~|~|~|~|~|~+"} << ok;
    QTest::newRow("texts cut to 20") << h + "1\t" + QByteArray(60000, 'x') + "\r\n"
                                     << QStringList{"1|" + QString(20, 'x') + "|~|~|~|~|~+"} << ok;
    QTest::newRow("longest line") << h + "1\t" + QByteArray(TableTextFile::MaxLineBytes - 2, 'x') + "\r\n"
                                  << QStringList{"1|" + QString(20, 'x') + "|~|~|~|~|~+"} << ok;
    QTest::newRow("a line longer than any row")
        << h + "1\t" + QByteArray(TableTextFile::MaxLineBytes - 1, 'x') + "\r\n"
        << QStringList() << "Line 2 is longer than 64 KiB; no row of a table is that long.";
    QTest::newRow("unclosed quote runs to the line end") << h + "1\t\"a b\r\n"
                                                         << QStringList{"1|a b|~|~|~|~|~+"} << ok;
    QTest::newRow("empty file") << QByteArray() << QStringList() << "The file is empty.";
    QTest::newRow("NUL first") << QByteArray("\0abc", 4) << QStringList() << "The file is empty.";
    QTest::newRow("unquoted 12-hour time of old files")
        << h + "1\t9:05:07 PM\tDC\t1.2\tV\tpass\r\n"
        << QStringList() << "Line 2: \"pass\" is not a whole number for the field NVal.";
    QTest::newRow("more than seven cells") << h + "1 2 3 4 5 6 7 8\r\n"
                                           << QStringList() << "Line 2 holds more than seven cells.";
    QTest::newRow("No not an integer")
        << h + "1\r\nx1\r\n"
        << QStringList() << "Line 3: \"x1\" is not a whole number for the field No.";
    QTest::newRow("No beyond 32 bits")
        << h + "2147483648\r\n"
        << QStringList() << "Line 2: \"2147483648\" is not a whole number for the field No.";
    QTest::newRow("line of 60000 characters as No")
        << h + QByteArray(60000, '7') + "\r\n"
        << QStringList() << "Line 2: \"" + QString(40, '7') + "...\" is not a whole number for the field No.";
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk.append(char((i * 131 + 7) % 251 + 1));
    QTest::newRow("binary junk") << h + junk << QStringList() << "";
}

void TestTableTextFile::readerRules()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, rows);
    QFETCH(QString, reason);
    MeasurementTable table;
    const FileResult result = TableTextFile::parse(text, table);
    if (rows.isEmpty()) {
        QVERIFY(!result.ok);
        if (!reason.isEmpty())
            QCOMPARE(result.reason, reason);
        QVERIFY(!result.reason.isEmpty());
    } else {
        QVERIFY2(result.ok, qPrintable(result.reason));
        QCOMPARE(dump(table), rows);
    }
}

void TestTableTextFile::eightBitTextRoundTripsByteForByte()
{
    const QByteArray text = kHeader + "1\t\xb5V\t\xe4\xf6\xfc\t\x80\x9f\xff\tx\ty\r\n";
    MeasurementTable table;
    QVERIFY(TableTextFile::parse(text, table).ok);
    QCOMPARE(table.text(0, MeasurementTable::Time), QStringLiteral("µV"));
    QCOMPARE(written(table), text);

    MeasurementTable wide;
    wide.appendRow({1, QStringLiteral("오후 9:05"), {}, {}, {}, {}, {}});
    QCOMPARE(written(wide), kHeader + "1\t\"?? 9:05\"\tNULL\tNULL\tNULL\tNULL\r\n");
}

// A file is read a megabyte at a time; what straddles two reads must come
// out as it does from the text in one piece.
void TestTableTextFile::fileReadInPartsGivesTheRowsOfTheWholeText_data()
{
    constexpr int kRead = 1 << 20;
    QTest::addColumn<QByteArray>("text");
    const auto upTo = [](int end, const QByteArray &tail) {
        QByteArray text = kHeader;
        for (int no = 1; text.size() < end - 40; ++no)
            text += QByteArray::number(no) + "\t12:00:01\tDC\t1.234\tV\tpass\r\n";
        text += QByteArray(end - text.size(), ' ');
        return text + tail;
    };
    // The bad line's number in the reason shows the pair counted once.
    QTest::newRow("CR LF split between reads") << upTo(kRead - 1, "\r\n7\tlast\r\nbad\r\n");
    QTest::newRow("lone CR at a read's end") << upTo(kRead - 1, "\r8\tlast\r\n");
    QTest::newRow("a long line across a read's end")
        << upTo(kRead - 30000, "\r\n9\t" + QByteArray(60000, 'x') + "\tV\r\n10\tafter\r\n");
    // Before: every read scanned the whole line gathered so far again.
    QTest::newRow("a line longer than a read")
        << upTo(kRead / 2, "\r\n9\t" + QByteArray(kRead + 5000, 'x') + "\tV\r\n10\tafter\r\n");
    QTest::newRow("NUL in a later read")
        << upTo(kRead + 100, "\r\n11\tcut" + QByteArray(1, '\0') + "\r\n12\tnever\r\n");
    QTest::newRow("no line end at the end") << upTo(kRead + 3, "\r\n13\tend");
}

void TestTableTextFile::fileReadInPartsGivesTheRowsOfTheWholeText()
{
    QFETCH(QByteArray, text);
    MeasurementTable whole;
    const FileResult wholeResult = TableTextFile::parse(text, whole);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("big.xls"));
    QVERIFY(writeBytes(name, text));
    MeasurementTable read;
    const FileResult readResult = TableTextFile::load(name, read);
    QCOMPARE(readResult.ok, wholeResult.ok);
    QCOMPARE(readResult.reason, wholeResult.reason);
    QVERIFY(whole.rowCount() > 1000);
    QCOMPARE(dump(read), dump(whole));
}

void TestTableTextFile::loadingAppendsAfterExistingRows()
{
    MeasurementTable staged;
    QVERIFY(TableTextFile::parse(kHeader + "1\tb\r\n", staged).ok);
    MeasurementTable table;
    table.appendRow({5, "a", {}, {}, {}, {}, {}}, false);
    table.appendRows(staged, 0, staged.rowCount());
    QCOMPARE(dump(table), QStringList({"5|a|~|~|~|~|~", "1|b|~|~|~|~|~+"}));
    QCOMPARE(table.loggedCount(), 1);
}

void TestTableTextFile::rowLimitKeepsTheRowsBeforeIt_data()
{
    QTest::addColumn<int>("held");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("reason");
    const QByteArray five = kHeader + "1\r\n2\r\n\r\n3\r\n4\r\n5\r\n";
    const QString full =
        QStringLiteral("Line %1: the table holds at most 3 rows; this line and the lines after it "
                       "were not loaded.");
    QTest::newRow("empty table") << 0 << five << 3 << full.arg(6);
    QTest::newRow("a row held") << 1 << five << 2 << full.arg(5);
    QTest::newRow("full before the load") << 3 << five << 0 << full.arg(2);
    QTest::newRow("exactly to the limit, blank lines after")
        << 0 << QByteArray(kHeader + "1\r\n2\r\n3\r\n\r\n \r\n") << 3 << QString();
}

// Before: no limit; 90 MB of one-cell rows took a gigabyte, and past 6.4 GB the row count would overflow.
void TestTableTextFile::rowLimitKeepsTheRowsBeforeIt()
{
    QFETCH(int, held);
    QFETCH(QByteArray, text);
    QFETCH(int, rows);
    QFETCH(QString, reason);
    const TableTextFile::RowLimit limit{3, held};
    MeasurementTable parsed;
    const FileResult parseResult = TableTextFile::parse(text, parsed, nullptr, limit);
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("rows.xls"));
    QVERIFY(writeBytes(name, text));
    MeasurementTable loaded;
    const FileResult loadResult = TableTextFile::load(name, loaded, nullptr, limit);
    for (const auto &[result, table] : {std::pair{parseResult, &parsed}, std::pair{loadResult, &loaded}}) {
        QCOMPARE(result.ok, reason.isEmpty());
        QCOMPARE(result.reason, reason);
        QCOMPARE(table->rowCount(), rows);
    }
    QCOMPARE(TableTextFile::RowLimit().maxRows, 10000000);
}

void TestTableTextFile::badFilesAreRefusedWithAReason_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "missing.xls"
                             << "The file does not exist.";
    QTest::newRow("a folder") << "folder"
                              << "The name is a folder, not a file.";
    QTest::newRow("no permission") << "locked.xls"
                                   << "";
    // Would read without end, or block the window waiting for a writer.
    QTest::newRow("a device") << "/dev/zero"
                              << "The name is a device or a pipe, not a file.";
    QTest::newRow("a pipe") << "pipe.xls"
                            << "The name is a device or a pipe, not a file.";
}

void TestTableTextFile::badFilesAreRefusedWithAReason()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    if (name == "locked.xls" && geteuid() == 0)
        QSKIP("root reads every file");
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
    const QString locked = dir.filePath(QStringLiteral("locked.xls"));
    QVERIFY(writeBytes(locked, kHeader + "1\r\n"));
    QFile::setPermissions(locked, QFileDevice::WriteOwner);
    QCOMPARE(mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("pipe.xls"))).constData(), 0600), 0);

    MeasurementTable table;
    const FileResult result =
        TableTextFile::load(QDir::isAbsolutePath(name) ? name : dir.filePath(name), table);
    QVERIFY(!result.ok);
    QVERIFY(!result.reason.isEmpty());
    if (!reason.isEmpty())
        QCOMPARE(result.reason, reason);
    QCOMPARE(table.rowCount(), 0);
}

void TestTableTextFile::failedSaveLeavesTheOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the writer stops halfway") << "halfway";
    QTest::newRow("the disk fills up (file size limit)") << "full";
    QTest::newRow("read-only folder") << "readonly";
    QTest::newRow("a folder as name") << "folder";
    QTest::newRow("a pipe as name") << "pipe";
}

void TestTableTextFile::failedSaveLeavesTheOldFile()
{
    QFETCH(QString, how);
    if (how == "readonly" && geteuid() == 0)
        QSKIP("root writes into every folder");
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("old.xls"));
    const QByteArray old = "the user's earlier table\r\n";
    QVERIFY(writeBytes(name, old));

    FileResult result;
    if (how == "halfway") {
        result = saveFileSafely(name, [](QIODevice &out) {
            out.write("No\tTime");
            return false;
        });
    } else if (how == "full") {
        MeasurementTable big;
        for (int i = 0; i < 20000; ++i)
            big.appendRow({i, "09:05:07", "DC", QString::number(i), "V", "pass", {}});
        // Writes past 64 KiB fail with EFBIG, as they would with ENOSPC.
        const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit oldLimit{};
        getrlimit(RLIMIT_FSIZE, &oldLimit);
        rlimit limit = oldLimit;
        limit.rlim_cur = 64 * 1024;
        setrlimit(RLIMIT_FSIZE, &limit);
        result = TableTextFile::save(name, big, big.rowCount());
        setrlimit(RLIMIT_FSIZE, &oldLimit);
        signal(SIGXFSZ, oldHandler);
    } else if (how == "readonly") {
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        result = TableTextFile::save(name, goldenTable(), 3);
        QFile::setPermissions(dir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    } else if (how == "pipe") {
        const QString pipe = dir.filePath(QStringLiteral("pipe.xls"));
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        result = TableTextFile::save(pipe, goldenTable(), 3);
        QVERIFY(!QFileInfo(pipe).isFile()); // not replaced by a file
    } else {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub.xls")));
        result = TableTextFile::save(dir.filePath(QStringLiteral("sub.xls")), goldenTable(), 3);
    }
    QVERIFY(!result.ok);
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(fileBytes(name), old);
    if (how != "folder" && how != "pipe")
        QVERIFY2(result.reason.endsWith(" The existing file was left unchanged."), qPrintable(result.reason));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old.xls"}); // no temporary left over
}

void TestTableTextFile::extensionIsTakenFromTheFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::newRow("xml") << "/tmp/a.xml"
                         << ".xml";
    QTest::newRow("upper case") << "/tmp/data.XML"
                                << ".XML";
    QTest::newRow("last dot") << "/tmp/a.b.xls"
                              << ".xls";
    QTest::newRow("dot only in folder") << "/tmp/v1.0/data"
                                        << "";
    QTest::newRow("none") << "data"
                          << "";
}

void TestTableTextFile::extensionIsTakenFromTheFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QCOMPARE(fileExtension(name), extension);
}

QTEST_GUILESS_MAIN(TestTableTextFile)
#include "tst_table_text_file.moc"
