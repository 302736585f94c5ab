#include "commands/command_line.h"

#include "commands/history_commands.h"
#include "commands/item_reference.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

struct CommandSpec
{
    const char *name;
    const char *summary;
    bool takesItem;
};

constexpr CommandSpec commandSpecs[] = {
    {"list", "List the history: pinned items first, each group newest first.", false},
    {"print", "Write an item's text to standard output, exactly as stored.", true},
    {"copy", "Put an item's text on the clipboard.", true},
    {"paste", "Paste an item into the active window, as Return in the panel does.", true},
    {"pin", "Pin an item: it stays when the history is full or cleared.", true},
    {"unpin", "Unpin an item.", true},
    {"delete", "Delete an item.", true},
    {"clear", "Delete every item that is not pinned.", false},
    {"add", "Record the text on standard input as a new copy.", false},
};

const QString itemHelp = QStringLiteral(
    "A number shown by 'tavorindle list' (1 is the first row), an item's id, a line of "
    "'tavorindle list --picker', or '-' to read one of these from standard input.");

// The message ends with where to find help.
CommandLine invalid(const QString &message, const char *command = nullptr)
{
    CommandLine result;
    result.request = CommandLine::Request::Invalid;
    result.message = QStringLiteral("%1\nTry 'tavorindle %2--help'.")
                         .arg(message, command ? QLatin1String(command) + u' ' : QString());
    return result;
}

QCommandLineOption helpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                              QStringLiteral("Show this help and exit."));
}

// The options part of Qt's help text, under a usage line of our own.
QString helpText(const QCommandLineParser &parser, const QString &usage, const QString &about)
{
    const QString generated = parser.helpText();
    const qsizetype options = generated.indexOf(QStringLiteral("Options:"));
    return QStringLiteral("Usage: %1\n%2\n\n%3").arg(usage, about, generated.mid(options));
}

CommandLine parseCommand(const CommandSpec &spec, const QStringList &arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help = helpOption();
    const QCommandLineOption filter({QStringLiteral("f"), QStringLiteral("filter")},
                                    QStringLiteral("Only items of one category: all, code, links, "
                                                   "text (colours too) or pinned."),
                                    QStringLiteral("category"));
    const QCommandLineOption search({QStringLiteral("s"), QStringLiteral("search")},
                                    QStringLiteral("Only items whose text, title or language "
                                                   "contains this text, in any letter case."),
                                    QStringLiteral("text"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object a line: \"index\" and the "
                                                 "item's stored fields."));
    const QCommandLineOption picker(QStringLiteral("picker"),
                                    QStringLiteral("One line an item, \"<number>: <text>\", the "
                                                   "text on one line, for a launcher to show."));
    const QCommandLineOption null({QStringLiteral("0"), QStringLiteral("null")},
                                  QStringLiteral("End each line with a NUL character instead of a "
                                                 "line feed (with --picker or --json)."));
    parser.addOption(help);
    const QString name = QString::fromLatin1(spec.name);
    const bool isList = name == u"list";
    if (isList)
        parser.addOptions({filter, search, json, picker, null});
    if (spec.takesItem)
        parser.addPositionalArgument(QStringLiteral("ITEM"), itemHelp);

    if (!parser.parse(arguments))
        return invalid(parser.errorText(), spec.name);
    CommandLine result;
    if (parser.isSet(help)) {
        result.request = CommandLine::Request::Help;
        const QString usage = QStringLiteral("tavorindle %1%2").arg(
            name, spec.takesItem ? QStringLiteral(" ITEM") : isList ? QStringLiteral(" [options]") : QString());
        result.message = helpText(parser, usage, QString::fromLatin1(spec.summary));
        return result;
    }
    const QStringList positional = parser.positionalArguments();
    if (spec.takesItem && positional.size() != 1)
        return invalid(positional.isEmpty() ? QStringLiteral("%1 needs an ITEM.").arg(name)
                                            : QStringLiteral("%1 takes one ITEM.").arg(name), spec.name);
    if (!spec.takesItem && !positional.isEmpty())
        return invalid(QStringLiteral("Unexpected argument '%1'.").arg(positional.first()), spec.name);

    result.request = CommandLine::Request::Command;
    result.channelRequest.command = spec.name;
    auto &request = result.channelRequest;
    if (spec.takesItem) {
        const QString &item = positional.first();
        if (item == u"-")
            result.input = CommandLine::Input::Reference;
        else if (!ItemReference::parse(item))
            return invalid(QStringLiteral("'%1' is not an item number, id or picker line.").arg(item), spec.name);
        else
            request.arguments.insert("item", item);
    }
    if (name == u"add")
        result.input = CommandLine::Input::Text;
    if (!isList)
        return result;

    if (parser.isSet(filter)) {
        const QString category = parser.value(filter);
        if (!HistoryCommands::categoryNamed(category))
            return invalid(QStringLiteral("Unknown category '%1': use all, code, links, text or "
                                          "pinned.").arg(category), spec.name);
        request.arguments.insert("filter", category);
    }
    if (parser.isSet(search))
        request.arguments.insert("search", parser.value(search));
    if (parser.isSet(json) && parser.isSet(picker))
        return invalid(QStringLiteral("--json and --picker cannot be used together."), spec.name);
    if (parser.isSet(json) || parser.isSet(picker))
        request.arguments.insert("form", parser.isSet(json) ? QStringLiteral("json") : QStringLiteral("picker"));
    if (parser.isSet(null)) {
        if (!request.has("form"))
            return invalid(QStringLiteral("--null goes with --picker or --json."), spec.name);
        request.arguments.insert("null", QStringLiteral("1"));
    }
    return result;
}

} // namespace

