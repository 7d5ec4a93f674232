// The program ends through its event loop when the system asks it to.
#include "process/termination_signals.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <pty.h>
#include <unistd.h>

class TestProgramEnd : public QObject {
    Q_OBJECT

private slots:
    void signalReachesTheEventLoop_data();
    void signalReachesTheEventLoop();
    void previousHandlerComesBack();
    void programEndsCleanly_data();
    void programEndsCleanly();
};

namespace {

void addSignalRows()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

// The serial port library's lock file of one port, where it puts them; the
// name comes from the device's path below /dev ("pts/3" locks as "LCK..pts_3").
// Only this port's: other programs take and release locks of their own at
// any time (another test of the suite, a serial program of the desktop).
QStringList lockFilesOf(const QString &device)
{
    QString name = device;
    name.remove(0, int(qstrlen("/dev/")));
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    QStringList found;
    for (const QString &dir : {QStringLiteral("/var/lock"), QStringLiteral("/run/lock"), QDir::tempPath()}) {
        const QString path = QDir(dir).filePath(QStringLiteral("LCK..") + name);
        if (QFileInfo::exists(path))
            found << path;
    }
    return found;
}

} // namespace

void TestProgramEnd::signalReachesTheEventLoop_data()
{
    addSignalRows();
}

void TestProgramEnd::signalReachesTheEventLoop()
{
    QFETCH(int, signal);
    QList<int> received;
    TerminationSignals handler([&](int s) { received << s; });
    QVERIFY(handler.isActive());
    ::raise(signal); // would end the test process without the handler
    QTRY_COMPARE(received, QList<int>{signal});
}

void TestProgramEnd::previousHandlerComesBack()
{
    struct sigaction before = {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        TerminationSignals handler([](int) {});
    }
    struct sigaction after = {};
    ::sigaction(SIGTERM, nullptr, &after);
    QCOMPARE(reinterpret_cast<void *>(after.sa_handler), reinterpret_cast<void *>(before.sa_handler));
}

void TestProgramEnd::programEndsCleanly_data()
{
    addSignalRows();
}

void TestProgramEnd::programEndsCleanly()
{
    QFETCH(int, signal);
    // A pseudo-terminal stands for the meter's port, so a real port is open.
    int master = -1, slave = -1;
    char slaveName[256] = {};
    QVERIFY(::openpty(&master, &slave, slaveName, nullptr, nullptr) == 0);
    const auto closePty = qScopeGuard([&] {
        ::close(master);
        ::close(slave);
    });
    const QString port = QString::fromLocal8Bit(slaveName);
    QCOMPARE(lockFilesOf(port), QStringList()); // a new pseudo-terminal: nobody holds it

    QTemporaryDir dataHome; // the user's data folder, where the session journal lives
    auto journals = [&] {
        return QDir(dataHome.path() + QStringLiteral("/halvern-test-child"))
            .entryList({QStringLiteral("session-journal-*")}, QDir::Files);
    };

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome.path());
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(HALVERN_PROGRAM_CHILD), {port});
    QVERIFY(program.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(program.canReadLine() || program.state() == QProcess::NotRunning, 60000);
    QCOMPARE(program.readLine().trimmed(), QByteArray("ready open"));
    const QStringList locksWhileOpen = lockFilesOf(port);
    QCOMPARE(journals().size(), 2); // the journal and its lock

    QCOMPARE(::kill(pid_t(program.processId()), signal), 0);
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(lockFilesOf(port), QStringList());
    QCOMPARE(journals(), QStringList()); // removed as on a normal end
    if (locksWhileOpen.isEmpty())
        qInfo("the serial port library made no lock file for %s", slaveName);
}

QTEST_GUILESS_MAIN(TestProgramEnd)
#include "tst_program_end.moc"
