#include "gnome/gnome_pasteboard.h"

#include "concealed_types.h"
#include "gnome/gnome_bridge.h"

#include <QPointer>

#include <fcntl.h>
#include <unistd.h>

GnomePasteboard::GnomePasteboard(std::shared_ptr<GnomeBridge> bridge, PasteboardLimits limits,
                                 QObject *parent)
    : Pasteboard(parent)
    , m_bridge(std::move(bridge))
    , m_limits(limits)
{
    connect(m_bridge.get(), &GnomeBridge::clipboardChanged, this, &GnomePasteboard::onChange);
    connect(m_bridge.get(), &GnomeBridge::connectionChanged, this, [this] { m_state.bridgeRestarted(); });
}

std::optional<QStringList> GnomePasteboard::types() const
{
    if (!m_state.hasOwner())
        return std::nullopt;
    QStringList types = *m_state.types();
    // Mutter's re-offer of a concealed copy has lost the marker; the
    // watcher still has to see one.
    if (m_state.concealed() && !hasConcealedType(types))
        types.append(inheritedConcealmentMarker());
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
    m_reader.reset();
    if (change.textReadable)
        readThenApply(change);
    else
        announce(m_state.apply(change));
}

void GnomePasteboard::readThenApply(const BridgeClipboardChange &change)
{
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        announce(m_state.apply(change));
        return;
    }
    UniqueFd writeEnd(fds[1]);
    m_reader = std::make_unique<PipeTextReader>(UniqueFd(fds[0]), m_limits);
    PipeTextReader *reader = m_reader.get();
    connect(reader, &PipeTextReader::finished, this,
            [this, change](const std::optional<QString> &text, PipeTextReader::Outcome outcome) {
                BridgeClipboardChange withText = change;
                withText.text = text;
                withText.tooLong = outcome == PipeTextReader::Outcome::TooLong;
                m_reader.reset();
                announce(m_state.apply(withText));
            });
    // The reply may outlive this reader: a newer change replaces it.
    QPointer<PipeTextReader> guard(reader);
    // The bus takes a copy of the write end; ours closes here. The text
    // counts once the shell says its transfer completed.
    m_bridge->readText(change.serial, writeEnd.get(), [guard](bool complete) {
        if (guard)
            guard->writerEnded(complete);
    });
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
