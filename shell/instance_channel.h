#pragma once

#include <QByteArray>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

// Keeps one running program per user and lets later invocations talk to it:
// a lock file decides who runs, a local socket carries one-line commands.
// Both live in the user's runtime folder.
class InstanceChannel : public QObject
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds connectTimeout{2000};
    static constexpr std::chrono::milliseconds replyTimeout{2000};
    // A command line longer than this is refused.
    static constexpr int maxCommandLength = 64;

    // $XDG_RUNTIME_DIR when it is a folder only we can use; otherwise a
    // private 0700 folder /tmp/tavorindle-<uid> (made if missing). Empty,
    // with the reason in *error, when no such folder can be had.
    static QString runtimeFolder(QString *error = nullptr);
    // A folder that is ours and closed to everyone else, or the reason not.
    static std::optional<QString> checkPrivateFolder(const QString &path);

    explicit InstanceChannel(const QString &folder, QObject *parent = nullptr);
    ~InstanceChannel() override;

    QString socketPath() const;
    QString lockPath() const;

    // Takes the lock (a lock left by a process that died counts as free).
    // True: this process is the one that runs.
    bool claim();
    // Opens the socket for commands; a socket left behind is replaced.
    bool listen(QString *error = nullptr);
    bool isListening() const;

    // Called with each command received; returns the reply line.
    std::function<QByteArray(const QByteArray &command)> onCommand;

    // Sends one command to the running program and returns its reply, or
    // nothing when it cannot be reached or does not answer in time.
    static std::optional<QByteArray> send(const QString &socketPath, const QByteArray &command,
                                          std::chrono::milliseconds connectBudget = connectTimeout,
                                          std::chrono::milliseconds replyBudget = replyTimeout);

private:
    void acceptConnections();
    void serve(QLocalSocket *socket);

    QString m_folder;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
