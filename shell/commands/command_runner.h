#pragma once

#include "commands/channel_client.h"

#include <QString>

#include <optional>

struct CommandLine;

// The command line's side of a command: what it takes from standard input,
// the request to the running program, its data on standard output and its
// message on standard error. The exit status, or nothing when the program
// could not be reached.
std::optional<int> runCommand(const QString &socketPath, const CommandLine &command,
                              ChannelClient::Budgets budgets = {});

// "tavorindle: <message>" on standard error; the exit status of a failure.
int failCommand(const QString &message);
