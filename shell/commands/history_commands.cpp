#include "commands/history_commands.h"

#include "clipboard_manager.h"
#include "clock.h"
#include "commands/command_client.h"
#include "commands/command_line.h"
#include "commands/history_listing.h"
#include "commands/item_reference.h"
#include "panel_state.h"

#include <algorithm>

using namespace ChannelProtocol;

namespace {

QList<ClipItemPtr> displayOrder(const ClipboardManager &store)
{
    return filterItems(store.items(), {}, FilterCategory::All);
}

} // namespace

std::optional<FilterCategory> HistoryCommands::categoryNamed(const QString &name)
{
    if (name.isEmpty())
        return std::nullopt;
    return filterCategoryFromRaw(name.left(1).toUpper() + name.mid(1).toLower());
}

void HistoryCommands::handle(const Request &request, QByteArray body, const ChannelConnection::Respond &respond)
{
    const QByteArray &command = request.command;
    if (command == CommandClient::runCommand)
        return run(body, respond);
    if (request.bodyLength > 0 && command != "add")
        return respond(Reply::error(QStringLiteral("%1 takes no input").arg(QString::fromLatin1(command))));

    if (command == "ping") {
        respond(Reply::ok());
    } else if (command == "show" || command == "toggle" || command == "quit") {
        // The reply goes out before the request is carried out.
        respond(Reply::ok());
        (command == "show" ? m_services.show : command == "toggle" ? m_services.toggle : m_services.quit)();
    } else if (command == "list") {
        respond(list(request));
    } else if (command == "clear") {
        m_services.store.clearUnpinned();
        respond(Reply::ok());
    } else if (command == "add") {
        add(std::move(body), respond);
    } else if (command == "print" || command == "copy" || command == "paste" || command == "pin"
               || command == "unpin" || command == "delete") {
        onItem(request, respond);
    } else {
        respond(Reply::error(QStringLiteral("unknown command")));
    }
}

void HistoryCommands::run(const QByteArray &arguments, const ChannelConnection::Respond &respond)
{
    if (!arguments.isEmpty() && !arguments.endsWith('\0'))
        return respond(Reply::error(QStringLiteral("malformed arguments")));
    // Decoded as QCoreApplication decodes a process's own arguments.
    QStringList line{QStringLiteral("tavorindle")};
    if (!arguments.isEmpty()) {
        for (const QByteArray &argument : arguments.chopped(1).split('\0'))
            line.append(QString::fromLocal8Bit(argument));
    }
    const CommandLine parsed = CommandLine::parse(line);
    using Kind = CommandLine::Request;
    const bool forUs = parsed.request == Kind::Start || parsed.request == Kind::Toggle
                       || parsed.request == Kind::Quit || parsed.request == Kind::Command;
    if (!forUs || parsed.input != CommandLine::Input::None)
        return respond({CommandClient::runHereStatus, {}});
    handle(parsed.channelRequest, {}, respond);
}

Reply HistoryCommands::list(const Request &request) const
{
    HistoryListing::Options options;
    const QString form = request.argument("form");
    if (form == u"json")
        options.form = HistoryListing::Form::Json;
    else if (form == u"picker")
        options.form = HistoryListing::Form::Picker;
    else if (!form.isEmpty() && form != u"table")
        return Reply::error(QStringLiteral("unknown list form"));
    options.nulSeparated = request.argument("null") == u"1";
    options.now = m_services.store.clock().now();

    FilterCategory filter = FilterCategory::All;
    if (request.has("filter")) {
        const auto category = categoryNamed(request.argument("filter"));
        if (!category)
            return Reply::error(QStringLiteral("unknown filter"));
        filter = *category;
    }
    const QList<ClipItemPtr> &items = m_services.store.items();
    return Reply::stream(HistoryListing::lines(displayOrder(m_services.store),
                                               filterItems(items, request.argument("search"), filter),
                                               options));
}

void HistoryCommands::add(QByteArray body, const ChannelConnection::Respond &respond)
{
    // Judged as a copy is, and decoded off the GUI thread when large; the
    // answer waits until the text has entered.
    using Outcome = CaptureQueue::Outcome;
    m_services.store.captureUtf8(std::move(body), [respond](Outcome outcome) {
        switch (outcome) {
        case Outcome::Entered:
            return respond(Reply::ok());
        case Outcome::Blank:
            return respond(Reply::error(QStringLiteral("nothing to add: the text is blank")));
        case Outcome::NotUtf8:
            return respond(Reply::error(QStringLiteral("the text is not valid UTF-8")));
        }
    });
}

void HistoryCommands::onItem(const Request &request, const ChannelConnection::Respond &respond)
{
    const auto reference = ItemReference::parse(request.argument("item"));
    if (!reference)
        return respond(Reply::error(QStringLiteral("not an item number, id or picker line")));
    const auto found = reference->resolve(displayOrder(m_services.store));
    if (const QString *problem = std::get_if<QString>(&found))
        return respond(Reply::error(*problem));
    const ClipItemPtr item = std::get<ClipItemPtr>(found);
    ClipboardManager &store = m_services.store;

    const QByteArray &command = request.command;
    if (command == "print")
        return respond(Reply::stream(utf8Slices(item->rawContent())));
    if (command == "paste") {
        return m_services.paste(item, [respond](bool pressed) {
            respond(pressed ? Reply::ok()
                            : Reply::error(QStringLiteral(
                                "the item is on the clipboard, but this desktop does not let "
                                "Tavorindle press the paste keys; paste it by hand")));
        });
    }
    if (command == "copy") {
        store.copyToClipboard(item->rawContent());
    } else if (command == "delete") {
        store.deleteItem(item);
    } else if (item->isPinned() != (command == "pin")) {
        store.togglePin(item);
    }
    respond(Reply::ok());
}
