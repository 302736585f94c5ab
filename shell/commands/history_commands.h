#pragma once

#include "commands/channel_connection.h"
#include "clip_item.h"
#include "filter_category.h"

#include <functional>
#include <optional>

class ClipboardManager;

// Carries out the requests of the command line in the running program,
// through the same store operations, filtering and paste path as the panel.
class HistoryCommands
{
public:
    struct Services
    {
        ClipboardManager &store;
        // The panel's paste path. finished(true) once the paste keys were
        // pressed and the target had its time to read the clipboard;
        // finished(false) at once when no keys can be pressed here.
        std::function<void(const ClipItemPtr &, std::function<void(bool pressed)> finished)> paste;
        std::function<void()> show;
        std::function<void()> toggle;
        std::function<void()> quit;
    };

    explicit HistoryCommands(Services services) : m_services(std::move(services)) {}

    void handle(const ChannelProtocol::Request &request, QByteArray body,
                const ChannelConnection::Respond &respond);

    // "code" or "Code" alike; nothing for a name that is no category.
    static std::optional<FilterCategory> categoryNamed(const QString &name);

private:
    // A whole command line, parsed here and carried out when it needs
    // nothing of the process that sent it.
    void run(const QByteArray &arguments, const ChannelConnection::Respond &respond);
    ChannelProtocol::Reply list(const ChannelProtocol::Request &request) const;
    void add(QByteArray body, const ChannelConnection::Respond &respond);
    void onItem(const ChannelProtocol::Request &request, const ChannelConnection::Respond &respond);

    Services m_services;
};
