#include "broker_rig.h"
#include "meter/frame_builder.h"
#include "meter/reading.h"
#include "publish/mqtt_publisher.h"
#include "record/measurement_table.h"
#include "session/session_rig.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace Bits;

namespace {

// Fast retries: the tests wait on brokers, not on the back-off.
const MqttTiming kQuickRetry{100, 400, 5000};

// A session with a table, publishing to the broker, with a fixed clock.
struct PublishRig {
    SessionRig rig{QLocale::c(), QTime(12, 0)};
    MqttSettings settings;
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<QSignalSpy> problems;

    PublishRig(const QString &url, const std::function<void(MqttSettings &)> &adjust = {})
    {
        settings.url = url;
        settings.meterId = QStringLiteral("bench1");
        if (adjust)
            adjust(settings);
    }
    bool start(QString &error)
    {
        if (!settings.check(error))
            return false;
        publisher = std::make_unique<MqttPublisher>(
            settings, rig.session, QStringLiteral("."),
            [] { return QDateTime(QDate(2026, 3, 1), QTime(8, 30, 0, 250), Qt::UTC); }, kQuickRetry);
        problems = std::make_unique<QSignalSpy>(publisher.get(), &MqttPublisher::problem);
        rig.session.addListener(publisher.get());
        publisher->start();
        return true;
    }
    // Direct recording: one row a frame, the digits counting up.
    void record(int rows, int from = 0)
    {
        for (int i = from; i < from + rows; ++i) {
            const QByteArray digits = QByteArray::number(i % 10000).rightJustified(4, '0');
            rig.session.frame(frameHex(i % 2 ? '+' : '-', digits.constData(), "0123"[i % 4],
                                       Dc8 | (i % 3 ? Auto8 : 0), 0, 0, Volt11));
        }
    }
    QString problemText() const
    {
        QStringList lines;
        for (const QList<QVariant> &call : *problems)
            lines << call.at(0).toString();
        return lines.join('\n');
    }
};

bool consecutive(const std::vector<QJsonObject> &readings, qint64 firstSeq)
{
    for (size_t i = 0; i < readings.size(); ++i)
        if (readings[i].value("seq").toInteger() != firstSeq + qint64(i))
            return false;
    return true;
}

} // namespace

class TestMqttPublisher : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void settingsAreChecked_data();
    void settingsAreChecked();
    void meterIdIsSafeInATopic_data();
    void meterIdIsSafeInATopic();
    void messageKeepsEveryText_data();
    void messageKeepsEveryText();
    void everyRowArrivesOnceInOrderEqualToTheTable();
    void rowsWaitWhileTheBrokerIsAway();
    void credentials_data();
    void credentials();
    void tls_data();
    void tls();
    void unreachableBrokerIsNamedWithItsCause_data();
    void unreachableBrokerIsNamedWithItsCause();
    void queueBoundDropsTheOldestAndSaysSoOnce();
    void homeAssistantFindsTheMeter();
};

void TestMqttPublisher::initTestCase()
{
    QVERIFY2(!TestBroker::program().isEmpty(), "the broker mosquitto is not installed (tools/packages.txt)");
}

