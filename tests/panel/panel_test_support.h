#pragma once

// Shared by the panel tests: a store filled with chosen items and the
// panel's services over it, with pastes, opened addresses and quits recorded
// instead of acted on.

#include "clipboard_manager.h"
#include "history_file.h"
#include "memory/memory_pasteboard.h"
#include "panel_notifications.h"
#include "panel_services.h"
#include "panel_state.h"
#include "test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QList>

namespace PanelTest {

// A stored item with exactly these fields (the type string may be unknown).
inline ClipItemPtr storedItem(const QString &content, const QString &typeRaw, TimeInterval timestamp,
                              bool pinned = false, std::optional<QString> language = std::nullopt)
{
    ClipItem::Stored s;
    s.id = QUuid::createUuid();
    s.rawContent = content;
    s.contentTypeRaw = typeRaw;
    s.detectedLanguage = std::move(language);
    s.title = derivedTitle(content);
    s.timestamp = timestamp;
    s.isPinned = pinned;
    s.wordCount = content.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
    s.charCount = content.size();
    return std::make_shared<ClipItem>(std::move(s));
}

// Text rows "row N text", newest first; every pinnedEvery-th one pinned.
inline QList<ClipItemPtr> textRows(int count, int pinnedEvery = 0)
{
    QList<ClipItemPtr> items;
    for (int i = 0; i < count; ++i)
        items.append(storedItem(QStringLiteral("row %1 text").arg(i), "text", 100000 - i,
                                pinnedEvery > 0 && i % pinnedEvery == pinnedEvery - 1));
    return items;
}

struct Rig
{
    explicit Rig(const QList<ClipItemPtr> &stored = {})
        : services{filled(store, stored), notifications,
                   [this](const ClipItemPtr &item, const std::function<void()> &hide) {
                       // Runs the hide handler it got: a test sees whose dismiss was passed on.
                       pasted.append(item);
                       if (hide)
                           hide();
                   },
                   [this](const QUrl &url) { opened.append(url); }, [this] { ++quits; }}
    {
    }
    ClipboardManager &manager() const { return *store.manager; }
    QList<ClipItemPtr> items() const { return store.manager->items(); }
    std::function<void()> onDismiss() { return [this] { ++dismissed; }; }

    TestSupport::StoreFixture store;
    PanelNotifications notifications;
    QList<ClipItemPtr> pasted;
    int dismissed = 0;
    QList<QUrl> opened;
    int quits = 0;
    PanelServices services;

private:
    // The store reopened over a history file of these items.
    static ClipboardManager &filled(TestSupport::StoreFixture &store, const QList<ClipItemPtr> &items)
    {
        if (!items.isEmpty()) {
            QDir().mkpath(QFileInfo(store.historyPath()).path());
            TestSupport::writeFile(store.historyPath(), HistoryFile::encode(items));
            store.reopen();
            if (store.manager->items().size() != items.size())
                qFatal("the store read %lld of %lld items", qint64(store.manager->items().size()),
                       qint64(items.size()));
        }
        return *store.manager;
    }
};

// The same with the panel's state over the store, wired to the notifications.
struct StateRig : Rig
{
    explicit StateRig(const QList<ClipItemPtr> &stored = {}) : Rig(stored) { state.connectNotifications(notifications); }
    PanelState state{manager(), services.paste, onDismiss()};
};

} // namespace PanelTest
