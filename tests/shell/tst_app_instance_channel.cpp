// The single-instance lock and the command channel: private folders, the
// wire format, streamed replies, and clients that misbehave.
#include "commands/channel_client.h"
#include "commands/command_client.h"
#include "commands/command_line.h"
#include "commands/command_runner.h"
#include "commands/instance_channel.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sys/stat.h>

using namespace std::chrono_literals;
using namespace ChannelProtocol;
using Outcome = ChannelClient::Result::Outcome;

Q_DECLARE_METATYPE(Outcome)

namespace {

QTemporaryDir makePrivateFolder()
{
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}

// Runs fn on a thread of its own (sockets need a QThread) while this
// thread serves.
template<typename Fn>
auto whileServing(Fn fn)
{
    std::optional<decltype(fn())> result;
    std::unique_ptr<QThread> thread(QThread::create([&] { result.emplace(fn()); }));
    thread->start();
    while (!thread->wait(QDeadlineTimer(5)))
        QCoreApplication::processEvents();
    return std::move(*result);
}

// Sends raw bytes (stopping when the peer closes), then reads until the
// peer closes or budget runs out. What came back, and whether it closed.
std::pair<QByteArray, bool> rawExchange(const QString &path, const QByteArray &bytes,
                                        std::chrono::milliseconds budget)
{
    return whileServing([=] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(2000))
            return std::pair<QByteArray, bool>{"<no connection>", false};
        for (qsizetype at = 0; at < bytes.size() && socket.state() == QLocalSocket::ConnectedState;
             at += 1 << 20) {
            socket.write(bytes.mid(at, 1 << 20));
            socket.waitForBytesWritten(int(budget.count()));
        }
        QByteArray received;
        QElapsedTimer clock;
        clock.start();
        while (socket.state() == QLocalSocket::ConnectedState && clock.elapsed() < budget.count()) {
            socket.waitForReadyRead(50);
            received += socket.readAll();
        }
        received += socket.readAll();
        return std::pair{received, socket.state() != QLocalSocket::ConnectedState};
    });
}

// A channel serving a few requests, with short timeouts.
struct ServingChannel
{
    ServingChannel() : channel(folder.path())
    {
        channel.limits.requestTimeout = 300ms;
        channel.limits.drainTimeout = 300ms;
        channel.limits.maxBodyBytes = 1000;
        if (!channel.claim() || !channel.listen())
            qFatal("cannot serve");
        channel.onRequest = [this](const Request &request, QByteArray body,
                                   const ChannelConnection::Respond &respond) {
            if (request.command == "big")
                return respond(Reply::stream(utf8Slices(big, 999)));
            if (request.command == "hold")
                return; // answered never: a request still being carried out
            if (request.command == "echo")
                return respond(Reply::bytes(request.argument("text").toUtf8() + body));
            if (request.command == "fail") // reasons often quote what the user gave
                return respond(Reply::error(request.argument("text")));
            respond(request.command == "ping" ? Reply::ok() : Reply::error("unknown command"));
        };
    }
    QString path() const { return channel.socketPath(); }

    QTemporaryDir folder = makePrivateFolder();
    InstanceChannel channel;
    QString big;
};

ChannelClient::Result request(const QString &path, const QByteArray &command,
                              const QMap<QByteArray, QString> &arguments = {}, const QByteArray &body = {},
                              QByteArray *data = nullptr, ChannelClient::Budgets budgets = {300ms, 2000ms})
{
    return whileServing([=] {
        return ChannelClient::request(path, Request{command, arguments}, body, [data](const QByteArray &piece) {
            if (data)
                *data += piece;
            return true;
        }, budgets);
    });
}

