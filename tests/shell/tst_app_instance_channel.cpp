#include "command_line.h"
#include "instance_channel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    void privateFolder_data();
    void privateFolder();
    void runtimeFolderPrefersXdg();
    void oneClaimPerFolder();
    void staleLockAndSocketAreRecovered();
    void roundTrip();
    void socketIsTheUsersOnly();
    void refusesOverlongCommands();
    void clientGivesUpOnNoServer();
    void clientGivesUpOnASilentServer();
    void commandLine_data();
    void commandLine();
};

void TestAppInstanceChannel::privateFolder_data()
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

void TestAppInstanceChannel::privateFolder()
{
    QFETCH(QString, kind);
    QFETCH(bool, accepted);
    QTemporaryDir root;
    const QString path = root.path() + QStringLiteral("/rt");
    const QByteArray native = QFile::encodeName(path);
    if (kind == "private" || kind == "open" || kind == "group") {
        QVERIFY(QDir().mkdir(path));
        ::chmod(native.constData(), kind == "private" ? 0700 : kind == "open" ? 0755 : 0770);
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

void TestAppInstanceChannel::runtimeFolderPrefersXdg()
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir dir = makePrivateFolder();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
    QCOMPARE(InstanceChannel::runtimeFolder(), QDir(dir.path()).absolutePath());

    // A runtime folder others may enter is not used: the private fallback is.
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    QString error;
    const QString fallback = InstanceChannel::runtimeFolder(&error);
    QVERIFY2(!fallback.isEmpty(), qPrintable(error));
    QVERIFY(fallback != dir.path());
    QVERIFY(!InstanceChannel::checkPrivateFolder(fallback));
    qputenv("XDG_RUNTIME_DIR", saved);
}

void TestAppInstanceChannel::oneClaimPerFolder()
{
    QTemporaryDir dir = makePrivateFolder();
    InstanceChannel first(dir.path());
    InstanceChannel second(dir.path());
    QVERIFY(first.claim());
    QVERIFY(first.claim()); // asking again keeps it
    QVERIFY(!second.claim());
    QString error;
    QVERIFY(!second.listen(&error)); // never takes over the socket without the lock
    QVERIFY(!error.isEmpty());
}

void TestAppInstanceChannel::staleLockAndSocketAreRecovered()
{
    QTemporaryDir dir = makePrivateFolder();
    InstanceChannel channel(dir.path());
    // What a crash leaves: a lock naming a dead process and a socket file.
    {
        QFile lock(channel.lockPath());
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(deadPid()) + "\ntavorindle\n"
                   + QSysInfo::machineHostName().toUtf8() + "\n");
        QFile socket(channel.socketPath());
        QVERIFY(socket.open(QIODevice::WriteOnly));
    }
    QVERIFY(channel.claim());
    QString error;
    QVERIFY2(channel.listen(&error), qPrintable(error));
    channel.onCommand = [](const QByteArray &) -> QByteArray { return "ok"; };
    QCOMPARE(sendWhileServing(channel.socketPath(), "ping"), std::optional<QByteArray>("ok"));
}

void TestAppInstanceChannel::roundTrip()
{
    QTemporaryDir dir = makePrivateFolder();
    InstanceChannel channel(dir.path());
    QVERIFY(channel.claim());
    QVERIFY(channel.listen());
    QByteArrayList received;
    channel.onCommand = [&](const QByteArray &command) -> QByteArray {
        received.append(command);
        return command == "toggle" ? "ok" : "error: unknown command";
    };
    QCOMPARE(sendWhileServing(channel.socketPath(), "toggle"), std::optional<QByteArray>("ok"));
    QCOMPARE(sendWhileServing(channel.socketPath(), "dance"),
             std::optional<QByteArray>("error: unknown command"));
    QCOMPARE(received, (QByteArrayList{"toggle", "dance"}));
}

void TestAppInstanceChannel::socketIsTheUsersOnly()
{
    QTemporaryDir dir = makePrivateFolder();
    InstanceChannel channel(dir.path());
    QVERIFY(channel.claim());
    QVERIFY(channel.listen());
    struct stat info {};
    QCOMPARE(::stat(QFile::encodeName(channel.socketPath()).constData(), &info), 0);
    QVERIFY(S_ISSOCK(info.st_mode));
    QCOMPARE(info.st_mode & 077, 0u);
}

void TestAppInstanceChannel::refusesOverlongCommands()
{
    QTemporaryDir dir = makePrivateFolder();
    InstanceChannel channel(dir.path());
    QVERIFY(channel.claim());
    QVERIFY(channel.listen());
    int calls = 0;
    channel.onCommand = [&](const QByteArray &) -> QByteArray {
        ++calls;
        return "ok";
    };
    const QByteArray huge(10000, 'x');
    QCOMPARE(sendWhileServing(channel.socketPath(), huge),
             std::optional<QByteArray>("error: command too long"));
    QCOMPARE(calls, 0);
}

void TestAppInstanceChannel::clientGivesUpOnNoServer()
{
    QTemporaryDir dir = makePrivateFolder();
    const auto reply = InstanceChannel::send(dir.path() + "/tavorindle.sock", "show", 200ms, 200ms);
    QVERIFY(!reply);
}

void TestAppInstanceChannel::clientGivesUpOnASilentServer()
{
    QTemporaryDir dir = makePrivateFolder();
    QLocalServer silent;
    QVERIFY(silent.listen(dir.path() + "/tavorindle.sock"));
    QList<QLocalSocket *> held; // accepted, never answered
    connect(&silent, &QLocalServer::newConnection, this, [&] {
        while (QLocalSocket *socket = silent.nextPendingConnection())
            held.append(socket);
    });
    QVERIFY(!sendWhileServing(silent.fullServerName(), "show", 300ms));
    QCOMPARE(held.size(), 1);
}

void TestAppInstanceChannel::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("channelCommand");

    QTest::newRow("no options") << QStringList{} << Request::Start << QByteArray("show");
    QTest::newRow("--toggle") << QStringList{"--toggle"} << Request::Toggle << QByteArray("toggle");
    QTest::newRow("--quit") << QStringList{"--quit"} << Request::Quit << QByteArray("quit");
    QTest::newRow("--help") << QStringList{"--help"} << Request::Help << QByteArray();
    QTest::newRow("-h") << QStringList{"-h"} << Request::Help << QByteArray();
    QTest::newRow("--version") << QStringList{"--version"} << Request::Version << QByteArray();
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << Request::Invalid << QByteArray();
    QTest::newRow("stray argument") << QStringList{"file.txt"} << Request::Invalid << QByteArray();
    QTest::newRow("both actions") << QStringList{"--toggle", "--quit"} << Request::Invalid
                                  << QByteArray();
    QTest::newRow("help wins") << QStringList{"--quit", "--help"} << Request::Help << QByteArray();
}

void TestAppInstanceChannel::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(Request, request);
    QFETCH(QByteArray, channelCommand);
    const CommandLine parsed = CommandLine::parse(QStringList{"tavorindle"} + arguments);
    QCOMPARE(parsed.request, request);
    QCOMPARE(parsed.channelCommand(), channelCommand);
    if (request == Request::Invalid)
        QVERIFY(!parsed.message.isEmpty());
    if (request == Request::Help) {
        QVERIFY(parsed.message.contains("--toggle"));
        QVERIFY(parsed.message.contains("--quit"));
    }
}

QTEST_MAIN(TestAppInstanceChannel)
#include "tst_app_instance_channel.moc"
