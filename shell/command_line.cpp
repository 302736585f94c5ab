#include "command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Clipboard history for the desktop. Run without options to start it, or to show the "
        "panel of the copy that already runs."));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption toggle(
        QStringLiteral("toggle"),
        QStringLiteral("Show the panel, or hide it when shown; starts Tavorindle if it is not "
                       "running. Bind it to a key where the global shortcut is not available."));
    const QCommandLineOption quit(QStringLiteral("quit"),
                                  QStringLiteral("End the running Tavorindle."));
    parser.addOptions({help, version, toggle, quit});

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.request = Request::Invalid;
        result.message = parser.errorText();
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.request = Request::Invalid;
        result.message = QStringLiteral("Unexpected argument '%1'.")
                             .arg(parser.positionalArguments().first());
        return result;
    }
    if (parser.isSet(help)) {
        result.request = Request::Help;
        result.message = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.request = Request::Version;
        result.message = QStringLiteral("tavorindle %1").arg(QCoreApplication::applicationVersion());
        return result;
    }
    if (parser.isSet(toggle) && parser.isSet(quit)) {
        result.request = Request::Invalid;
        result.message = QStringLiteral("--toggle and --quit cannot be used together.");
        return result;
    }
    if (parser.isSet(toggle))
        result.request = Request::Toggle;
    else if (parser.isSet(quit))
        result.request = Request::Quit;
    return result;
}

QByteArray CommandLine::channelCommand() const
{
    switch (request) {
    case Request::Toggle:
        return "toggle";
    case Request::Quit:
        return "quit";
    case Request::Start:
        return "show";
    case Request::Help:
    case Request::Version:
    case Request::Invalid:
        break;
    }
    return {};
}
