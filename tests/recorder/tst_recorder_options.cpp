#include "recorder/recorder_options.h"

#include <QTest>

class TestRecorderOptions : public QObject {
    Q_OBJECT

private slots:
    void goodArguments_data();
    void goodArguments();
    void badArguments_data();
    void badArguments();
    void usageListsEveryOption();
};

void TestRecorderOptions::goodArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QChar>("separator");  // the user's decimal separator
    QTest::addColumn<QString>("expected"); // the options as options() below writes them

    const QChar dot('.');
    QTest::newRow("port alone: direct, repeat, limitless, stdout")
        << QStringList{"--port", "/dev/ttyUSB0"} << dot
        << "port /dev/ttyUSB0|interval 0|limit 10000000|high |low |repeat 1|output |quiet 0|timeout 0";
    QTest::newRow("usb with everything")
        << QStringList{"--usb", "--interval",  "5",        "--limit", "1000",    "--high",    "12.5", "--low",
                       "-3",    "--no-repeat", "--output", "out.xls", "--quiet", "--timeout", "30"}
        << dot << "usb|interval 5|limit 1000|high 12.5|low -3|repeat 0|output out.xls|quiet 1|timeout 30";
    QTest::newRow("replay, values after =")
        << QStringList{"--replay=s.bin", "--interval=0", "--limit=1", "--timeout=0"} << dot
        << "replay s.bin|interval 0|limit 1|high |low |repeat 1|output |quiet 0|timeout 0";
    QTest::newRow("limit texts take the user's separator")
        << QStringList{"--usb", "--high", "1.5", "--low", "-0,25"} << QChar(',')
        << "usb|interval 0|limit 10000000|high 1,5|low -0,25|repeat 1|output |quiet 0|timeout 0";
    QTest::newRow("exponent and sign in a limit")
        << QStringList{"--usb", "--high", "+2e3"} << dot
        << "usb|interval 0|limit 10000000|high +2e3|low |repeat 1|output |quiet 0|timeout 0";
    QTest::newRow("largest values") << QStringList{"--usb", "--interval", "2147483", "--limit", "10000000"}
                                    << dot
                                    << "usb|interval 2147483|limit 10000000|high |low |repeat 1|output "
                                       "|quiet 0|timeout 0";
    QTest::newRow("help needs no link") << QStringList{"--help"} << dot << "help";
    QTest::newRow("version needs no link") << QStringList{"--version"} << dot << "version";
}

static QString options(const RecorderOptions &o)
{
    if (o.help)
        return QStringLiteral("help");
    if (o.version)
        return QStringLiteral("version");
    QString link;
    switch (o.link) {
    case RecorderOptions::Link::Port:
        link = "port " + o.port;
        break;
    case RecorderOptions::Link::Usb:
        link = "usb";
        break;
    case RecorderOptions::Link::Replay:
        link = "replay " + o.replay;
        break;
    }
    return QStringLiteral("%1|interval %2|limit %3|high %4|low %5|repeat %6|output %7|quiet %8|timeout %9")
        .arg(link)
        .arg(o.intervalSeconds)
        .arg(o.limit)
        .arg(o.high, o.low)
        .arg(int(o.repeat))
        .arg(o.output)
        .arg(int(o.quiet))
        .arg(o.timeoutSeconds);
}

void TestRecorderOptions::goodArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QChar, separator);
    RecorderOptions o;
    QString error;
    QVERIFY2(RecorderArguments::parse(QStringList{"halvern-record"} + arguments, separator, o, error),
             qPrintable(error));
    QTEST(options(o), "expected");
}

void TestRecorderOptions::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message"); // a part of the message

    QTest::newRow("no link") << QStringList{"--interval", "1"} << "name the meter's link";
    QTest::newRow("two links") << QStringList{"--usb", "--port", "/dev/ttyS0"} << "exclude each other";
    QTest::newRow("unknown option") << QStringList{"--usb", "--fast"} << "unknown option --fast";
    QTest::newRow("stray word") << QStringList{"--usb", "out.xls"} << "unknown option out.xls";
    QTest::newRow("port without device") << QStringList{"--port"} << "--port needs a device";
    QTest::newRow("empty port") << QStringList{"--port="} << "--port needs a device";
    QTest::newRow("negative interval") << QStringList{"--usb", "--interval", "-1"} << "not a whole number";
    QTest::newRow("fractional interval") << QStringList{"--usb", "--interval", "0.5"} << "not a whole number";
    QTest::newRow("interval past the timer")
        << QStringList{"--usb", "--interval", "2147484"} << "from 0 to 2147483";
    QTest::newRow("limit zero") << QStringList{"--usb", "--limit", "0"} << "from 1 to 10000000";
    QTest::newRow("limit past limitless")
        << QStringList{"--usb", "--limit", "10000001"} << "from 1 to 10000000";
    QTest::newRow("limit in words") << QStringList{"--usb", "--limit", "many"} << "\"many\"";
    QTest::newRow("high not a number")
        << QStringList{"--usb", "--high", "abc"} << "--high: \"abc\" is not a number";
    QTest::newRow("low with two separators") << QStringList{"--usb", "--low", "1.2.3"} << "is not a number";
    QTest::newRow("timeout with a unit") << QStringList{"--usb", "--timeout", "10s"} << "not a whole number";
    QTest::newRow("value for a switch") << QStringList{"--usb=yes"} << "--usb takes no value";
    QTest::newRow("xml output") << QStringList{"--usb", "--output", "run.xml"} << "not named .xml";
}

void TestRecorderOptions::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    RecorderOptions o;
    QString error;
    QVERIFY(!RecorderArguments::parse(QStringList{"halvern-record"} + arguments, QLatin1Char('.'), o, error));
    QVERIFY2(error.contains(message), qPrintable(error));
}

void TestRecorderOptions::usageListsEveryOption()
{
    const QString usage = RecorderArguments::usage();
    for (const char *option :
         {"--port DEVICE", "--usb", "--replay FILE", "--interval SECONDS", "--limit N", "--high", "--low",
          "--no-repeat", "--output FILE", "--quiet", "--timeout SECONDS", "--help", "--version"})
        QVERIFY2(usage.contains(QLatin1String(option)), option);
    QCOMPARE(RecorderArguments::versionText(), QStringLiteral("halvern-record " HALVERN_VERSION));
}

QTEST_MAIN(TestRecorderOptions)
#include "tst_recorder_options.moc"
