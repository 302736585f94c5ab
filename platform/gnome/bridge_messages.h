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

// The clipboard as the bridge reported it, and the change count the
// program compares. Our own writes move the count at once; the bridge's
// echo of a write, whatever it sent before that echo, and anything older
// than what was applied change nothing.
class BridgeClipboardState
{
public:
    enum class Effect {
        None,
        Changed,
        // The owner went away: announce the loss while the snapshot still
        // describes it, then call finishVanish().
        Vanished,
    };

    qint64 changeCount() const { return m_content.changeCount(); }
    // Nothing when nobody owns the clipboard.
    const std::optional<QStringList> &types() const { return m_content.types(); }
    bool concealed() const { return m_concealed; }
    const std::optional<QString> &text() const { return m_content.text(); }
    bool hasOwner() const { return types().has_value(); }

    // Our write: the count moves now. Returns the token to send it with.
    quint64 beginOwnWrite(const QString &text);
    // The bridge refused or never got the write: what it reported meanwhile
    // is the clipboard after all.
    Effect ownWriteFailed(quint64 token);
    Effect apply(const BridgeClipboardChange &change);
    // An owner went away and nothing has changed since.
    bool lossPending() const { return m_lossPending; }
    // Unless something was written meanwhile (the count moved since
    // `countAtLoss`), the clipboard is now empty: true then.
    bool finishVanish(qint64 countAtLoss);
    // A new bridge counts its changes anew.
    void bridgeRestarted();

private:
    Effect applyInOrder(const BridgeClipboardChange &change);
    // With sameContent the counter stays: the clipboard holds what it held.
    void publish(const BridgeClipboardChange &change, bool sameContent);

    PasteboardContent m_content;
    bool m_concealed = false;
    std::optional<quint64> m_lastSerial;
    quint64 m_nextToken = 1;
    quint64 m_awaitedToken = 0;
    std::optional<BridgeClipboardChange> m_beforeEcho;
    bool m_lossPending = false;
};
