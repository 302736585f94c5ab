#pragma once

#include "gnome/bridge_clipboard_state.h"
#include "pasteboard.h"
#include "pipe_text_reader.h"

#include <memory>

class GnomeBridge;

// The clipboard as GNOME Shell's bridge reports it. Our writes go through
// the shell too: Mutter ignores a clipboard write from a program that had
// no input event yet.
class GnomePasteboard final : public Pasteboard
{
    Q_OBJECT
public:
    explicit GnomePasteboard(std::shared_ptr<GnomeBridge> bridge, PasteboardLimits limits = {},
                             QObject *parent = nullptr);

    qint64 changeCount() const override { return m_state.changeCount(); }
    std::optional<QStringList> types() const override;
    std::optional<QString> string() const override;
    void clearContents() override;
    void setString(const QString &text) override;
    // The shell decides, as it sets the clipboard, whether anything owns it:
    // true here means asked for; a refusal later brings back what the shell
    // reported meanwhile.
    bool setStringIfUnowned(const QString &text) override;

private:
    void write(const QString &text, bool onlyIfUnowned);
    void onChange(const BridgeClipboardChange &change);
    // The change counts once its text is in; a newer change drops the read.
    void readThenApply(const BridgeClipboardChange &change);
    void announce(BridgeClipboardState::Effect effect);

    std::shared_ptr<GnomeBridge> m_bridge;
    PasteboardLimits m_limits;
    BridgeClipboardState m_state;
    std::unique_ptr<PipeTextReader> m_reader;
    bool m_vanishing = false;
};