void TestMqttPublisher::settingsAreChecked_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("topic");
    QTest::addColumn<QString>("meterId");
    QTest::addColumn<QString>("brokerName"); // empty: refused
    QTest::addColumn<bool>("tls");

    QTest::newRow("plain, default port") << "mqtt://broker.lab"
                                         << "halvern"
                                         << "b1"
                                         << "broker.lab:1883" << false;
    QTest::newRow("tls, default port") << "mqtts://broker.lab"
                                       << "halvern"
                                       << "b1"
                                       << "broker.lab:8883" << true;
    QTest::newRow("port given") << "mqtt://10.0.0.5:1999"
                                << "lab/floor2"
                                << "b1"
                                << "10.0.0.5:1999" << false;
    QTest::newRow("other scheme") << "http://broker.lab"
                                  << "halvern"
                                  << "b1"
                                  << "" << false;
    QTest::newRow("no host") << "mqtt://"
                             << "halvern"
                             << "b1"
                             << "" << false;
    QTest::newRow("user in the URL") << "mqtt://me:pw@broker.lab"
                                     << "halvern"
                                     << "b1"
                                     << "" << false;
    QTest::newRow("a path") << "mqtt://broker.lab/x"
                            << "halvern"
                            << "b1"
                            << "" << false;
    QTest::newRow("wildcard in the prefix") << "mqtt://broker.lab"
                                            << "lab/#"
                                            << "b1"
                                            << "" << false;
    QTest::newRow("prefix ends in /") << "mqtt://broker.lab"
                                      << "lab/"
                                      << "b1"
                                      << "" << false;
    QTest::newRow("meter id with a slash") << "mqtt://broker.lab"
                                           << "halvern"
                                           << "b/1"
                                           << "" << false;
    QTest::newRow("meter id with +") << "mqtt://broker.lab"
                                     << "halvern"
                                     << "b+1"
                                     << "" << false;
}

void TestMqttPublisher::settingsAreChecked()
{
    QFETCH(QString, url);
    QFETCH(QString, topic);
    QFETCH(QString, meterId);
    QFETCH(QString, brokerName);
    QFETCH(bool, tls);
    MqttSettings s;
    s.url = url;
    s.topicPrefix = topic;
    s.meterId = meterId;
    QString error;
    QCOMPARE(s.check(error), !brokerName.isEmpty());
    if (brokerName.isEmpty()) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(s.brokerName(), brokerName);
    QCOMPARE(s.tls, tls);
    QCOMPARE(s.topic("reading"), topic + "/" + meterId + "/reading");
}

void TestMqttPublisher::meterIdIsSafeInATopic_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("id");
    QTest::newRow("serial port") << "bench3"
                                 << "/dev/ttyUSB0"
                                 << "bench3-ttyUSB0";
    QTest::newRow("dotted host") << "lab.example.org"
                                 << "usb"
                                 << "lab-example-org-usb";
    QTest::newRow("wildcards and blanks") << "a+b#c"
                                          << "my file.bin"
                                          << "a-b-c-my-file-bin";
    QTest::newRow("nothing") << ""
                             << ""
                             << "meter";
}

void TestMqttPublisher::meterIdIsSafeInATopic()
{
    QFETCH(QString, host);
    QFETCH(QString, link);
    QFETCH(QString, id);
    QCOMPARE(defaultMeterId(host, link), id);
}

void TestMqttPublisher::messageKeepsEveryText_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QJsonValue>("value");
    QTest::newRow("plain") << "-1.234"
                           << "V"
                           << "." << QJsonValue(-1.234);
    QTest::newRow("comma separator") << "0,052"
                                     << "mV"
                                     << "," << QJsonValue(0.052);
    QTest::newRow("overload") << "0L"
                              << "M*"
                              << "." << QJsonValue();
    QTest::newRow("quote and backslash") << "1\"2\\"
                                         << "k*"
                                         << "." << QJsonValue();
    QTest::newRow("control and degrees")
        << QString("\t12\x01") << QString::fromUtf8("\u00b0C") << "." << QJsonValue();
}

void TestMqttPublisher::messageKeepsEveryText()
{
    QFETCH(QString, display);
    QFETCH(QString, unit);
    QFETCH(QString, separator);
    QFETCH(QJsonValue, value);
    TableRow row;
    row.No = 7;
    row.Value = display;
    row.Unit = unit;
    row.DcAc = "DC";
    row.Auto = "Fail";
    Reading reading;
    reading.RangeText = "MANU";
    const ReadingMessage message{42, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), Qt::UTC), separator};
    QJsonParseError error{};
    const QJsonObject o =
        QJsonDocument::fromJson(message.json(row, reading, "4" + separator + "5", "x"), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(o.value("display").toString(), display);
    QCOMPARE(o.value("unit").toString(), unit);
    QCOMPARE(o.value("value"), value);
    QCOMPARE(o.value("seq").toInteger(), 42);
    QCOMPARE(o.value("no").toInt(), 7);
    QCOMPARE(o.value("time").toString(), "2026-01-02T03:04:05.006Z");
    QCOMPARE(o.value("range").toString(), "manual");
    QCOMPARE(o.value("high").toDouble(), 4.5);
    QVERIFY(o.value("low").isNull());
    QCOMPARE(o.size(), 11);
}

