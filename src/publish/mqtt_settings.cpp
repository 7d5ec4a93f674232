#include "mqtt_settings.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>

namespace {

constexpr qint64 MaxPasswordFileBytes = 4096;

bool safeTopicPart(const QString &text)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_-]+$"));
    return safe.match(text).hasMatch();
}

bool readPassword(const QString &fileName, QString &password, QString &error)
{
    const QFileInfo info(fileName);
    if (!info.isFile()) {
        error = QStringLiteral("--mqtt-password-file %1: not a regular file").arg(fileName);
        return false;
    }
    if (info.size() > MaxPasswordFileBytes) {
        error = QStringLiteral("--mqtt-password-file %1: larger than %2 bytes")
                    .arg(fileName)
                    .arg(MaxPasswordFileBytes);
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("--mqtt-password-file %1: %2").arg(fileName, file.errorString());
        return false;
    }
    const QByteArray bytes = file.read(MaxPasswordFileBytes);
    const int end = bytes.indexOf('\n');
    password = QString::fromUtf8(end < 0 ? bytes : bytes.left(end));
    if (password.endsWith(QLatin1Char('\r')))
        password.chop(1);
    return true;
}

} // namespace

bool MqttSettings::check(QString &error)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts")) ||
        parsed.host().isEmpty() || !parsed.userInfo().isEmpty() ||
        (!parsed.path().isEmpty() && parsed.path() != "/") || parsed.hasQuery() || parsed.hasFragment()) {
        error = QStringLiteral("--mqtt %1: not mqtt://host[:port] or mqtts://host[:port]").arg(url);
        return false;
    }
    tls = scheme == QLatin1String("mqtts");
    host = parsed.host();
    port = parsed.port(tls ? 8883 : 1883);
    if (port <= 0) {
        error = QStringLiteral("--mqtt %1: port 0").arg(url);
        return false;
    }
    static const QRegularExpression wildcard(QStringLiteral("[#+\\x00]"));
    if (topicPrefix.isEmpty() || topicPrefix.contains(wildcard) || topicPrefix.startsWith(QLatin1Char('/')) ||
        topicPrefix.endsWith(QLatin1Char('/'))) {
        error = QStringLiteral("--mqtt-topic %1: empty, a wildcard or a leading or trailing '/'")
                    .arg(topicPrefix);
        return false;
    }
    if (!safeTopicPart(meterId)) {
        error = QStringLiteral("--meter-id %1: only letters, digits, '-' and '_'").arg(meterId);
        return false;
    }
    if (queueLimit < 1 || queueLimit > MaxQueueLimit) {
        error = QStringLiteral("--mqtt-queue: 1 to %1").arg(MaxQueueLimit);
        return false;
    }
    if (certFile.isEmpty() != keyFile.isEmpty()) {
        error = QStringLiteral("--mqtt-cert and --mqtt-key go together");
        return false;
    }
    if ((!caFile.isEmpty() || !certFile.isEmpty()) && !tls) {
        error = QStringLiteral("--mqtt-cafile, --mqtt-cert and --mqtt-key need an mqtts:// URL");
        return false;
    }
    for (const QString &file : {caFile, certFile, keyFile})
        if (!file.isEmpty() && !QFileInfo(file).isFile()) {
            error = QStringLiteral("%1: not a readable file").arg(file);
            return false;
        }
    password.clear();
    if (!passwordFile.isEmpty() && !readPassword(passwordFile, password, error))
        return false;
    return true;
}

QString MqttSettings::brokerName() const
{
    return QStringLiteral("%1:%2").arg(host).arg(port);
}

QString MqttSettings::topic(const char *leaf) const
{
    return topicPrefix + QLatin1Char('/') + meterId + QLatin1Char('/') + QLatin1String(leaf);
}

QStringList MqttSettings::optionNames()
{
    return {"--mqtt",        "--mqtt-topic", "--meter-id", "--mqtt-user", "--mqtt-password-file",
            "--mqtt-cafile", "--mqtt-cert",  "--mqtt-key", "--mqtt-queue"};
}

bool MqttSettings::takeOption(const QString &name, const QString &value, QString &error)
{
    QString *text = name == "--mqtt"                 ? &url
                    : name == "--mqtt-topic"         ? &topicPrefix
                    : name == "--meter-id"           ? &meterId
                    : name == "--mqtt-user"          ? &user
                    : name == "--mqtt-password-file" ? &passwordFile
                    : name == "--mqtt-cafile"        ? &caFile
                    : name == "--mqtt-cert"          ? &certFile
                    : name == "--mqtt-key"           ? &keyFile
                                                     : nullptr;
    if (text) {
        *text = value;
        return true;
    }
    if (name != "--mqtt-queue") {
        error = QStringLiteral("unknown option ") + name;
        return false;
    }
    bool ok = false;
    const int limit = value.toInt(&ok);
    if (!ok || limit < 1 || limit > MaxQueueLimit) {
        error = QStringLiteral("--mqtt-queue %1: a number of messages from 1 to %2")
                    .arg(value)
                    .arg(MaxQueueLimit);
        return false;
    }
    queueLimit = limit;
    return true;
}

QString MqttSettings::usage()
{
    return QStringLiteral(
        "  --mqtt URL                publish every row to a broker: mqtt://host[:port] or "
        "mqtts://host[:port]\n"
        "  --mqtt-topic PREFIX       topics PREFIX/METER/reading and PREFIX/METER/status (default halvern)\n"
        "  --meter-id NAME           METER in the topics (default host name and link, e.g. bench3-ttyUSB0)\n"
        "  --mqtt-user NAME          user name at the broker\n"
        "  --mqtt-password-file FILE the password, first line of FILE\n"
        "  --mqtt-cafile FILE        CA certificates for mqtts:// (default the system's)\n"
        "  --mqtt-cert FILE, --mqtt-key FILE  client certificate and key\n"
        "  --mqtt-queue N            readings kept while the broker is away (default 100000)\n"
        "  --ha-discovery            announce the meter to Home Assistant\n");
}

void MqttSettings::load(QSettings &settings)
{
    settings.beginGroup(QStringLiteral("mqtt"));
    url = settings.value(QStringLiteral("url"), url).toString();
    topicPrefix = settings.value(QStringLiteral("topic"), topicPrefix).toString();
    meterId = settings.value(QStringLiteral("meter-id"), meterId).toString();
    user = settings.value(QStringLiteral("user"), user).toString();
    passwordFile = settings.value(QStringLiteral("password-file"), passwordFile).toString();
    caFile = settings.value(QStringLiteral("cafile"), caFile).toString();
    certFile = settings.value(QStringLiteral("cert"), certFile).toString();
    keyFile = settings.value(QStringLiteral("key"), keyFile).toString();
    queueLimit = settings.value(QStringLiteral("queue"), queueLimit).toInt();
    haDiscovery = settings.value(QStringLiteral("ha-discovery"), haDiscovery).toBool();
    settings.endGroup();
}

QString defaultMeterId(const QString &hostName, const QString &link)
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_-]+"));
    const QString linkPart = link.section(QLatin1Char('/'), -1);
    QString id = QString(hostName).replace(unsafe, QStringLiteral("-"));
    if (!linkPart.isEmpty())
        id += QLatin1Char('-') + QString(linkPart).replace(unsafe, QStringLiteral("-"));
    return id.isEmpty() ? QStringLiteral("meter") : id;
}
