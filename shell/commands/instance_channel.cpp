#include "commands/instance_channel.h"

#include "commands/command_client.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QSysInfo>

#include <sys/stat.h>

std::optional<QString> InstanceChannel::checkPrivateFolder(const QString &path)
{
    if (const auto problem = CommandClient::privateFolderProblem(QFile::encodeName(path).toStdString()))
        return QFile::decodeName(QByteArray::fromStdString(*problem));
    return std::nullopt;
}

QString InstanceChannel::runtimeFolder(QString *error)
{
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!xdg.isEmpty() && !checkPrivateFolder(xdg))
        return QDir(xdg).absolutePath();

    // Inside the user's own home, where no other user can make it first.
    // The host's name keeps two machines that share a home apart.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        if (error)
            *error = QStringLiteral("no runtime folder and no home folder");
        return {};
    }
    const QString fallback = cache + QStringLiteral("/tavorindle/run-")
                             + QSysInfo::machineHostName().replace(u'/', u'_');
    for (const QString &folder : {cache, QFileInfo(fallback).path(), fallback}) {
        const QByteArray native = QFile::encodeName(folder);
        // The umask may take bits away, never add any; still be sure.
        if (::mkdir(native.constData(), 0700) == 0)
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
    // Before the budget they draw on goes.
    qDeleteAll(findChildren<ChannelConnection *>(Qt::FindDirectChildrenOnly));
}

QString InstanceChannel::socketPath() const
{
    return m_folder + u'/' + QLatin1String(CommandClient::socketName);
}

QString InstanceChannel::lockPath() const
{
    return m_folder + QStringLiteral("/tavorindle.lock");
}

bool InstanceChannel::claim()
{
    return m_lock.isHeld() || m_lock.acquire(lockPath()) == ProcessLock::Outcome::Acquired;
}

bool InstanceChannel::listen(QString *error)
{
    if (!m_lock.isHeld()) {
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

ChannelConnection *InstanceChannel::placeToGiveUp() const
{
    for (ChannelConnection *client : m_clients) {
        if (client->isReadingRequest())
            return client;
    }
    ChannelConnection *stalled = nullptr;
    std::chrono::milliseconds longest = stalledReaderGrace;
    for (ChannelConnection *client : m_clients) {
        if (const auto idle = client->readerIdleFor(); idle && *idle >= longest) {
            longest = *idle;
            stalled = client;
        }
    }
    return stalled;
}

void InstanceChannel::acceptConnections()
{
    m_bodyBudget.setTotal(2 * limits.maxBodyBytes);
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (!onRequest) {
            ChannelConnection::turnAway(socket, "error: not ready");
            continue;
        }
        if (m_clients.size() >= maxClients) {
            if (ChannelConnection *oldest = placeToGiveUp()) {
                oldest->drop();
            } else if (m_refused < maxRefused) {
                // Told while it may still be sending, so it reads "busy"
                // rather than finding the connection gone.
                auto *refused = new ChannelConnection(socket, onRequest, m_bodyBudget, limits, this);
                ++m_refused;
                connect(refused, &ChannelConnection::finished, this, [this] { --m_refused; });
                refused->refuse("busy with other requests; try again");
                continue;
            } else {
                ChannelConnection::turnAway(socket, "error: busy");
                continue;
            }
        }
        auto *connection = new ChannelConnection(socket, onRequest, m_bodyBudget, limits, this);
        m_clients.push_back(connection);
        connect(connection, &ChannelConnection::finished, this,
                [this, connection] { m_clients.remove(connection); });
        connection->start();
    }
}
