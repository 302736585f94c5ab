#pragma once

#include "commands/channel_connection.h"
#include "process_lock.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>

#include <functional>
#include <list>
#include <memory>
#include <optional>

class QLocalServer;

// Keeps one running program per user and lets later invocations talk to it:
// a kernel lock on a file decides who runs, a local socket carries the
// requests. Both live in the user's runtime folder.
class InstanceChannel : public QObject
{
    Q_OBJECT
public:
    // Clients served at once, so that a flood of connections cannot use up
    // the process's file descriptors. A client past the limit takes the
    // place of the oldest one still sending its request, else of the one
    // that has left its reply unread the longest (past a grace time); when
    // all are busy, it is told so.
    static constexpr int maxClients = 64;
    static constexpr std::chrono::milliseconds stalledReaderGrace{1000};
    // Clients being told that all places are taken, at most.
    static constexpr int maxRefused = 16;

    // $XDG_RUNTIME_DIR when it is a folder only we can use; otherwise a
    // private 0700 folder in the user's cache folder (made if missing),
    // which no other user can make first. Empty, with the reason in
    // *error, when no such folder can be had.
    static QString runtimeFolder(QString *error = nullptr);
    // A folder that is ours and closed to everyone else, or the reason not.
    static std::optional<QString> checkPrivateFolder(const QString &path);

    explicit InstanceChannel(const QString &folder, QObject *parent = nullptr);
    ~InstanceChannel() override;

    QString socketPath() const;
    QString lockPath() const;

    // Takes the lock, held while this object lives; a lock file left
    // behind, whatever it holds, is free. True: this process is the one
    // that runs.
    bool claim();
    // The process that holds the lock when claim() failed, 0 if unknown.
    qint64 holderPid() const { return m_lock.holderPid(); }
    // Opens the socket for commands; a socket left behind is replaced.
    bool listen(QString *error = nullptr);
    bool isListening() const;

    // Called with each request; without it every request is refused.
    ChannelConnection::Handler onRequest;
    ChannelConnection::Limits limits;
    int clientCount() const { return int(m_clients.size()); }

private:
    void acceptConnections();
    // The client that makes way for a new one past the limit, if any.
    ChannelConnection *placeToGiveUp() const;

    QString m_folder;
    ProcessLock m_lock;
    QLocalServer *m_server = nullptr;
    // Twice the largest body (limits.maxBodyBytes): two large requests at
    // once, not a hundred.
    BodyBudget m_bodyBudget{0};
    // Oldest first.
    std::list<ChannelConnection *> m_clients;
    int m_refused = 0;
};
