#pragma once

#include "clip_item.h"

#include <QUrl>
#include <QWidget>

#include <functional>
#include <optional>

struct PanelServices;
class ElidedTextLabel;
class QPushButton;

// The inspector pane of a link: a card with the host and the address, then
// "Open in Browser" and "Paste Link".
class LinkPane : public QWidget
{
    Q_OBJECT
public:
    LinkPane(ClipItemPtr item, const PanelServices &services, std::function<void()> onDismiss,
             QWidget *parent = nullptr);

    // The address as a URL that can be handed to the desktop: it must parse
    // strictly and be absolute (a scheme-less text would otherwise be taken
    // for a local file).
    static std::optional<QUrl> openableUrl(const QString &text);
    // The host shown above the address, when the text parses and has one.
    static std::optional<QString> hostLine(const QString &text);

    void openInBrowser();
    void pasteLink();

    ElidedTextLabel *hostLabel() const { return m_host; }
    ElidedTextLabel *addressLabel() const { return m_address; }
    QPushButton *openButton() const { return m_open; }
    QPushButton *pasteButton() const { return m_paste; }

private:
    ClipItemPtr m_item;
    const PanelServices &m_services;
    std::function<void()> m_onDismiss;
    ElidedTextLabel *m_host = nullptr;
    ElidedTextLabel *m_address = nullptr;
    QPushButton *m_open = nullptr;
    QPushButton *m_paste = nullptr;
};
