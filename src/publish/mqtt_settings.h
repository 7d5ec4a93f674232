#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// Where and how readings are published, from the command line or the
// program's settings file. Checked by check() before a connection is made.
//
//   url        mqtt://host[:port] (1883) or mqtts://host[:port] (8883)
//   topic      PREFIX/METER/reading, PREFIX/METER/status
//   meterId    letters, digits, '-' and '_' only: safe in any topic
//   password   read from a file (at most 4 KiB, first line), never an argument
struct MqttSettings {
    static constexpr int DefaultQueueLimit = 100000;
    static constexpr int MaxQueueLimit = 10000000;

    QString url; // empty: no publishing
    QString topicPrefix = QStringLiteral("halvern");
    QString meterId; // empty: defaultMeterId() of the link
    QString user;
    QString passwordFile;
    QString caFile;
    QString certFile;
    QString keyFile;
    int queueLimit = DefaultQueueLimit; // readings kept while the broker is away
    bool haDiscovery = false;

    // Filled by check():
    QString host;
    int port = 0;
    bool tls = false;
    QString password;

    bool enabled() const { return !url.isEmpty(); }
    // Parses the URL, checks the names and reads the password file. On
    // failure returns false with a message naming the setting.
    bool check(QString &error);
    // host:port as messages name the broker.
    QString brokerName() const;
    QString topic(const char *leaf) const;

    // The options both programs take: "--mqtt" URL and the rest.
    static QStringList optionNames();
    // Takes one option of optionNames() with its value; false with a message when the value is bad.
    bool takeOption(const QString &name, const QString &value, QString &error);
    static QString usage();

    // The group "mqtt" of the program's settings file.
    void load(QSettings &settings);
};

// The host name and the link's last path part, with every unsafe character
// made '-': "bench3-ttyUSB0".
QString defaultMeterId(const QString &hostName, const QString &link);
