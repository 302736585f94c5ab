#include "command_line.h"
#include "instance_channel.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <future>

#include <sys/stat.h>

using namespace std::chrono_literals;
using Request = CommandLine::Request;

Q_DECLARE_METATYPE(CommandLine::Request)

namespace {

QTemporaryDir makePrivateFolder()
{
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}

// Runs a client call off the GUI thread while this thread serves.
std::optional<QByteArray> sendWhileServing(const QString &path, const QByteArray &command,
                                           std::chrono::milliseconds budget = 2000ms)
{
    auto reply = std::async(std::launch::async, [=] {
        return InstanceChannel::send(path, command, budget, budget);
    });
    while (reply.wait_for(5ms) != std::future_status::ready)
        QCoreApplication::processEvents();
    return reply.get();
}

qint64 deadPid()
{
    QProcess process;
    process.start(QStringLiteral("true"));
    process.waitForFinished();
    return process.processId() ? process.processId() : 999999;
}

} // namespace

class TestAppInstanceChannel : public QObject
{
    Q_OBJECT
private slots:
    void privateFolder_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("0700 folder") << "private" << true;
        QTest::newRow("0755 folder") << "open" << false;
        QTest::newRow("0770 folder") << "group" << false;
        QTest::newRow("missing") << "missing" << false;
        QTest::newRow("plain file") << "file" << false;
        QTest::newRow("link to a private folder") << "link" << false;
    }

    void privateFolder()
    {
        QFETCH(QString, kind);
        QFETCH(bool, accepted);
        QTemporaryDir root;
        const QString path = root.path() + QStringLiteral("/rt");
        if (kind == "private" || kind == "open" || kind == "group") {
            QVERIFY(QDir().mkdir(path));
            ::chmod(QFile::encodeName(path).constData(), kind == "private" ? 0700 : kind == "open" ? 0755 : 0770);
        } else if (kind == "file") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (kind == "link") {
            QVERIFY(QDir().mkdir(path + "-target"));
            ::chmod(QFile::encodeName(path + "-target").constData(), 0700);
            QVERIFY(QFile::link(path + "-target", path));
        }
        const auto problem = InstanceChannel::checkPrivateFolder(path);
        QCOMPARE(!problem.has_value(), accepted);
        if (problem)
            QVERIFY(problem->contains(path));
    }

    void runtimeFolderPrefersXdg()
    {
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        QTemporaryDir dir = makePrivateFolder();
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        QCOMPARE(InstanceChannel::runtimeFolder(), QDir(dir.path()).absolutePath());

        // A runtime folder others may enter is not used: the private fallback is.
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        QString error;
        const QString fallback = InstanceChannel::runtimeFolder(&error);
        qputenv("XDG_RUNTIME_DIR", saved);
        QVERIFY2(!fallback.isEmpty(), qPrintable(error));
        QVERIFY(fallback != dir.path());
        QVERIFY(!InstanceChannel::checkPrivateFolder(fallback));
    }

    void oneClaimPerFolderAndStaleOnesRecovered()
    {
        QTemporaryDir dir = makePrivateFolder();
        InstanceChannel channel(dir.path());
        // What a crash leaves: a lock naming a dead process and a socket file.
        TestSupport::writeFile(channel.lockPath(), QByteArray::number(deadPid()) + "\ntavorindle\n"
                                                       + QSysInfo::machineHostName().toUtf8() + "\n");
        TestSupport::writeFile(channel.socketPath(), {});
        QVERIFY(channel.claim());
        QString error;
        QVERIFY2(channel.listen(&error), qPrintable(error));
        channel.onCommand = [](const QByteArray &) -> QByteArray { return "ok"; };
        QCOMPARE(sendWhileServing(channel.socketPath(), "ping"), std::optional<QByteArray>("ok"));
        QVERIFY(channel.claim()); // asking again keeps it

        // A live lock is never taken, nor the socket without it.
        InstanceChannel second(dir.path());
        QVERIFY(!second.claim());
        QVERIFY(!second.listen(&error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(sendWhileServing(channel.socketPath(), "ping"), std::optional<QByteArray>("ok"));
    }

    void servesOneLineCommands()
    {
        QTemporaryDir dir = makePrivateFolder();
        InstanceChannel channel(dir.path());
        QVERIFY(channel.claim());
        QVERIFY(channel.listen());
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(channel.socketPath()).constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 077, 0u); // the user's only

        QByteArrayList received;
        channel.onCommand = [&](const QByteArray &command) -> QByteArray {
            received.append(command);
            return command == "toggle" ? "ok" : "error: unknown command";
        };
        QCOMPARE(sendWhileServing(channel.socketPath(), "toggle"), std::optional<QByteArray>("ok"));
        QCOMPARE(sendWhileServing(channel.socketPath(), "dance"),
                 std::optional<QByteArray>("error: unknown command"));
        QCOMPARE(sendWhileServing(channel.socketPath(), QByteArray(10000, 'x')),
                 std::optional<QByteArray>("error: command too long"));
        QCOMPARE(received, (QByteArrayList{"toggle", "dance"}));
    }

    void clientIsBounded_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<std::optional<QByteArray>>("reply");
        QTest::newRow("no server") << "none" << std::optional<QByteArray>();
        QTest::newRow("silent server") << "silent" << std::optional<QByteArray>();
        QTest::newRow("endless reply") << "flood"
                                       << std::optional(QByteArray(InstanceChannel::maxCommandLength * 4, 'x'));
    }

    void clientIsBounded()
    {
        QFETCH(QString, server);
        QFETCH(std::optional<QByteArray>, reply);
        QTemporaryDir dir = makePrivateFolder();
        QLocalServer peer;
        QList<QLocalSocket *> held; // accepted, never closed
        if (server != "none")
            QVERIFY(peer.listen(dir.path() + "/tavorindle.sock"));
        connect(&peer, &QLocalServer::newConnection, this, [&] {
            while (QLocalSocket *socket = peer.nextPendingConnection()) {
                held.append(socket);
                if (server == "flood")
                    socket->write(QByteArray(100000, 'x'));
            }
        });
        QCOMPARE(sendWhileServing(dir.path() + "/tavorindle.sock", "show", 300ms), reply);
        QCOMPARE(held.size(), server == "none" ? 0 : 1);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<Request>("request");
        QTest::addColumn<QByteArray>("channelCommand");
        const auto row = [](const char *name, const QStringList &arguments, Request request,
                            const QByteArray &command = {}) {
            QTest::newRow(name) << arguments << request << command;
        };
        row("no options", {}, Request::Start, "show");
        row("--toggle", {"--toggle"}, Request::Toggle, "toggle");
        row("--quit", {"--quit"}, Request::Quit, "quit");
        row("--help", {"--help"}, Request::Help);
        row("-h", {"-h"}, Request::Help);
        row("--version", {"--version"}, Request::Version);
        row("unknown option", {"--frobnicate"}, Request::Invalid);
        row("stray argument", {"file.txt"}, Request::Invalid);
        row("both actions", {"--toggle", "--quit"}, Request::Invalid);
        row("help wins", {"--quit", "--help"}, Request::Help);
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(Request, request);
        QFETCH(QByteArray, channelCommand);
        const CommandLine parsed = CommandLine::parse(QStringList{"tavorindle"} + arguments);
        QCOMPARE(parsed.request, request);
        QCOMPARE(parsed.channelCommand(), channelCommand);
        if (request == Request::Invalid)
            QVERIFY(!parsed.message.isEmpty());
        if (request == Request::Help)
            QVERIFY(parsed.message.contains("--toggle") && parsed.message.contains("--quit"));
    }
};

QTEST_MAIN(TestAppInstanceChannel)
#include "tst_app_instance_channel.moc"
