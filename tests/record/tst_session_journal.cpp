#include "record/measurement_table.h"
#include "record/session_journal.h"
#include "record/window_timer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestSessionJournal : public QObject {
    Q_OBJECT

private slots:
    void rowsReachTheFileOnlyAtTheFlush();
    void newAndSaveLeaveNoUnsavedRows();
    void normalEndRemovesTheFile();
    void deadSessionsRowsAreOffered_data();
    void deadSessionsRowsAreOffered();
    void recoveredRowsLoadAndStay();
    void setAsideKeepsTheRowsUnderTheDate();
    void twoProgramsNeverShareAJournal();
    void unwritableFolderMeansNoJournal();
};

namespace {

TableRow reading(int no, const QString &value = QStringLiteral("1.234"))
{
    TableRow row;
    row.No = no;
    row.Time = QStringLiteral("09:05:07");
    row.DcAc = QStringLiteral("DC");
    row.Value = value;
    row.Unit = QStringLiteral("V");
    row.Auto = QStringLiteral("pass");
    return row;
}

QByteArray contents(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QByteArray kHeader = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n";

} // namespace

void TestSessionJournal::rowsReachTheFileOnlyAtTheFlush()
{
    QTemporaryDir dir;
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QVERIFY(journal.isOpen());
    QCOMPARE(contents(journal.fileName()), kHeader);
    QVERIFY(!timer.isEnabled()); // no wake-ups while nothing waits

    journal.append(reading(1));
    QVERIFY(timer.isEnabled());
    QCOMPARE(timer.interval(), 1000);
    journal.append(reading(2, QString()));
    QCOMPARE(timer.periodStarts(), 1); // the second row does not push the flush back
    QCOMPARE(contents(journal.fileName()), kHeader);

    timer.fire();
    QCOMPARE(contents(journal.fileName()),
             kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n2\t09:05:07\tDC\tNULL\tV\tpass\r\n");
    QVERIFY(!timer.isEnabled());
    QCOMPARE(journal.pendingBytes(), 0);
}

void TestSessionJournal::newAndSaveLeaveNoUnsavedRows()
{
    QTemporaryDir dir;
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    journal.append(reading(1));
    timer.fire();
    journal.append(reading(2)); // still waiting for its flush
    journal.clear();
    QCOMPARE(contents(journal.fileName()), kHeader);
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader);

    // Rows 3 and 4 were saved; 5 was recorded while the file was written.
    MeasurementTable table;
    for (int no : {3, 4, 5}) {
        table.appendRow(reading(no));
        journal.append(reading(no));
    }
    timer.fire();
    journal.markSaved(table, 2);
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader + "5\t09:05:07\tDC\t1.234\tV\tpass\r\n");
    journal.markSaved(table, 3);
    QCOMPARE(contents(journal.fileName()), kHeader);
    QVERIFY(!timer.isEnabled());
}

void TestSessionJournal::normalEndRemovesTheFile()
{
    QTemporaryDir dir;
    ManualWindowTimer timer;
    QString fileName;
    {
        SessionJournal journal(dir.path(), timer);
        journal.append(reading(1));
        timer.fire();
        fileName = journal.fileName();
    }
    QVERIFY(!QFile::exists(fileName));
    QVERIFY(!QFile::exists(fileName + QStringLiteral(".lock")));
    // A later start finds nothing to offer.
    SessionJournal next(dir.path(), timer);
    QCOMPARE(next.recoveredRows(), 0);
}

void TestSessionJournal::deadSessionsRowsAreOffered_data()
{
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("keptText");

    const QByteArray row1 = "1\t09:05:07\tDC\t1.234\tV\tpass\r\n";
    const QByteArray row2 = "2\t09:05:08\tDC\t1.235\tV\tpass\r\n";
    QTest::newRow("two rows") << kHeader + row1 + row2 << 2 << kHeader + row1 + row2;
    QTest::newRow("header only") << kHeader << 0 << kHeader;
    // The power went while the last line was written.
    QTest::newRow("cut in the last line") << kHeader + row1 + "2\t09:0" << 1 << kHeader + row1;
    QTest::newRow("cut in the header") << QByteArray("No\tTi") << 0 << kHeader;
    QTest::newRow("not a journal") << QByteArray("something else\r\n1\t2\r\n") << 0 << kHeader;
}

