// --help and --version of every executable, and the options of the program and the demo.
#include "app/command_line.h"
#include "app/program_links.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void helpOrVersionIsFoundAmongOptions_data();
    void helpOrVersionIsFoundAmongOptions();
    void usageFollowsTheSynopsis();
    void programOptions_data();
    void programOptions();
    void everyExecutableAnswersWithoutADisplay_data();
    void everyExecutableAnswersWithoutADisplay();
};

namespace {

const CommandLineDescription kTool{
    QStringLiteral("tool"),
    QStringLiteral("[DEVICE]"),
    QStringLiteral("Does things."),
    {{QStringLiteral("--capture"), QStringLiteral("FILE"), QStringLiteral("x")},
     {QStringLiteral("--line"), {}, QStringLiteral("y")}}};

} // namespace

void TestCommandLine::helpOrVersionIsFoundAmongOptions_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("answer"); // "help", "version" or "" for none
    QTest::newRow("none") << QStringList{} << "";
    QTest::newRow("other options") << QStringList{"--line", "/dev/ttyS0"} << "";
    QTest::newRow("help") << QStringList{"--help"} << "help";
    QTest::newRow("short help") << QStringList{"-h"} << "help";
    QTest::newRow("version") << QStringList{"--version"} << "version";
    QTest::newRow("after other options") << QStringList{"--line", "dev", "--version"} << "version";
    QTest::newRow("first one wins") << QStringList{"--version", "--help"} << "version";
    QTest::newRow("value of an option") << QStringList{"--capture", "--help"} << "";
    QTest::newRow("after a value") << QStringList{"--capture", "--version", "--help"} << "help";
    QTest::newRow("switch takes no value") << QStringList{"--line", "--help"} << "help";
    QTest::newRow("unknown options are left to the program") << QStringList{"--bogus", "--help"} << "help";
    QTest::newRow("prefix is not the option") << QStringList{"--helpful", "--versions"} << "";
}

void TestCommandLine::helpOrVersionIsFoundAmongOptions()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, answer);
    QString printed;
    QTextStream out(&printed);
    const std::optional<int> code = answerHelpOrVersion(QStringList{"tool"} + arguments, kTool, out);
    out.flush();
    QCOMPARE(code.has_value(), !answer.isEmpty());
    if (answer.isEmpty()) {
        QVERIFY(printed.isEmpty());
        return;
    }
    QCOMPARE(*code, 0);
    if (answer == QLatin1String("version")) {
        QCOMPARE(printed, QStringLiteral("tool " HALVERN_VERSION "\n"));
    } else {
        QVERIFY2(printed.startsWith(QStringLiteral("Usage: tool [options] [DEVICE]\nDoes things.\n")),
                 qPrintable(printed));
        for (const char *option : {"--capture FILE", "--line", "-h, --help", "--version"})
            QVERIFY2(printed.contains(QLatin1String("\n  ") + QLatin1String(option)), option);
    }
}

void TestCommandLine::usageFollowsTheSynopsis()
{
    QCOMPARE(usageLine(kTool), QStringLiteral("usage: tool [--capture FILE] [--line] [DEVICE]"));
    CommandLineDescription positionalFirst = kTool;
    positionalFirst.synopsis = QStringLiteral("OUT.png [--line]");
    QCOMPARE(usageLine(positionalFirst), QStringLiteral("usage: tool OUT.png [--line]"));
    QVERIFY(
        helpText(positionalFirst).startsWith(QStringLiteral("Usage: tool OUT.png [--line]\nDoes things.\n")));
}