QByteArray ping(const QString &path)
{
    return request(path, "ping").status;
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

    void runtimeFolderFallsBackInsideTheHome()
    {
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
        QTemporaryDir runtime = makePrivateFolder();
        QTemporaryDir cache;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", savedRuntime);
            qputenv("XDG_CACHE_HOME", savedCache);
        });
        QCOMPARE(InstanceChannel::runtimeFolder(), QDir(runtime.path()).absolutePath());

        // No usable runtime folder: a private one in the user's own cache
        // folder, never a name in /tmp that anyone could take first.
        ::chmod(QFile::encodeName(runtime.path()).constData(), 0755);
        QString error;
        const QString fallback = InstanceChannel::runtimeFolder(&error);
        QVERIFY2(fallback.startsWith(cache.path() + u'/'), qPrintable(fallback + error));
        QVERIFY(!InstanceChannel::checkPrivateFolder(fallback));
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(InstanceChannel::runtimeFolder(), fallback);

        // A fallback that is not private is refused, not repaired.
        ::chmod(QFile::encodeName(fallback).constData(), 0755);
        QVERIFY(InstanceChannel::runtimeFolder(&error).isEmpty());
        QVERIFY(error.contains(fallback));
    }

    void oneClaimPerFolderAndStaleOnesRecovered()
    {
        QTemporaryDir dir = makePrivateFolder();
        InstanceChannel channel(dir.path());
        // What a crash leaves: a socket file (the lock is the process lock's
        // test).
        TestSupport::writeFile(channel.socketPath(), {});
        QVERIFY(channel.claim());
        QString error;
        QVERIFY2(channel.listen(&error), qPrintable(error));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(channel.socketPath()).constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 077, 0u); // the user's only
        QCOMPARE(ping(channel.socketPath()), QByteArray("error: not ready"));
        channel.onRequest = [](const Request &, QByteArray, const ChannelConnection::Respond &respond) {
            respond(Reply::ok());
        };
        QCOMPARE(ping(channel.socketPath()), QByteArray("ok"));
        QVERIFY(channel.claim()); // asking again keeps it

        // A live lock is never taken, nor the socket without it.
        InstanceChannel second(dir.path());
        QVERIFY(!second.claim());
        QVERIFY(!second.listen(&error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(ping(channel.socketPath()), QByteArray("ok"));
    }

    void requestLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("search"); // the decoded argument
        QTest::addColumn<qint64>("length");
        QTest::newRow("bare word") << QByteArray("ping") << true << QString() << 0LL;
        QTest::newRow("spaces, tab, equals, percent, emoji")
            << Request{"list", {{"search", "a b\t=%\U0001F600"}}, 0}.encode().trimmed() << true
            << "a b\t=%\U0001F600" << 0LL;
        QTest::newRow("body length") << QByteArray("add length=42") << true << QString() << 42LL;
        QTest::newRow("upper-case command") << QByteArray("LIST") << false << QString() << 0LL;
        QTest::newRow("binary") << QByteArray("\x01\xff", 2) << false << QString() << 0LL;
        QTest::newRow("token without =") << QByteArray("list search") << false << QString() << 0LL;
        QTest::newRow("key twice") << QByteArray("list search=a search=b") << false << QString() << 0LL;
        QTest::newRow("length twice") << QByteArray("add length=1 length=2") << false << QString() << 0LL;
        QTest::newRow("negative length") << QByteArray("add length=-1") << false << QString() << 0LL;
        QTest::newRow("huge length") << QByteArray("add length=99999999999999999999") << false << QString() << 0LL;
        QTest::newRow("argument not UTF-8") << QByteArray("list search=%FF") << false << QString() << 0LL;
    }

    void requestLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, valid);
        QFETCH(QString, search);
        QFETCH(qint64, length);
        QString error;
        const auto request = Request::parse(line, &error);
        QCOMPARE(request.has_value(), valid);
        QCOMPARE(error.isEmpty(), valid);
        if (request) {
            QCOMPARE(request->argument("search"), search);
            QCOMPARE(request->bodyLength, length);
        }
    }

    void repliesOfAnySizeStreamWhole()
    {
        ServingChannel server;
        // Slices of 999 units over a pattern of 10: some end between the
        // halves of an astral character, which must not be split.
        server.big = QStringLiteral("\U0001F600 ü line\n").repeated(2 << 20);
        QByteArray data;
        // About 26 MB: budgets for a loaded machine, the row is about wholeness.
        const auto result = request(server.path(), "big", {}, {}, &data, {2000ms, 20000ms});
        QCOMPARE(result.outcome, Outcome::Answered);
        QCOMPARE(result.status, QByteArray("data"));
        QVERIFY(data == server.big.toUtf8());

        // A body arrives whole too, and its room is given back: the bodies
        // held at once may total twice the limit, not the bodies ever sent.
        for (int i = 0; i < 3; ++i) {
            data.clear();
            QCOMPARE(request(server.path(), "echo", {{"text", "a "}}, QByteArray(900, 'b'), &data).status,
                     QByteArray("data"));
            QCOMPARE(data, "a " + QByteArray(900, 'b'));
        }
        data.clear();
        QCOMPARE(request(server.path(), "echo", {}, {}, &data).status, QByteArray("data"));
        QVERIFY(data.isEmpty());
    }

    void rawRequestsGetAReplyOrAClose_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("garbage") << QByteArray("\x7f\x45LF\x02\x01 \x00\xff\n", 11) << QByteArray("error: malformed request\n");
        QTest::newRow("unknown command") << QByteArray("dance\n") << QByteArray("error: unknown command\n");
        QTest::newRow("a reason with line breaks stays one line")
            << QByteArray("fail text=a%0Ab%0D%0Ac\n") << QByteArray("error: a b  c\n");
        QTest::newRow("half a request, then silence") << QByteArray("pi") << QByteArray();
        QTest::newRow("half a body, then silence") << QByteArray("echo length=10\nabc") << QByteArray();
        QTest::newRow("a 100 MB line") << QByteArray(100 << 20, 'x') << QByteArray("error: request too long\n");
        const QByteArray longest = "ping pad=" + QByteArray(maxHeaderBytes - 9, 'x');
        QTest::newRow("the longest request line") << longest + '\n' << QByteArray("ok\n");
        QTest::newRow("one byte longer") << longest + "x\n" << QByteArray("error: request too long\n");
        QTest::newRow("a body over the limit")
            << QByteArray("echo length=1001\n") << QByteArray("error: the text is larger than the limit of 0 MiB\n");
    }

    void rawRequestsGetAReplyOrAClose()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, reply);
        ServingChannel server;
        const auto [received, closed] = rawExchange(server.path(), sent, 2000ms);
        QCOMPARE(received, reply);
        QVERIFY(closed);
        QCOMPARE(ping(server.path()), QByteArray("ok"));
        QTRY_COMPARE(server.channel.clientCount(), 0);
    }

    void aThousandConnectionsLockNobodyOut()
    {
        ServingChannel server;
        // Held open and silent until the end of the test.
        std::vector<std::unique_ptr<QLocalSocket>> sockets;
        for (int i = 0; i < 1000; ++i) {
            sockets.push_back(std::make_unique<QLocalSocket>());
            sockets.back()->connectToServer(server.path());
            QCoreApplication::processEvents();
        }
        QTRY_VERIFY(std::all_of(sockets.begin(), sockets.end(), [](const auto &socket) {
            return socket->state() != QLocalSocket::ConnectingState;
        }));
        QCOMPARE(ping(server.path()), QByteArray("ok"));
        QVERIFY(server.channel.clientCount() <= InstanceChannel::maxClients);
    }

    // Every place taken: by readers that stopped reading, the one that
    // stopped first makes way; by requests still being carried out, a new
    // client is told that the program is busy.
    void aFullChannelStillAnswers_data()
    {
        QTest::addColumn<QByteArray>("heldBy");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("readers that stopped reading") << QByteArray("big") << QByteArray("ok");
        QTest::newRow("requests being carried out") << QByteArray("hold")
                                                    << QByteArray("error: busy with other requests; try again");
    }

    void aFullChannelStillAnswers()
    {
        QFETCH(QByteArray, heldBy);
        QFETCH(QByteArray, status);
        ServingChannel server;
        server.channel.limits.drainTimeout = 60s;
        server.big = QString(4 << 20, u'x');
        std::vector<std::unique_ptr<QLocalSocket>> held;
        for (int i = 0; i < InstanceChannel::maxClients; ++i) {
            held.push_back(std::make_unique<QLocalSocket>());
            held.back()->setReadBufferSize(1024); // reads no more than that
            held.back()->connectToServer(server.path());
            QTRY_COMPARE(held.back()->state(), QLocalSocket::ConnectedState);
            held.back()->write(heldBy + '\n');
            held.back()->flush();
            QCoreApplication::processEvents();
        }
        QTRY_COMPARE(server.channel.clientCount(), InstanceChannel::maxClients);
        QTest::qWait(int(InstanceChannel::stalledReaderGrace.count()) + 100); // past the grace time
        QCOMPARE(ping(server.path()), status);
    }

    void aReaderThatStopsIsDropped()
    {
        ServingChannel server;
        server.big = QString(8 << 20, u'x');
        std::optional<qsizetype> received;
        std::unique_ptr<QThread> stalled(QThread::create([&, path = server.path()] {
            QLocalSocket socket;
            socket.connectToServer(path);
            socket.waitForConnected(1000);
            socket.write("big\n");
            socket.waitForBytesWritten(1000);
            QThread::sleep(1); // reads nothing for longer than the drain timeout
            QByteArray bytes;
            while (socket.waitForReadyRead(500))
                bytes += socket.readAll();
            received = bytes.size() + socket.readAll().size();
        }));
        stalled->start();
        QTRY_COMPARE(server.channel.clientCount(), 1);
        QTRY_COMPARE(server.channel.clientCount(), 0); // while the client still sleeps
        QCOMPARE(ping(server.path()), QByteArray("ok"));
        while (!stalled->wait(QDeadlineTimer(5)))
            QCoreApplication::processEvents();
        QVERIFY(received && *received < server.big.size());
    }

    void clientIsBounded_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<std::optional<int>>("exitStatus"); // the command line's; none: start the program
        const std::optional<int> failed(1);
        QTest::newRow("no server") << "none" << Outcome::Unreachable << std::optional<int>();
        QTest::newRow("silent server") << "silent" << Outcome::NoAnswer << failed;
        QTest::newRow("endless status line") << "flood" << Outcome::NoAnswer << failed;
        QTest::newRow("data cut off") << "cut" << Outcome::CutOff << failed;
        QTest::newRow("oversized frame") << "oversized" << Outcome::CutOff << failed;
        QTest::newRow("an error") << "error" << Outcome::Answered << failed;
        QTest::newRow("whole data") << "whole" << Outcome::Answered << std::optional<int>(0);
    }

    void clientIsBounded()
    {
        QFETCH(QString, server);
        QFETCH(Outcome, outcome);
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
                else if (server == "cut")
                    socket->write("data\n5\nabc");
                else if (server == "oversized")
                    socket->write("data\nfffffff\nabc");
                else if (server == "error")
                    socket->write("error: no item 9\n");
                else if (server == "whole")
                    socket->write("data\n0\n");
                if (server != "silent" && server != "flood")
                    socket->disconnectFromServer();
            }
        });
        const QString path = dir.path() + "/tavorindle.sock";
        const auto result = request(path, "list", {}, {}, nullptr, {300ms, 300ms});
        QCOMPARE(result.outcome, outcome);
        const CommandLine command = CommandLine::parse({"tavorindle", "list"});
        QTEST(whileServing([&] { return runCommand(path, command, {300ms, 300ms}); }), "exitStatus");
        QCOMPARE(held.size(), server == "none" ? 0 : 2);
    }

    // The small executable sends its whole command line to the program in
    // $XDG_RUNTIME_DIR; whatever it cannot have done there, this process
    // does (nothing: the exit status is not the command line's).
    void commandLineForwarded_data()
    {
        QTest::addColumn<QByteArray>("reply"); // empty: nobody listens
        QTest::addColumn<int>("mode");         // of the runtime folder
        QTest::addColumn<std::optional<int>>("exitStatus");
        QTest::newRow("answered") << QByteArray("data\n3\nabc0\n") << 0700 << std::optional<int>(0);
        QTest::newRow("failed there") << QByteArray("error: no item 9\n") << 0700 << std::optional<int>(1);
        QTest::newRow("handed back") << QByteArray("here\n") << 0700 << std::optional<int>();
        QTest::newRow("a program from before, with arguments")
            << QByteArray("error: run takes no input\n") << 0700 << std::optional<int>();
        QTest::newRow("a program from before, without") << QByteArray("error: unknown command\n") << 0700
                                                        << std::optional<int>();
        QTest::newRow("nobody listens") << QByteArray() << 0700 << std::optional<int>();
        QTest::newRow("a runtime folder open to others") << QByteArray("data\n0\n") << 0755 << std::optional<int>();
    }

    void commandLineForwarded()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, mode);
        QTemporaryDir dir = makePrivateFolder();
        QLocalServer peer;
        if (!reply.isEmpty())
            QVERIFY(peer.listen(dir.path() + "/tavorindle.sock"));
        ::chmod(QFile::encodeName(dir.path()).constData(), mode_t(mode));
        const QByteArray request("run length=14\nlist\0--picker\0", 28);
        QByteArray received;
        connect(&peer, &QLocalServer::newConnection, this, [&] {
            while (QLocalSocket *socket = peer.nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, socket, [&, socket] {
                    received += socket->readAll();
                    if (received.size() >= request.size()) {
                        socket->write(reply);
                        socket->disconnectFromServer();
                    }
                });
            }
        });
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        const auto restore = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", savedRuntime); });
        char *argv[] = {const_cast<char *>("tavorindle"), const_cast<char *>("list"), const_cast<char *>("--picker")};
        QTEST(whileServing([&] { return CommandClient::forward(3, argv); }), "exitStatus");
        QCOMPARE(received, mode == 0700 && !reply.isEmpty() ? request : QByteArray());
    }
};

QTEST_MAIN(TestAppInstanceChannel)
#include "tst_app_instance_channel.moc"
