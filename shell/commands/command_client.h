#pragma once

// The command line's end of the channel in plain C++ and POSIX, without Qt,
// so that the small `tavorindle` executable can use it before it decides
// whether to load the program at all (shell/launcher.cpp). The Qt side of
// the command line (ChannelClient, runCommand) is built on it.

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace CommandClient {

// The socket's name in the runtime folder.
inline constexpr char socketName[] = "tavorindle.sock";
// A header or status line longer than this is refused without reading on.
inline constexpr std::ptrdiff_t maxHeaderBytes = 16 * 1024;
// A frame of a data reply larger than this is a broken reply.
inline constexpr std::ptrdiff_t maxFrameBytes = 4 << 20;

// A request that carries the command line's arguments (each ended by a NUL,
// in the body) for the running program to parse and carry out as if sent
// in full. What needs this process (help, a usage error, standard input)
// is answered with runHereStatus, and this process does it itself.
inline constexpr char runCommand[] = "run";
inline constexpr char runHereStatus[] = "here";

struct Budgets
{
    // The running program may hold the lock but not listen yet.
    std::chrono::milliseconds connect{2000};
    // The longest wait for the next bytes, in either direction.
    std::chrono::milliseconds idle{10000};
};

enum class Outcome {
    Unreachable, // no connection
    NoAnswer,    // connected, but no status line in time
    Answered,    // status holds the status line; a data reply arrived whole
    CutOff,      // a data reply ended before its end mark, or was malformed
    SinkClosed,  // the sink refused more data
};

struct Result
{
    Outcome outcome = Outcome::Unreachable;
    std::string status;
};

// Takes each piece of a data reply; false stops the transfer.
using Sink = std::function<bool(std::string_view piece)>;

// Sends one request (its header line, newline included, then the body) and
// streams the reply to the sink. Blocks, as a command-line client may, but
// never longer than its budgets without progress.
Result request(const std::string &socketPath, std::string_view header, std::string_view body,
               const Sink &sink, Budgets budgets = {});

// The same with the data on standard output, the message of a failure on
// standard error: the command line's exit status, or nothing when the
// program could not be reached or answered runHereStatus.
std::optional<int> deliver(const std::string &socketPath, std::string_view header, std::string_view body,
                           Budgets budgets = {});

// "tavorindle: <message>" on standard error; the exit status of a failure.
int fail(std::string_view message);

// Nothing when path is a folder that is ours and closed to everyone else;
// otherwise why not.
std::optional<std::string> privateFolderProblem(const std::string &path);

// The whole command line (argv[0] excluded) for the running program in
// $XDG_RUNTIME_DIR: its exit status, or nothing when this process must do
// the work (no program reached there, or one that hands it back).
std::optional<int> forward(int argc, char **argv);

} // namespace CommandClient