QStringList CommandLine::commandNames()
{
    QStringList names;
    for (const CommandSpec &spec : commandSpecs)
        names.append(QString::fromLatin1(spec.name));
    return names;
}

CommandLine CommandLine::parse(const QStringList &arguments)
{
    if (arguments.size() > 1 && !arguments[1].startsWith(u'-')) {
        for (const CommandSpec &spec : commandSpecs) {
            if (arguments[1] == QLatin1String(spec.name))
                return parseCommand(spec, QStringList{arguments[0]} + arguments.mid(2));
        }
        return invalid(QStringLiteral("Unknown command '%1'.").arg(arguments[1]));
    }

    QCommandLineParser parser;
    const QCommandLineOption help = helpOption();
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption toggle(
        QStringLiteral("toggle"),
        QStringLiteral("Show the panel, or hide it when shown; starts Tavorindle if it is not "
                       "running. Bind it to a key where the global shortcut is not available."));
    const QCommandLineOption quit(QStringLiteral("quit"),
                                  QStringLiteral("End the running Tavorindle."));
    parser.addOptions({help, version, toggle, quit});

    if (!parser.parse(arguments))
        return invalid(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return invalid(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    CommandLine result;
    if (parser.isSet(help)) {
        result.request = Request::Help;
        QString commands;
        for (const CommandSpec &spec : commandSpecs)
            commands += QStringLiteral("  %1%2\n").arg(QLatin1String(spec.name), -8).arg(QLatin1String(spec.summary));
        result.message = helpText(parser, QStringLiteral("tavorindle [options]\n       tavorindle COMMAND [ITEM] [options]"),
                                  QStringLiteral("Clipboard history for the desktop. Run without "
                                                 "options to start it, or to show the panel of the "
                                                 "copy that already runs."))
                         + QStringLiteral("\nCommands (for the running Tavorindle; they never start it):\n")
                         + commands + QStringLiteral("\nITEM: ") + itemHelp
                         + QStringLiteral("\nRun 'tavorindle COMMAND --help' for a command's options.\n"
                                          "Exit status: 0 done, 1 failed, 2 wrong usage.");
        return result;
    }
    if (parser.isSet(version)) {
        result.request = Request::Version;
        result.message = QStringLiteral("tavorindle %1").arg(QCoreApplication::applicationVersion());
        return result;
    }
    if (parser.isSet(toggle) && parser.isSet(quit))
        return invalid(QStringLiteral("--toggle and --quit cannot be used together."));
    result.request = parser.isSet(toggle) ? Request::Toggle : parser.isSet(quit) ? Request::Quit : Request::Start;
    result.channelRequest.command = parser.isSet(toggle) ? "toggle" : parser.isSet(quit) ? "quit" : "show";
    return result;
}
