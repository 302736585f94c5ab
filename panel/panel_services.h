#pragma once

#include "clip_item.h"

#include <QUrl>

#include <functional>

class ClipboardManager;
class PanelNotifications;

// What the panel needs from the rest of the program, passed in by the shell
// (and by tests, which record the calls).
struct PanelServices
{
    // Copy buttons write through it, as a copy the watcher takes.
    ClipboardManager &clipboardManager;
    PanelNotifications &notifications;
    // Every paste ends here (the auto-paster); hide is the panel's onDismiss.
    std::function<void(const ClipItemPtr &item, const std::function<void()> &hide)> paste;
    // Opens an address with the desktop's default handler.
    std::function<void(const QUrl &url)> openUrl;
    std::function<void()> quit;
};

// Opened by "Website & Documentation".
inline const QUrl &productWebsite()
{
    static const QUrl url(QStringLiteral("https://tavorindle.app/docs"));
    return url;
}
