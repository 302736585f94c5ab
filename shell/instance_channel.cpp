#include "instance_channel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray s_errorTooLong = "error: command too long";
const QByteArray s_errorNoHandler = "error: not ready";

} // namespace

std::optional<QString> InstanceChannel::checkPrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("%1 does not exist").arg(path);
    if (info.isSymLink())
        return QStringLiteral("%1 is a symbolic link").arg(path);
    if (!info.isDir())
        return QStringLiteral("%1 is not a folder").arg(path);
    if (info.ownerId() != ::getuid())
        return QStringLiteral("%1 belongs to another user").arg(path);
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (info.permissions() & others)
        return QStringLiteral("%1 is open to other users").arg(path);
    return std::nullopt;
}

QString InstanceChannel::runtimeFolder(QString *error)
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && !checkPrivateFolder(xdg))
        return QDir(xdg).absolutePath();

    const QString fallback = QStringLiteral("/tmp/tavorindle-%1").arg(::getuid());
    const QByteArray native = QFile::encodeName(fallback);
    if (::mkdir(native.constData(), 0700) == 0) {
        // The umask may have taken bits away, never added any; still be sure.
        ::chmod(native.constData(), 0700);
    }
    if (const auto problem = checkPrivateFolder(fallback)) {
        if (error)
            *error = *problem;
        return {};
    }
    return fallback;
}

InstanceChannel::InstanceChannel(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder)
{
}

InstanceChannel::~InstanceChannel()
{
    if (m_server)
        m_server->close();
}

QString InstanceChannel::socketPath() const
{
    return m_folder + QStringLiteral("/tavorindle.sock");
}

QString InstanceChannel::lockPath() const
{
    return m_folder + QStringLiteral("/tavorindle.lock");
}

bool InstanceChannel::claim()
{
    if (m_lock && m_lock->isLocked())
        return true;
    m_lock = std::make_unique<QLockFile>(lockPath());
    // A lock is stale only when its process is gone: never by its age, as
    // the program holds it for as long as it runs.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

bool InstanceChannel::listen(QString *error)
{
    if (!m_lock || !m_lock->isLocked()) {
        if (error)
            *error = QStringLiteral("the instance lock is not held");
        return false;
    }
    if (!m_server) {
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &InstanceChannel::acceptConnections);
    }
    if (m_server->isListening())
        return true;
    // Holding the lock means whatever socket is there was left by a crash.
    QLocalServer::removeServer(socketPath());
    if (!m_server->listen(socketPath())) {
        if (error)
            *error = m_server->errorString();
        return false;
    }
    return true;
}

bool InstanceChannel::isListening() const
{
    return m_server && m_server->isListening();
}

void InstanceChannel::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection())
        serve(socket);
}

void InstanceChannel::serve(QLocalSocket *socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A client that never finishes its line is dropped.
    QTimer::singleShot(replyTimeout, socket, [socket] { socket->abort(); });
    auto answer = [this, socket] {
        if (socket->property("answered").toBool())
            return;
        QByteArray reply;
        const QByteArray head = socket->peek(maxCommandLength + 1);
        if (const qsizetype end = head.indexOf('\n'); end >= 0) {
            const QByteArray line = head.left(end).trimmed();
            reply = onCommand ? onCommand(line) : s_errorNoHandler;
        } else if (head.size() > maxCommandLength) {
            reply = s_errorTooLong;
        } else {
            return;
        }
        socket->setProperty("answered", true);
        socket->write(reply + '\n');
        socket->flush();
        socket->disconnectFromServer();
    };
    connect(socket, &QLocalSocket::readyRead, this, answer);
    answer();
}

std::optional<QByteArray> InstanceChannel::send(const QString &socketPath,
                                                const QByteArray &command,
                                                std::chrono::milliseconds connectBudget,
                                                std::chrono::milliseconds replyBudget)
{
    QLocalSocket socket;
    QElapsedTimer clock;
    clock.start();
    // The running program may hold the lock but not listen yet: retry
    // refused connections until the budget is spent.
    for (;;) {
        const qint64 left = connectBudget.count() - clock.elapsed();
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(int(qMax<qint64>(left, 0))))
            break;
        socket.abort();
        if (clock.elapsed() + 50 >= connectBudget.count())
            return std::nullopt;
        QThread::msleep(50);
    }

    clock.restart();
    socket.write(command + '\n');
    if (!socket.waitForBytesWritten(int(replyBudget.count())))
        return std::nullopt;
    QByteArray received;
    while (!received.contains('\n')) {
        const qint64 left = replyBudget.count() - clock.elapsed();
        if (left <= 0)
            return std::nullopt;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(left)))
            return std::nullopt;
        received += socket.read(maxCommandLength * 4 - received.size());
        if (received.size() >= maxCommandLength * 4)
            break;
    }
    socket.abort();
    const qsizetype end = received.indexOf('\n');
    return (end < 0 ? received : received.left(end)).trimmed();
}