void TestMqttPublisher::everyRowArrivesOnceInOrderEqualToTheTable()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber(broker.port, "halvern/#");
    QTRY_VERIFY(subscriber.subscribed());
    PublishRig p(broker.url());
    QString error;
    QVERIFY2(p.start(error), qPrintable(error));
    p.rig.session.setLimit(LimitJudge::High, "5");
    p.rig.session.setLimit(LimitJudge::Low, "-2.5");
    constexpr int Rows = 10000;
    p.record(Rows);
    QCOMPARE(p.rig.table.rowCount(), Rows);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.readingCount(), Rows, 60000);

    const std::vector<QJsonObject> readings = subscriber.readings();
    QCOMPARE(int(readings.size()), Rows);
    QVERIFY(consecutive(readings, 1));
    QFile lines(broker.path("messages.jsonl"));
    QVERIFY(lines.open(QIODevice::WriteOnly));
    for (int i = 0; i < Rows; ++i) {
        const QJsonObject &m = readings[size_t(i)];
        const auto cell = [&](MeasurementTable::Field f) { return p.rig.table.text(i, f); };
        QCOMPARE(m.value("no").toInt(), p.rig.table.text(i, MeasurementTable::No).toInt());
        QCOMPARE(m.value("display").toString(), cell(MeasurementTable::Value));
        QCOMPARE(m.value("unit").toString(), cell(MeasurementTable::Unit));
        QCOMPARE(m.value("function").toString(), cell(MeasurementTable::DcAc));
        QCOMPARE(m.value("verdict").toString(), cell(MeasurementTable::Auto));
        QCOMPARE(m.value("value").toDouble(), cell(MeasurementTable::Value).toDouble());
        QCOMPARE(m.value("range").toString(), i % 3 ? "auto" : "manual");
        QCOMPARE(m.value("time").toString(), "2026-03-01T08:30:00.250Z");
        QCOMPARE(m.value("high").toDouble(), 5.0);
        QCOMPARE(m.value("low").toDouble(), -2.5);
        QVERIFY(lines.write(QJsonDocument(m).toJson(QJsonDocument::Compact) + '\n') > 0);
    }
    QVERIFY(lines.flush());
    lines.close();
    QCOMPARE(subscriber.lastOn("halvern/bench1/status"), "online");

    // Every message against the schema in the repository.
    QProcess validate;
    validate.setProcessChannelMode(QProcess::ForwardedChannels);
    // Debian's interpreter, which python3-jsonschema serves, not whichever python3 is first on PATH.
    validate.start("/usr/bin/python3", {HALVERN_SOURCE "/tests/publish/validate_messages.py",
                                        HALVERN_SOURCE "/docs/mqtt-reading.schema.json", lines.fileName()});
    QVERIFY(validate.waitForFinished(120000));
    QCOMPARE(validate.exitCode(), 0);

    // A clean end says "offline", retained.
    p.publisher.reset();
    QTRY_COMPARE(subscriber.lastOn("halvern/bench1/status"), QByteArray("offline"));
}

