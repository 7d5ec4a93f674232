#pragma once

#include <mosquitto.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <mutex>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

inline sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nothing listens on right now, as the system hands them out.
inline int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

inline bool listening(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool yes = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return yes;
}

inline bool runTool(const QString &program, const QStringList &arguments, const QString &folder)
{
    QProcess tool;
    tool.setWorkingDirectory(folder);
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    const bool done =
        tool.waitForFinished(60000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    if (!done)
        qWarning("%s: %s", qPrintable(program), tool.readAll().constData());
    return done;
}

// A broker of the test's own: its own folder, config and free port on
// 127.0.0.1, persistent sessions (a subscriber's queue outlives a restart).
class TestBroker {
public:
    QTemporaryDir dir;
    int port = freePort();
    QStringList extraConfig;

    static QString program()
    {
        return QStandardPaths::findExecutable(
            QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    }
    QString path(const QString &name) const { return dir.filePath(name); }

    // user:password in a password file; anonymous clients are refused.
    bool requirePassword(const QString &user, const QString &password)
    {
        extraConfig << "allow_anonymous false"
                    << "password_file " + path("passwords");
        return runTool(QStringLiteral("mosquitto_passwd"), {"-b", "-c", path("passwords"), user, password},
                       dir.path());
    }

    // A CA and a server certificate for localhost and 127.0.0.1, made here.
    bool useTls()
    {
        const QString openssl = QStringLiteral("openssl");
        if (!makeCa(QStringLiteral("ca")))
            return false;
        QFile ext(path("server.ext"));
        if (!ext.open(QIODevice::WriteOnly) || ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") < 0 ||
            !ext.flush())
            return false;
        ext.close();
        const bool made =
            runTool(openssl,
                    {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-subj",
                     "/CN=localhost", "-out", "server.csr"},
                    dir.path()) &&
            runTool(openssl,
                    {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                     "-CAcreateserial", "-days", "2", "-extfile", "server.ext", "-out", "server.crt"},
                    dir.path());
        extraConfig << "cafile " + path("ca.crt") << "certfile " + path("server.crt")
                    << "keyfile " + path("server.key");
        return made;
    }
    bool makeCa(const QString &name)
    {
        return runTool(QStringLiteral("openssl"),
                       {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out",
                        name + ".crt", "-days", "2", "-subj", "/CN=Test CA " + name},
                       dir.path());
    }

    bool start()
    {
        QFile config(path("mosquitto.conf"));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        const passwd *me = ::getpwuid(::geteuid());
        QStringList lines{QStringLiteral("listener %1 127.0.0.1").arg(port), "persistence true",
                          "persistence_location " + dir.path() + "/", "max_queued_messages 0",
                          "log_dest none",
                          // As root the broker would change to a user that cannot read this folder.
                          QStringLiteral("user ") + (me ? me->pw_name : "root")};
        if (!extraConfig.join('\n').contains("allow_anonymous"))
            lines << "allow_anonymous true";
        lines += extraConfig;
        if (config.write((lines.join('\n') + '\n').toUtf8()) < 0 || !config.flush())
            return false;
        config.close();
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.setStandardOutputFile(path("broker.log"), QIODevice::Append);
        m_process.start(program(), {"-c", config.fileName()});
        if (!m_process.waitForStarted())
            return false;
        // Waiting for a real process to listen: polled, no fixed sleep.
        for (int i = 0; i < 1000; ++i) {
            if (listening(port))
                return true;
            if (m_process.state() != QProcess::Running)
                return false;
            QTest::qWait(10);
        }
        return false;
    }
    void stop()
    {
        m_process.terminate();
        m_process.waitForFinished(10000);
    }
    ~TestBroker() { stop(); }

    QString url(const char *scheme = "mqtt", const char *host = "127.0.0.1") const
    {
        return QStringLiteral("%1://%2:%3").arg(QLatin1String(scheme), QLatin1String(host)).arg(port);
    }

private:
    QProcess m_process;
};

// A subscriber of its own thread that keeps everything it hears, with a
// session the broker keeps across its restarts.
class TestSubscriber {
public:
    struct Heard {
        QByteArray topic;
        QByteArray payload;
        bool retained;
    };

    TestSubscriber(int port, const QString &filter, const QByteArray &id = "tester")
        : m_filter(filter.toUtf8())
    {
        mosquitto_lib_init();
        m_mosq = mosquitto_new(id.constData(), false, this);
        mosquitto_connect_callback_set(m_mosq, [](mosquitto *m, void *self, int rc) {
            if (rc == 0)
                mosquitto_subscribe(m, nullptr, static_cast<TestSubscriber *>(self)->m_filter.constData(), 1);
        });
        mosquitto_subscribe_callback_set(m_mosq, [](mosquitto *, void *self, int, int, const int *) {
            static_cast<TestSubscriber *>(self)->m_subscribed = true;
        });
        mosquitto_message_callback_set(m_mosq, [](mosquitto *, void *self, const mosquitto_message *m) {
            auto *me = static_cast<TestSubscriber *>(self);
            std::lock_guard<std::mutex> lock(me->m_mutex);
            me->m_heard.push_back({QByteArray(m->topic),
                                   QByteArray(static_cast<const char *>(m->payload), m->payloadlen),
                                   m->retain});
        });
        mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
        mosquitto_connect_async(m_mosq, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_mosq);
    }
    ~TestSubscriber()
    {
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, true);
        mosquitto_destroy(m_mosq);
    }
    bool subscribed() const { return m_subscribed; }
    std::vector<Heard> heard() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heard;
    }
    // The reading messages by first arrival, a repeat of a seq left out.
    std::vector<QJsonObject> readings() const
    {
        std::vector<QJsonObject> out;
        qint64 last = 0;
        for (const Heard &h : heard()) {
            if (!h.topic.endsWith("/reading"))
                continue;
            const QJsonObject o = QJsonDocument::fromJson(h.payload).object();
            const qint64 seq = o.value("seq").toInteger();
            if (seq > last) {
                out.push_back(o);
                last = seq;
            }
        }
        return out;
    }
    int readingCount() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return int(std::count_if(m_heard.begin(), m_heard.end(),
                                 [](const Heard &h) { return h.topic.endsWith("/reading"); }));
    }
    QByteArray lastOn(const QByteArray &topic) const
    {
        QByteArray last;
        for (const Heard &h : heard())
            if (h.topic == topic)
                last = h.payload;
        return last;
    }

private:
    QByteArray m_filter;
    mosquitto *m_mosq = nullptr;
    std::atomic<bool> m_subscribed{false};
    mutable std::mutex m_mutex;
    std::vector<Heard> m_heard;
};
