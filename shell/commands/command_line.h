#pragma once

#include "commands/channel_protocol.h"

#include <QString>
#include <QStringList>

// What one invocation of the program asks for.
struct CommandLine
{
    enum class Request {
        Start,   // run, or show the running program's panel
        Toggle,  // toggle the running program's panel (starting it if none runs)
        Quit,    // end the running program
        Command, // a command for the running program; never starts one
        Help,
        Version,
        Invalid, // message says why
    };
    // What standard input carries for a command.
    enum class Input {
        None,
        Text,      // the body: a text to add
        Reference, // one line naming the item (the argument was "-")
    };

    Request request = Request::Start;
    QString message; // the help text, the version line or the error
    // What is sent to the running program (for all but Help, Version, Invalid).
    ChannelProtocol::Request channelRequest;
    Input input = Input::None;

    // Parses the arguments (the first is the program's name).
    static CommandLine parse(const QStringList &arguments);
    // The commands' names, as the help and the completions list them.
    static QStringList commandNames();
};
