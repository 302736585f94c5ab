#pragma once

#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

// What the native clipboard backends share: how long they wait for
// another program and how much they take, the snapshot the watcher reads,
// and the counter that moves with each change.

// Text types in the order they are read where owners offer MIME types
// (Wayland, the GNOME bridge's extension).
inline constexpr const char *textMimeTypes[] = {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain"};

struct PasteboardLimits
{
    // For the list of types, where the protocol asks for it separately.
    std::chrono::milliseconds targetsTimeout{1000};
    // For the text; restarted by every piece that arrives.
    std::chrono::milliseconds dataTimeout{3000};
    qint64 maxBytes = qint64(64) << 20;
    // How long a program reading our content may take between pieces.
    std::chrono::milliseconds serveTimeout{5000};
    // Large content is read in slices that fit a pipe's or a socket's
    // buffer, as many per turn of the event loop as fit the budget, so that
    // no turn stalls the program.
    qint64 sliceBytes = 64 * 1024;
    std::chrono::milliseconds readTurnBudget{3};
};

struct PasteboardSnapshot
{
    std::optional<QStringList> types;
    std::optional<QString> text;
};

// The content last learnt and the change counter, read by changeCount(),
// types() and string() at no cost.
class PasteboardContent
{
public:
    qint64 changeCount() const { return m_changeCount; }
    const std::optional<QStringList> &types() const { return m_snapshot.types; }
    const std::optional<QString> &text() const { return m_snapshot.text; }
    // Whether the snapshot is another program's complete content, so that
    // its loss is worth announcing.
    bool isForeign() const { return m_foreign; }

    // Content another program put there. The one present when we start is
    // no change. Returns whether the counter moved.
    bool publish(PasteboardSnapshot snapshot, bool foreign, bool initial)
    {
        m_snapshot = std::move(snapshot);
        m_foreign = foreign;
        if (initial)
            return false;
        ++m_changeCount;
        return true;
    }
    // Our own write, counted before the write returns.
    void recordOwnWrite(std::optional<QString> text, const QStringList &offeredTypes)
    {
        m_snapshot.types = text ? offeredTypes : QStringList{};
        m_snapshot.text = std::move(text);
        m_foreign = false;
        ++m_changeCount;
    }

private:
    qint64 m_changeCount = 0;
    PasteboardSnapshot m_snapshot;
    bool m_foreign = false;
};
