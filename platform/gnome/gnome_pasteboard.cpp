#include "gnome/gnome_pasteboard.h"

#include "concealed_types.h"
#include "gnome/gnome_bridge.h"

GnomePasteboard::GnomePasteboard(std::shared_ptr<GnomeBridge> bridge, QObject *parent)
    : Pasteboard(parent)
    , m_bridge(std::move(bridge))
{
    connect(m_bridge.get(), &GnomeBridge::clipboardChanged, this, &GnomePasteboard::onChange);
    connect(m_bridge.get(), &GnomeBridge::connectionChanged, this, [this] { m_state.bridgeRestarted(); });
}

std::optional<QStringList> GnomePasteboard::types() const
{
    if (!m_state.hasOwner())
        return std::nullopt;
    QStringList types = m_state.types();
    // Mutter's re-offer of a concealed copy has lost the marker; the
    // watcher still has to see one.
    if (m_state.concealed() && !hasConcealedType(types))
        types.append(QStringLiteral("x-kde-passwordManagerHint"));
    return types;
}

std::optional<QString> GnomePasteboard::string() const
{
    return m_state.concealed() ? std::nullopt : m_state.text();
}

void GnomePasteboard::clearContents()
{
    setString(QString());
}

void GnomePasteboard::setString(const QString &text)
{
    write(text, false);
}

bool GnomePasteboard::setStringIfUnowned(const QString &text)
{
    if (!m_vanishing && !m_state.lossPending())
        return false;
    write(text, true);
    return true;
}

void GnomePasteboard::write(const QString &text, bool onlyIfUnowned)
{
    const quint64 token = m_state.beginOwnWrite(text);
    m_bridge->setClipboard(token, text, onlyIfUnowned, [this, token](bool ok) {
        if (!ok)
            announce(m_state.ownWriteFailed(token));
    });
}

void GnomePasteboard::onChange(const BridgeClipboardChange &change)
{
    announce(m_state.apply(change));
}

void GnomePasteboard::announce(BridgeClipboardState::Effect effect)
{
    switch (effect) {
    case BridgeClipboardState::Effect::None:
        return;
    case BridgeClipboardState::Effect::Changed:
        emit changed();
        return;
    case BridgeClipboardState::Effect::Vanished: {
        const qint64 before = m_state.changeCount();
        m_vanishing = true;
        emit ownerVanished();
        m_vanishing = false;
        if (m_state.finishVanish(before))
            emit changed();
        return;
    }
    }
}