void TestCommandLine::programOptions_data()
{
    QTest::addColumn<bool>("demoExecutable");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error"); // empty when the options are good
    QTest::addColumn<bool>("demo");
    QTest::newRow("program, nothing") << false << QStringList{} << "" << false;
    QTest::newRow("program --demo") << false << QStringList{"--demo"} << "" << true;
    QTest::newRow("program --demo --replay")
        << false << QStringList{"--demo", "--replay", "REPLAY"} << "" << true;
    QTest::newRow("program --replay before --demo")
        << false << QStringList{"--replay", "REPLAY", "--demo"} << "" << true;
    QTest::newRow("program --replay without --demo")
        << false << QStringList{"--replay", "REPLAY"} << "--replay plays in the demo only (add --demo)"
        << false;
    QTest::newRow("program --capture") << false << QStringList{"--capture", "CAPTURE"} << "" << false;
    QTest::newRow("program --capture without a file")
        << false << QStringList{"--capture"} << "--capture needs a file name" << false;
    QTest::newRow("program unknown option")
        << false << QStringList{"--bogus"} << "unknown option --bogus" << false;
    QTest::newRow("demo --replay --capture")
        << true << QStringList{"--replay", "REPLAY", "--capture", "CAPTURE"} << "" << true;
    QTest::newRow("demo has no --demo") << true << QStringList{"--demo"} << "unknown option --demo" << true;
}

void TestCommandLine::programOptions()
{
    QFETCH(bool, demoExecutable);
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(bool, demo);
    const QTemporaryDir dir;
    const QString replay = QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin");
    arguments.replaceInStrings(QStringLiteral("REPLAY"), replay);
    arguments.replaceInStrings(QStringLiteral("CAPTURE"), dir.filePath(QStringLiteral("capture.txt")));
    ProgramLinks links(demoExecutable);
    QString message;
    QCOMPARE(links.setUp(QStringList{"halvern"} + arguments, message), error.isEmpty());
    QCOMPARE(message, error);
    if (error.isEmpty())
        QCOMPARE(links.isDemo(), demo);
    // Every option the program takes is on its usage line.
    for (const QString &argument : arguments)
        if (argument.startsWith(QLatin1String("--")) && error.isEmpty())
            QVERIFY2(ProgramLinks::usage(demoExecutable).contains(argument), qPrintable(argument));
}

void TestCommandLine::everyExecutableAnswersWithoutADisplay_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("options"); // what --help must list
    const QStringList standard{"--help", "--version"};
    QTest::newRow("halvern") << HALVERN_PROGRAM
                             << standard + QStringList{"--demo", "--replay FILE", "--capture FILE"};
    QTest::newRow("halvern-demo") << HALVERN_DEMO
                                  << standard + QStringList{"--replay FILE", "--capture FILE"};
    QTest::newRow("halvern-meter-simulator") << HALVERN_METER_SIMULATOR << standard;
    QTest::newRow("halvern-screenshot") << HALVERN_SCREENSHOT
                                        << standard + QStringList{"--demo SECONDS", "--com SECONDS",
                                                                  "--usb SECONDS", "--replay", "--capture"};
    QTest::newRow("halvern-soak") << HALVERN_SOAK << standard + QStringList{"--line"};
    QTest::newRow("halvern-hid-soak") << HALVERN_HID_SOAK << standard;
    QTest::newRow("halvern-record") << HALVERN_RECORD
                                    << standard + QStringList{"--port",      "--usb",    "--interval",
                                                              "--limit",     "--high",   "--low",
                                                              "--no-repeat", "--output", "--replay",
                                                              "--quiet",     "--timeout"};
}

void TestCommandLine::everyExecutableAnswersWithoutADisplay()
{
    QFETCH(QString, path);
    QFETCH(QStringList, options);
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    if (path.isEmpty())
        QSKIP(qPrintable(name + QStringLiteral(" is not built in this tree")));
    // A platform that cannot start: an answer that needed the window would fail.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const QString &option : {QStringLiteral("--version"), QStringLiteral("--help")}) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(path, {option});
        QVERIFY2(process.waitForFinished(60000), qPrintable(option));
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 qPrintable(option + QLatin1Char(' ') + err));
        if (option == QLatin1String("--version")) {
            QCOMPARE(out, name + QStringLiteral(" " HALVERN_VERSION "\n"));
            continue;
        }
        QVERIFY2(out.contains(name), qPrintable(out));
        for (const QString &listed : options)
            QVERIFY2(out.contains(listed), qPrintable(listed + QStringLiteral(" missing in:\n") + out));
    }
}

QTEST_MAIN(TestCommandLine)
#include "tst_command_line.moc"