void TestMqttPublisher::rowsWaitWhileTheBrokerIsAway()
{
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber(broker.port, "halvern/#");
    QTRY_VERIFY(subscriber.subscribed());
    PublishRig p(broker.url());
    QString error;
    QVERIFY2(p.start(error), qPrintable(error));
    QSignalSpy recovered(p.publisher.get(), &MqttPublisher::recovered);
    p.record(300);
    QTRY_VERIFY(subscriber.readingCount() > 0);

    broker.stop();
    // Five seconds without a broker while the meter goes on: real time, since the broker is real.
    QElapsedTimer away;
    away.start();
    int rows = 300;
    while (!away.hasExpired(5000)) {
        p.record(17, rows);
        rows += 17;
        QTest::qWait(100);
    }
    QVERIFY(p.problemText().contains("MQTT broker " + p.settings.brokerName()));
    QVERIFY(p.publisher->waiting() > 0);
    QVERIFY(broker.start());
    p.record(300, rows);
    rows += 300;

    QCOMPARE(p.rig.table.rowCount(), rows);
    QTRY_COMPARE_WITH_TIMEOUT(int(subscriber.readings().size()), rows, 30000);
    QTRY_COMPARE(recovered.count(), 1);
    const std::vector<QJsonObject> readings = subscriber.readings();
    QVERIFY(consecutive(readings, 1));
    for (int i = 0; i < rows; i += 97)
        QCOMPARE(readings[size_t(i)].value("display").toString(),
                 p.rig.table.text(i, MeasurementTable::Value));
    QCOMPARE(p.publisher->dropped(), 0);
    QCOMPARE(recovered.count(), 1);
    QVERIFY(recovered.at(0).at(0).toString().endsWith(p.settings.brokerName() + ": connected again"));
}

void TestMqttPublisher::credentials_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right") << "s3cret pass" << true;
    QTest::newRow("wrong") << "guess" << false;
}

void TestMqttPublisher::credentials()
{
    QFETCH(QString, password);
    QFETCH(bool, accepted);
    TestBroker broker;
    QVERIFY(broker.requirePassword("bench", "s3cret pass"));
    QVERIFY(broker.start());
    QFile file(broker.path("my-password"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write((password + "\n").toUtf8()) > 0 && file.flush());
    file.close();

    PublishRig p(broker.url(), [&](MqttSettings &s) {
        s.user = "bench";
        s.passwordFile = file.fileName();
    });
    QString error;
    QVERIFY2(p.start(error), qPrintable(error));
    QSignalSpy rejected(p.publisher.get(), &MqttPublisher::credentialsRejected);
    QSignalSpy connected(p.publisher.get(), &MqttPublisher::connected);
    p.record(5);
    if (accepted) {
        QTRY_COMPARE(p.publisher->delivered(), 5);
        QCOMPARE(rejected.count(), 0);
    } else {
        QTRY_COMPARE(rejected.count(), 1);
        QCOMPARE(rejected.at(0).at(0).toBool(), true); // before any connection: the recorder ends with 5
        QTRY_VERIFY(
            p.problemText().contains("MQTT broker " + p.settings.brokerName() + ": connection refused"));
        QCOMPARE(connected.count(), 0);
        QCOMPARE(p.publisher->waiting(), 5);
    }
}

void TestMqttPublisher::tls_data()
{
    QTest::addColumn<QString>("ca");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("the broker's CA") << "ca" << true;
    QTest::newRow("another CA") << "other" << false;
}

void TestMqttPublisher::tls()
{
    QFETCH(QString, ca);
    QFETCH(bool, accepted);
    TestBroker broker;
    QVERIFY(broker.useTls());
    QVERIFY(broker.makeCa("other"));
    QVERIFY(broker.start());
    PublishRig p(broker.url("mqtts", "localhost"),
                 [&](MqttSettings &s) { s.caFile = broker.path(ca + ".crt"); });
    QString error;
    QVERIFY2(p.start(error), qPrintable(error));
    p.record(3);
    if (accepted) {
        QTRY_COMPARE(p.publisher->delivered(), 3);
    } else {
        QTRY_VERIFY(
            p.problemText().contains("MQTT broker localhost:" + QString::number(broker.port) + ": TLS"));
        QVERIFY2(p.problemText().contains("certificate verify failed"), qPrintable(p.problemText()));
        QCOMPARE(p.publisher->delivered(), 0);
    }
}

void TestMqttPublisher::unreachableBrokerIsNamedWithItsCause_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("line");
    const QString port = QString::number(freePort());
    QTest::newRow("nothing listens") << "mqtt://127.0.0.1:" + port
                                     << "MQTT broker 127.0.0.1:" + port + ": connection refused";
    QTest::newRow("unknown host") << "mqtt://no-such-host.invalid"
                                  << "MQTT broker no-such-host.invalid:1883: unknown host";
}

