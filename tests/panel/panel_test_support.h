#pragma once

// Shared by the panel tests: a store filled with chosen items, and a paste
// recorder standing in for the auto-paster.

#include "clipboard_manager.h"
#include "history_file.h"
#include "test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QTest>

#include <functional>

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

// Writes the items as the history file and reopens the store over it.
inline void fillStore(TestSupport::StoreFixture &fixture, const QList<ClipItemPtr> &items)
{
    QDir().mkpath(QFileInfo(fixture.historyPath()).path());
    TestSupport::writeFile(fixture.historyPath(), HistoryFile::encode(items));
    fixture.reopen();
    QCOMPARE(fixture.manager->items().size(), items.size());
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

struct PasteRecorder
{
    QList<ClipItemPtr> pasted;
    int dismissed = 0;

    // The paste path: records the item and runs the hide handler it got,
    // so a test sees that the panel's onDismiss was passed on.
    std::function<void(const ClipItemPtr &, const std::function<void()> &)> handler()
    {
        return [this](const ClipItemPtr &item, const std::function<void()> &hide) {
            pasted.append(item);
            if (hide)
                hide();
        };
    }
    std::function<void()> onDismiss()
    {
        return [this] { ++dismissed; };
    }
};

} // namespace PanelTest
