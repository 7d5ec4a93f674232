#include "recorder/recorder_program.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fixture()
{
    QFile file(QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int rowsIn(const QByteArray &text)
{
    return int(text.count("\r\n")) - 1;
}

// The rows the summary line names.
int summaryRows(const QByteArray &console)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("(\\d+) rows written to")).match(QString::fromLocal8Bit(console));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

// halvern-record as a child process: its standard streams are pipes, as under a script or a service.
class TestRecorderProgram : public QObject {
    Q_OBJECT

private slots:
    void liveLineOnlyOnATerminal_data();
    void liveLineOnlyOnATerminal();
    void exitStatusAndMessages_data();
    void exitStatusAndMessages();
    void rowsToAPipeWithoutLiveLine();
    void sigtermFlushesEveryRow();
};

void TestRecorderProgram::liveLineOnlyOnATerminal_data()
{
    QTest::addColumn<bool>("quiet");
    QTest::addColumn<bool>("stderrTerminal");
    QTest::addColumn<bool>("rowsToStdout");
    QTest::addColumn<bool>("stdoutTerminal");
    QTest::addColumn<bool>("live");
    QTest::newRow("terminal, rows to a file") << false << true << false << true << true;
    QTest::newRow("terminal, rows piped on") << false << true << true << false << true;
    QTest::newRow("quiet") << true << true << false << true << false;
    QTest::newRow("standard error piped") << false << false << false << true << false;
    QTest::newRow("rows on the same terminal") << false << true << true << true << false;
}

void TestRecorderProgram::liveLineOnlyOnATerminal()
{
    QFETCH(bool, quiet);
    QFETCH(bool, stderrTerminal);
    QFETCH(bool, rowsToStdout);
    QFETCH(bool, stdoutTerminal);
    QTEST(liveLineWanted(quiet, stderrTerminal, rowsToStdout, stdoutTerminal), "live");
}

void TestRecorderProgram::exitStatusAndMessages_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("version") << QStringList{"--version"} << 0 << "halvern-record " HALVERN_VERSION "\n"
                             << "";
    QTest::newRow("help") << QStringList{"--help"} << 0 << "usage: halvern-record"
                          << "";
    QTest::newRow("bad argument: message and usage") << QStringList{"--usb", "--limit", "0"} << 1 << ""
                                                     << "halvern-record: --limit: \"0\"";
    QTest::newRow("missing device") << QStringList{"--port", "/dev/no-such-tty", "--output", "never.xls"} << 2
                                    << ""
                                    << "cannot open /dev/no-such-tty: it does not exist";
    QTest::newRow("missing recording") << QStringList{"--replay", "no-such-file.bin"} << 2 << ""
                                       << "cannot replay no-such-file.bin";
}

void TestRecorderProgram::exitStatusAndMessages()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QTemporaryDir dir;
    QProcess child;
    child.setWorkingDirectory(dir.path());
    child.start(QStringLiteral(HALVERN_RECORD), arguments);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QTEST(child.exitCode(), "status");
    const QString stdoutText = QString::fromLocal8Bit(child.readAllStandardOutput());
    const QString stderrText = QString::fromLocal8Bit(child.readAllStandardError());
    QVERIFY2(out.isEmpty() ? stdoutText.isEmpty() : stdoutText.startsWith(out), qPrintable(stdoutText));
    QVERIFY2(err.isEmpty() ? stderrText.isEmpty() : stderrText.contains(err), qPrintable(stderrText));
    if (child.exitCode() == 1)
        QVERIFY(stderrText.contains(QLatin1String("usage: halvern-record")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("never.xls")))); // nothing created for a failed device
}

void TestRecorderProgram::rowsToAPipeWithoutLiveLine()
{
    QTemporaryDir dir;
    const QString recording = dir.filePath(QStringLiteral("short.bin"));
    {
        QFile file(recording);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fixture().left(0x36 + 14 * 20)); // the noise and 20 lines: about 1.4 s at the wire's pace
    }
    QProcess child;
    child.start(QStringLiteral(HALVERN_RECORD), {"--replay", recording});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitCode(), 0);
    const QByteArray rows = child.readAllStandardOutput();
    const QByteArray console = child.readAllStandardError();
    QVERIFY(rows.startsWith("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"));
    QCOMPARE(rowsIn(rows), 20);
    QCOMPARE(summaryRows(console), 20);
    QVERIFY2(console.contains("to standard output"), console.constData());
    QVERIFY2(!console.contains('\r') && !console.contains("\x1b["), console.constData()); // no live line
    QCOMPARE(console.count('\n'), 1);                                                     // the summary alone
}

// Fault guarded against: rows waiting in memory lost when a service manager stops the recorder.
void TestRecorderProgram::sigtermFlushesEveryRow()
{
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.xls"));
    QProcess child;
    child.start(QStringLiteral(HALVERN_RECORD),
                {"--replay", QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"), "--output", output});
    QVERIFY(child.waitForStarted());
    // The first flush: about a second after the first row.
    QTRY_VERIFY_WITH_TIMEOUT(rowsIn(readAll(output)) >= 2, 20000);
    child.terminate();
    QVERIFY(child.waitForFinished(10000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    const QByteArray console = child.readAllStandardError();
    QVERIFY2(console.contains("stopped by SIGTERM"), console.constData());
    const QByteArray rows = readAll(output);
    QVERIFY(rows.endsWith("\r\n"));
    QCOMPARE(rowsIn(rows), summaryRows(console));
    QVERIFY(rowsIn(rows) < 420); // stopped before the replay had played
}

QTEST_MAIN(TestRecorderProgram)
#include "tst_recorder_program.moc"