void TestMqttPublisher::unreachableBrokerIsNamedWithItsCause()
{
    QFETCH(QString, url);
    QFETCH(QString, line);
    PublishRig p(url);
    QString error;
    QVERIFY2(p.start(error), qPrintable(error));
    p.record(2);
    // A name lookup without a network may take its resolver's timeouts.
    QTRY_VERIFY_WITH_TIMEOUT(!p.problemText().isEmpty(), 60000);
    QVERIFY2(p.problemText().startsWith(line), qPrintable(p.problemText()));
    QCOMPARE(p.rig.table.rowCount(), 2); // recording goes on
}

void TestMqttPublisher::queueBoundDropsTheOldestAndSaysSoOnce()
{
    // The subscriber's session is there before the broker goes away and
    // outlives its restart, so the readings sent the moment it is back reach
    // it however quickly the publisher reconnects.
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber(broker.port, "halvern/#");
    QTRY_VERIFY(subscriber.subscribed());
    broker.stop();
    PublishRig p(broker.url(), [](MqttSettings &s) { s.queueLimit = 100; });
    QString error;
    QVERIFY2(p.start(error), qPrintable(error));
    QSignalSpy overflow(p.publisher.get(), &MqttPublisher::overflow);
    p.record(1000);
    QCOMPARE(p.publisher->waiting(), 100);
    QCOMPARE(p.publisher->dropped(), 900);
    QCOMPARE(overflow.count(), 1);
    QVERIFY(overflow.at(0).at(0).toString().startsWith("MQTT broker " + p.settings.brokerName() +
                                                       ": 100 readings"));

    QVERIFY(broker.start());
    // The newest hundred went out once the broker came, then the next row; the gap tells the loss.
    QTRY_COMPARE_WITH_TIMEOUT(p.publisher->waiting(), 0, 20000);
    p.record(1, 1000);
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.readingCount(), 101, 30000);
    const std::vector<QJsonObject> readings = subscriber.readings();
    QCOMPARE(int(readings.size()), 101);
    QVERIFY(consecutive(readings, 901));
    QCOMPARE(overflow.count(), 1);
}

void TestMqttPublisher::homeAssistantFindsTheMeter()
{
    TestBroker broker;
    QVERIFY(broker.start());
    PublishRig p(broker.url(), [](MqttSettings &s) { s.haDiscovery = true; });
    QString error;
    QVERIFY2(p.start(error), qPrintable(error));
    QSignalSpy connected(p.publisher.get(), &MqttPublisher::connected);
    QTRY_COMPARE(connected.count(), 1);
    // Retained: a subscriber that comes later still finds it.
    TestSubscriber subscriber(broker.port, "homeassistant/#");
    const QByteArray topic = "homeassistant/sensor/halvern_bench1/config";
    QTRY_VERIFY(!subscriber.lastOn(topic).isEmpty());
    const QJsonObject config = QJsonDocument::fromJson(subscriber.lastOn(topic)).object();
    QCOMPARE(config.value("state_topic").toString(), "halvern/bench1/reading");
    QCOMPARE(config.value("availability_topic").toString(), "halvern/bench1/status");
    QCOMPARE(config.value("unique_id").toString(), "halvern_bench1");
    QVERIFY(config.value("value_template").toString().contains("value_json.value"));
}

QTEST_GUILESS_MAIN(TestMqttPublisher)
#include "tst_mqtt_publisher.moc"
