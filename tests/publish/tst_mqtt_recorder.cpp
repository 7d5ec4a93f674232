#include "broker_rig.h"
#include "record/table_text_file.h"

// halvern-record as a child process publishing to a broker of the test's own.
class TestMqttRecorder : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void replayReachesTheSubscriberEqualToTheFile();
    void refusedCredentialsEndTheRunWithFive();
    void optionsAreChecked_data();
    void optionsAreChecked();
};

void TestMqttRecorder::initTestCase()
{
    QVERIFY2(!TestBroker::program().isEmpty(), "the broker mosquitto is not installed (tools/packages.txt)");
}

void TestMqttRecorder::replayReachesTheSubscriberEqualToTheFile()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber(broker.port, "lab/#");
    QTRY_VERIFY(subscriber.subscribed());
    const QString output = broker.path("out.xls");
    QProcess child;
    child.start(QStringLiteral(HALVERN_RECORD),
                {"--replay", QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"), "--output", output,
                 "--mqtt", broker.url(), "--mqtt-topic", "lab", "--meter-id", "bench7"});
    // The replay plays at the wire's pace: about 25 s.
    QVERIFY(child.waitForFinished(120000));
    const QByteArray console = child.readAllStandardError();
    QVERIFY2(child.exitCode() == 0, console.constData());

    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeFirst(); // the header
    lines.removeAll(QByteArray());
    QCOMPARE(lines.size(), 420);
    // A clean end drains the queue before it says "offline".
    QCOMPARE(subscriber.lastOn("lab/bench7/status"), "offline");
    const std::vector<QJsonObject> readings = subscriber.readings();
    QCOMPARE(int(readings.size()), 420);
    TableTextFile::CellBuffers cells;
    for (int i = 0; i < 420; ++i) {
        const QJsonObject &m = readings[size_t(i)];
        QCOMPARE(m.value("seq").toInteger(), i + 1);
        QCOMPARE(TableTextFile::splitCells(lines[i].trimmed(), cells), 6);
        QCOMPARE(QString::number(m.value("no").toInt()), cells[0]);
        // Empty texts are written as NULL.
        const auto text = [&](const char *key) {
            const QString t = m.value(key).toString();
            return t.isEmpty() ? QStringLiteral("NULL") : t;
        };
        QCOMPARE(text("function"), cells[2]);
        QCOMPARE(text("display"), cells[3]);
        QCOMPARE(text("unit"), cells[4]);
        QCOMPARE(text("verdict"), cells[5]);
    }
}

void TestMqttRecorder::refusedCredentialsEndTheRunWithFive()
{
    TestBroker broker;
    QVERIFY(broker.requirePassword("bench", "right"));
    QVERIFY(broker.start());
    QFile password(broker.path("password"));
    QVERIFY(password.open(QIODevice::WriteOnly) && password.write("wrong\n") == 6 && password.flush());
    password.close();
    QProcess child;
    child.start(QStringLiteral(HALVERN_RECORD),
                {"--replay", QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin"), "--output",
                 broker.path("out.xls"), "--mqtt", broker.url(), "--mqtt-user", "bench",
                 "--mqtt-password-file", password.fileName()});
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitCode(), 5);
    const QByteArray console = child.readAllStandardError();
    QVERIFY2(console.contains(
                 QStringLiteral("MQTT broker 127.0.0.1:%1: connection refused").arg(broker.port).toUtf8()),
             console.constData());
    QVERIFY2(console.contains("refused the credentials"), console.constData());
}

void TestMqttRecorder::optionsAreChecked_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("topic without a broker")
        << QStringList{"--mqtt-topic", "lab"} << "--mqtt-topic needs --mqtt URL";
    QTest::newRow("discovery without a broker")
        << QStringList{"--ha-discovery"} << "--ha-discovery needs --mqtt URL";
    QTest::newRow("not a broker URL") << QStringList{"--mqtt", "http://x"} << "--mqtt http://x: not mqtt://";
    QTest::newRow("unsafe meter id") << QStringList{"--mqtt", "mqtt://x", "--meter-id", "a/b"}
                                     << "--meter-id a/b";
    QTest::newRow("queue of none") << QStringList{"--mqtt", "mqtt://x", "--mqtt-queue", "0"}
                                   << "--mqtt-queue 0";
    QTest::newRow("missing password file")
        << QStringList{"--mqtt", "mqtt://x", "--mqtt-password-file", "no-such-file"}
        << "--mqtt-password-file no-such-file: not a regular file";
    QTest::newRow("CA without TLS") << QStringList{"--mqtt", "mqtt://x", "--mqtt-cafile", HALVERN_FIXTURES}
                                    << "need an mqtts:// URL";
}

void TestMqttRecorder::optionsAreChecked()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess child;
    child.start(QStringLiteral(HALVERN_RECORD),
                QStringList{"--replay", QStringLiteral(HALVERN_FIXTURES "/meter-serial-log.bin")} +
                    arguments);
    QVERIFY(child.waitForFinished(20000));
    QCOMPARE(child.exitCode(), 1);
    const QByteArray console = child.readAllStandardError();
    QVERIFY2(console.contains(message.toUtf8()), console.constData());
}

QTEST_GUILESS_MAIN(TestMqttRecorder)
#include "tst_mqtt_recorder.moc"
