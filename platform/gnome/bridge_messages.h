#pragma once

#include "pasteboard_content.h"

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// What the GNOME Shell bridge tells the program, decoded and checked. The
// shell pushes; nothing here asks it for the clipboard.
namespace BridgeBus {
inline constexpr char bridgeName[] = "app.tavorindle.Bridge";
inline constexpr char bridgePath[] = "/app/tavorindle/Bridge";
inline constexpr char bridgeInterface[] = "app.tavorindle.Bridge1";
inline constexpr char programName[] = "app.tavorindle.Tavorindle";
inline constexpr char programPath[] = "/app/tavorindle/Client";
inline constexpr char programInterface[] = "app.tavorindle.Client1";
inline constexpr char extensionUuid[] = "tavorindle-bridge@tavorindle.app";
inline constexpr char accessDenied[] = "app.tavorindle.Error.AccessDenied";
inline constexpr char invalidArgs[] = "app.tavorindle.Error.InvalidArgs";
} // namespace BridgeBus

struct BridgeClipboardChange
{
    // Who owns the clipboard now: a Wayland or an X11 client, our own write,
    // Mutter's re-offer of the text of an owner that quit, something else in
    // the shell, or nobody.
    enum class Origin { Wayland, X11, Ours, Keeper, Other, None };

    quint64 serial = 0;
    QStringList types;
    bool concealed = false;
    Origin origin = Origin::None;
    // The shell will write the text into a pipe of ours if asked (never for
    // a concealed copy).
    bool textReadable = false;
    // What was read: absent when concealed, not text, unreadable or too long.
    std::optional<QString> text;
    bool tooLong = false;
    // The state found when the program connected: no change.
    bool initial = false;
    // For our own writes: the token that write was sent with.
    quint64 token = 0;
};

struct BridgeFocus
{
    quint64 window = 0;
    QString wmClass;
    QString wmClassInstance;
    qint64 pid = 0;
};

// Nothing when a field is missing or of the wrong type, or when the message
// contradicts itself (concealed text); `error` then says why.
std::optional<BridgeClipboardChange> decodeClipboardChange(const QVariantMap &change, QString *error);
std::optional<BridgeFocus> decodeFocus(const QVariantMap &focus, QString *error);
