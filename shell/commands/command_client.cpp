#include "commands/command_client.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace CommandClient {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Socket
{
public:
    Socket() = default;
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    ~Socket() { reset(); }

    int fd() const { return m_fd; }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
    return int(std::clamp<long long>(left, 0, 1 << 30));
}

// Waits for events on fd until the deadline; false when none came.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    pollfd entry{fd, events, 0};
    for (;;) {
        const int ready = ::poll(&entry, 1, remainingMs(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

bool connectOnce(Socket &socket, const sockaddr_un &address, Clock::time_point deadline)
{
    socket.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.fd() < 0)
        return false;
    if (::connect(socket.fd(), reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return true;
    // A full backlog: the server may still accept within the budget.
    if (errno != EAGAIN && errno != EINPROGRESS)
        return false;
    if (!waitFor(socket.fd(), POLLOUT, deadline))
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

bool connectWithin(Socket &socket, const std::string &path, milliseconds budget)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const auto start = Clock::now();
    const auto deadline = start + budget;
    for (;;) {
        if (connectOnce(socket, address, deadline))
            return true;
        socket.reset();
        if (Clock::now() + milliseconds(50) >= deadline)
            return false;
        std::this_thread::sleep_for(milliseconds(50));
    }
}

// Writes all of bytes; false when the peer closed or stopped reading for
// the idle budget.
bool sendAll(int fd, std::string_view bytes, milliseconds idle)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            bytes.remove_prefix(size_t(sent));
        } else if (sent < 0 && errno == EINTR) {
        } else if (sent < 0 && errno == EAGAIN) {
            if (!waitFor(fd, POLLOUT, Clock::now() + idle))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// Reads what the socket receives, waiting at most the idle budget for each
// next piece.
class Reader
{
public:
    Reader(int fd, milliseconds idle) : m_fd(fd), m_idle(idle) {}

    // A line without its newline; nothing when none came in time or it
    // grew past maxBytes.
    std::optional<std::string> line(std::ptrdiff_t maxBytes)
    {
        for (size_t searched = 0;;) {
            if (const size_t end = m_buffer.find('\n', searched); end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 1);
                return line;
            }
            searched = m_buffer.size();
            if (std::ptrdiff_t(m_buffer.size()) > maxBytes || !fill())
                return std::nullopt;
        }
    }

    // Hands exactly count bytes to the sink, piece by piece.
    Outcome pass(std::ptrdiff_t count, const Sink &sink)
    {
        while (count > 0) {
            if (m_buffer.empty() && !fill())
                return Outcome::CutOff;
            const size_t size = std::min(size_t(count), m_buffer.size());
            const bool taken = sink(std::string_view(m_buffer).substr(0, size));
            m_buffer.erase(0, size);
            count -= std::ptrdiff_t(size);
            if (!taken)
                return Outcome::SinkClosed;
        }
        return Outcome::Answered;
    }

private:
    bool fill()
    {
        char chunk[65536];
        for (;;) {
            const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (got > 0) {
                m_buffer.append(chunk, size_t(got));
                return true;
            }
            if (got == 0)
                return false;
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN || !waitFor(m_fd, POLLIN, Clock::now() + m_idle))
                return false;
        }
    }

    int m_fd;
    milliseconds m_idle;
    std::string m_buffer;
};

std::optional<std::ptrdiff_t> frameSize(const std::string &line)
{
    const bool hex = !line.empty() && line.size() <= 8
                     && std::all_of(line.begin(), line.end(), [](char c) {
                            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                        });
    if (!hex)
        return std::nullopt;
    const std::ptrdiff_t size = std::strtoll(line.c_str(), nullptr, 16);
    if (size > maxFrameBytes)
        return std::nullopt;
    return size;
}

// A program from before runCommand refuses it in one of the two last ways
// (with arguments, without): then this process does the work, as it did
// then.
bool handsBack(const std::string &status)
{
    return status == runHereStatus || status == "error: run takes no input" || status == "error: unknown command";
}

std::optional<int> deliverReply(const std::string &socketPath, std::string_view header, std::string_view body,
                                Budgets budgets, bool mayHandBack)
{
    int writeError = 0;
    const auto toStdout = [&writeError](std::string_view piece) {
        if (std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size())
            return true;
        writeError = errno;
        return false;
    };
    const Result result = request(socketPath, header, body, toStdout, budgets);
    if (std::fflush(stdout) != 0 && !writeError)
        writeError = errno;
    switch (result.outcome) {
    case Outcome::Unreachable:
        return std::nullopt;
    case Outcome::NoAnswer:
        return fail("the running copy does not answer");
    case Outcome::CutOff:
        return fail("the reply was cut off");
    case Outcome::SinkClosed:
    case Outcome::Answered:
        break;
    }
    if (mayHandBack && handsBack(result.status))
        return std::nullopt;
    if (result.status.starts_with("error: "))
        return fail(std::string_view(result.status).substr(7));
    if (writeError) {
        // A reader that stopped early (head, a closed pager) is no error worth a word.
        if (writeError == EPIPE)
            return 1;
        return fail(std::string("cannot write to standard output: ") + std::strerror(writeError));
    }
    return 0;
}

} // namespace

Result request(const std::string &socketPath, std::string_view header, std::string_view body,
               const Sink &sink, Budgets budgets)
{
    Socket socket;
    if (!connectWithin(socket, socketPath, budgets.connect))
        return {Outcome::Unreachable, {}};

    // A program that refuses the request answers before it read the body,
    // and closes: then the answer is what counts.
    if (sendAll(socket.fd(), header, budgets.idle))
        sendAll(socket.fd(), body, budgets.idle);

    Reader reader(socket.fd(), budgets.idle);
    auto status = reader.line(maxHeaderBytes);
    if (!status)
        return {Outcome::NoAnswer, {}};
    if (*status != "data")
        return {Outcome::Answered, std::move(*status)};
    const Result result{Outcome::Answered, "data"};
    for (;;) {
        const auto header = reader.line(16);
        const auto size = header ? frameSize(*header) : std::nullopt;
        if (!size)
            return {Outcome::CutOff, result.status};
        if (*size == 0)
            return result;
        if (const Outcome outcome = reader.pass(*size, sink); outcome != Outcome::Answered)
            return {outcome, result.status};
    }
}

std::optional<int> deliver(const std::string &socketPath, std::string_view header, std::string_view body,
                           Budgets budgets)
{
    return deliverReply(socketPath, header, body, budgets, false);
}

int fail(std::string_view message)
{
    std::string line = "tavorindle: ";
    line.append(message);
    line += '\n';
    std::fputs(line.c_str(), stderr);
    return 1;
}

std::optional<std::string> privateFolderProblem(const std::string &path)
{
    struct stat target;
    if (::stat(path.c_str(), &target) != 0)
        return path + " does not exist";
    struct stat entry;
    if (::lstat(path.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode))
        return path + " is a symbolic link";
    if (!S_ISDIR(target.st_mode))
        return path + " is not a folder";
    if (target.st_uid != ::getuid())
        return path + " belongs to another user";
    if (target.st_mode & 077)
        return path + " is open to other users";
    return std::nullopt;
}

std::optional<int> forward(int argc, char **argv)
{
    // Only the usual runtime folder; the fallback inside the home is the
    // program's to find.
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/' || privateFolderProblem(runtime))
        return std::nullopt;
    std::string body;
    for (int i = 1; i < argc; ++i) {
        body += argv[i];
        body += '\0';
    }
    const std::string header = std::string(runCommand) + " length=" + std::to_string(body.size()) + '\n';
    // One attempt: a program that holds the lock but does not listen yet is
    // waited for on the long path.
    return deliverReply(std::string(runtime) + '/' + socketName, header, body, {milliseconds(0), Budgets{}.idle},
                        true);
}

} // namespace CommandClient
