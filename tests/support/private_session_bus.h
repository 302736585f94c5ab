#pragma once

// A session bus of the test's own that starts no services, so that the
// desktop's real services never answer; connections to it by name.
#include <QDBusConnection>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class PrivateSessionBus
{
public:
    // Call from initTestCase(): fails the test when no bus starts.
    void start()
    {
        QVERIFY(m_folder.isValid());
        const QString config = m_folder.filePath(QStringLiteral("bus.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                   " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                   "<busconfig><type>session</type><listen>unix:tmpdir=" + QFile::encodeName(m_folder.path())
                   + "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow send_destination=\"*\"/>"
                     "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n");
        file.close();
        m_daemon.start(QStringLiteral("dbus-daemon"), {"--config-file=" + config, "--nofork", "--print-address=1"});
        QVERIFY2(m_daemon.waitForStarted(), "dbus-daemon is not installed");
        QTRY_VERIFY(m_daemon.canReadLine());
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
    }

    ~PrivateSessionBus()
    {
        disconnectAll();
        m_daemon.terminate();
        m_daemon.waitForFinished();
    }

    // A new connection, as another program would open.
    QDBusConnection connect(const QString &name)
    {
        const QString unique = name + QString::number(++m_connections);
        m_names << unique;
        return QDBusConnection::connectToBus(m_address, unique);
    }
    // Call from cleanup(): each case's programs leave the bus.
    void disconnectAll()
    {
        for (const QString &name : std::as_const(m_names))
            QDBusConnection::disconnectFromBus(name);
        m_names.clear();
    }

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
    int m_connections = 0;
};
