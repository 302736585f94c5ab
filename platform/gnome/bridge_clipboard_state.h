#pragma once

#include "gnome/bridge_messages.h"
#include "pasteboard_content.h"

#include <optional>

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
