#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What one invocation of the program asks for.
struct CommandLine
{
    enum class Request {
        Start,   // run, or show the running program's panel
        Toggle,  // toggle the running program's panel (starting it if none runs)
        Quit,    // end the running program
        Help,
        Version,
        Invalid, // message says why
    };

    Request request = Request::Start;
    QString message; // the help text, the version line or the error

    // Parses the arguments (the first is the program's name).
    static CommandLine parse(const QStringList &arguments);
    // The line sent to a running program for this request.
    QByteArray channelCommand() const;
};
