#include "gnome/bridge_clipboard_state.h"

#include <utility>

quint64 BridgeClipboardState::beginOwnWrite(const QString &text)
{
    m_content.recordOwnWrite(text, {QStringLiteral("text/plain;charset=utf-8")});
    m_concealed = false;
    m_lossPending = false;
    m_awaitedToken = m_nextToken++;
    m_beforeEcho.reset();
    return m_awaitedToken;
}

BridgeClipboardState::Effect BridgeClipboardState::ownWriteFailed(quint64 token)
{
    if (token != m_awaitedToken)
        return Effect::None;
    m_awaitedToken = 0;
    const auto meanwhile = std::exchange(m_beforeEcho, std::nullopt);
    return meanwhile ? applyInOrder(*meanwhile) : Effect::None;
}

BridgeClipboardState::Effect BridgeClipboardState::apply(const BridgeClipboardChange &change)
{
    using Origin = BridgeClipboardChange::Origin;
    if (m_lastSerial && change.serial <= *m_lastSerial)
        return Effect::None;
    m_lastSerial = change.serial;
    if (m_awaitedToken != 0) {
        // Until our write's echo arrives, whatever the bridge sends happened
        // before that write took effect.
        if (change.origin == Origin::Ours && change.token == m_awaitedToken) {
            m_awaitedToken = 0;
            m_beforeEcho.reset();
        } else {
            m_beforeEcho = change;
        }
        return Effect::None;
    }
    return applyInOrder(change);
}

BridgeClipboardState::Effect BridgeClipboardState::applyInOrder(const BridgeClipboardChange &change)
{
    using Origin = BridgeClipboardChange::Origin;
    if (change.initial) {
        publish(change, true);
        return Effect::None;
    }
    if (change.origin == Origin::Ours)
        return Effect::None;
    // Mutter offering again what the owner that quit had offered.
    if (change.origin == Origin::Keeper && hasOwner() && change.concealed == m_concealed
        && (m_concealed || change.text == text())) {
        publish(change, true);
        return Effect::None;
    }
    if (change.origin == Origin::None)
        return hasOwner() ? Effect::Vanished : Effect::None;
    m_lossPending = false;
    publish(change, false);
    return Effect::Changed;
}

bool BridgeClipboardState::finishVanish(qint64 countAtLoss)
{
    if (changeCount() != countAtLoss)
        return false;
    m_content.publish({}, false, false);
    m_concealed = false;
    m_lossPending = true;
    return true;
}

void BridgeClipboardState::bridgeRestarted()
{
    m_lastSerial.reset();
    m_awaitedToken = 0;
    m_beforeEcho.reset();
}

void BridgeClipboardState::publish(const BridgeClipboardChange &change, bool sameContent)
{
    m_concealed = change.concealed;
    const bool owned = change.origin != BridgeClipboardChange::Origin::None;
    m_content.publish({owned ? std::optional(change.types) : std::nullopt,
                       change.concealed ? std::nullopt : change.text},
                      change.origin != BridgeClipboardChange::Origin::Ours, sameContent);
}