void TestSessionJournal::deadSessionsRowsAreOffered()
{
    QFETCH(QByteArray, left);
    QFETCH(int, rows);
    QFETCH(QByteArray, keptText);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("session-journal-1.txt")), left);

    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QCOMPARE(journal.fileName(), dir.filePath(QStringLiteral("session-journal-1.txt")));
    QCOMPARE(journal.recoveredRows(), rows);
    QCOMPARE(contents(journal.fileName()), keptText);
    // New rows start on a line of their own.
    journal.append(reading(7));
    timer.fire();
    QCOMPARE(contents(journal.fileName()), keptText + "7\t09:05:07\tDC\t1.234\tV\tpass\r\n");
}

void TestSessionJournal::recoveredRowsLoadAndStay()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("session-journal-1.txt")),
              kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n3\t09:05:09\tOHM\t0.L\tM*\tFail\r\n");
    MeasurementTable table;
    table.appendRow(reading(40)); // a load appends
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    QVERIFY(journal.loadRecovered(
        [&](const QString &fileName) { return bool(TableTextFile::load(fileName, table)); }));
    QCOMPARE(journal.recoveredRows(), 0);
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.row(1).No, std::optional<qint32>(1));
    QCOMPARE(table.row(2).No, std::optional<qint32>(3));
    QCOMPARE(table.row(2).Value, QStringLiteral("0.L"));
    QCOMPARE(table.row(2).Unit, QStringLiteral("M*"));
    QCOMPARE(table.row(2).Auto, QStringLiteral("Fail"));
    // Still unsaved: a second crash offers them again.
    QVERIFY(contents(journal.fileName()).contains("3\t09:05:09\tOHM"));
}

void TestSessionJournal::setAsideKeepsTheRowsUnderTheDate()
{
    QTemporaryDir dir;
    const QByteArray left = kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n";
    writeFile(dir.filePath(QStringLiteral("session-journal-1.txt")), left);
    ManualWindowTimer timer;
    SessionJournal journal(dir.path(), timer);
    const QString aside = journal.setAside();
    QVERIFY(!aside.isEmpty());
    QVERIFY2(QFileInfo(aside).fileName().startsWith(
                 QStringLiteral("session-journal-1 %1").arg(QDate::currentDate().toString(Qt::ISODate))),
             qPrintable(aside));
    QCOMPARE(contents(aside), left);
    QCOMPARE(journal.recoveredRows(), 0);
    QCOMPARE(contents(journal.fileName()), kHeader);
    journal.append(reading(2));
    timer.fire();
    QCOMPARE(contents(journal.fileName()), kHeader + "2\t09:05:07\tDC\t1.234\tV\tpass\r\n");
}

void TestSessionJournal::twoProgramsNeverShareAJournal()
{
    QTemporaryDir dir;
    ManualWindowTimer timer1, timer2;
    SessionJournal first(dir.path(), timer1);
    first.append(reading(1));
    timer1.fire();
    SessionJournal second(dir.path(), timer2);
    QVERIFY(second.isOpen());
    QVERIFY(second.fileName() != first.fileName());
    QCOMPARE(second.recoveredRows(), 0); // the first program's rows are its own, not a dead session's
    second.append(reading(2));
    timer2.fire();
    QCOMPARE(contents(first.fileName()), kHeader + "1\t09:05:07\tDC\t1.234\tV\tpass\r\n");
}

void TestSessionJournal::unwritableFolderMeansNoJournal()
{
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("file")), "x");
    ManualWindowTimer timer;
    SessionJournal journal(dir.filePath(QStringLiteral("file/below")), timer);
    QVERIFY(!journal.isOpen());
    journal.append(reading(1)); // recording goes on without it
    timer.fire();
    QVERIFY(!timer.isEnabled());
}

QTEST_GUILESS_MAIN(TestSessionJournal)
#include "tst_session_journal.moc"
