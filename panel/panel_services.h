#pragma once

#include "clip_item.h"

#include <QUrl>

#include <functional>

class ClipboardManager;
class Pasteboard;
class PanelNotifications;

// What the panel needs from the rest of the program, passed in by the shell
// (and by tests, which record the calls).
struct PanelServices
{
    ClipboardManager &clipboardManager;
    // Copy buttons write here directly; the watcher then sees an ordinary copy.
    Pasteboard &pasteboard;
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
