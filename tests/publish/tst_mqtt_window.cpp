#include "broker_rig.h"

#include <QProcessEnvironment>

// The window's program as a child process: it says online when it starts and
// offline when it ends, from its options or from its settings file alone.
class TestMqttWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void windowSaysOnlineAndOffline_data();
    void windowSaysOnlineAndOffline();
};

void TestMqttWindow::initTestCase()
{
    QVERIFY2(!TestBroker::program().isEmpty(), "the broker mosquitto is not installed (tools/packages.txt)");
}

void TestMqttWindow::windowSaysOnlineAndOffline_data()
{
    QTest::addColumn<bool>("fromSettingsFile");
    QTest::newRow("options") << false;
    QTest::newRow("settings file, no options") << true;
}

void TestMqttWindow::windowSaysOnlineAndOffline()
{
    QFETCH(bool, fromSettingsFile);
    TestBroker broker;
    QVERIFY(broker.start());
    TestSubscriber subscriber(broker.port, "lab/#");
    QTRY_VERIFY(subscriber.subscribed());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // A settings file and a journal folder of the test's own.
    environment.insert("XDG_CONFIG_HOME", broker.path("config"));
    environment.insert("XDG_DATA_HOME", broker.path("data"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    QStringList arguments{"--demo"};
    if (fromSettingsFile) {
        QVERIFY(QDir().mkpath(broker.path("config/halvern")));
        QFile settings(broker.path("config/halvern/halvern.conf"));
        QVERIFY(settings.open(QIODevice::WriteOnly));
        QVERIFY(settings.write(
                    QStringLiteral("[mqtt]\nurl=%1\ntopic=lab\nmeter-id=w1\n").arg(broker.url()).toUtf8()) >
                0);
        settings.close();
    } else {
        arguments << "--mqtt" << broker.url() << "--mqtt-topic"
                  << "lab"
                  << "--meter-id"
                  << "w1";
    }
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QStringLiteral(HALVERN_PROGRAM), arguments);
    QVERIFY(child.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(subscriber.lastOn("lab/w1/status"), QByteArray("online"), 20000);
    child.terminate(); // ends like Quit
    QVERIFY(child.waitForFinished(20000));
    QTRY_COMPARE(subscriber.lastOn("lab/w1/status"), QByteArray("offline"));
}

QTEST_GUILESS_MAIN(TestMqttWindow)
#include "tst_mqtt_window.moc"
