#pragma once

#include "clip_item.h"
#include "clock.h"

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class ClipboardManager;
class MemoryPasteboard;

namespace TestSupport {

// A clock that only moves when told to.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(TimeInterval start = 800000000.0) : m_now(start) {}
    TimeInterval now() const override { return m_now; }
    void advance(TimeInterval seconds) { m_now += seconds; }
    void set(TimeInterval t) { m_now = t; }

private:
    TimeInterval m_now;
};

// A store over an in-memory clipboard and a history folder of its own,
// with a clock that tests move by hand.
struct StoreFixture
{
    StoreFixture();
    ~StoreFixture();

    QString folderPath() const; // the history's folder
    QString historyPath() const;
    // Puts a history file in place (making its folder), then reopens.
    void writeHistory(const QByteArray &bytes);
    // The history file once the store has written its last change.
    QByteArray saved() const;
    // Another program copies text; then one poll runs, and a large text's
    // analysis is waited for.
    void copy(const QString &text, const QStringList &types = {QStringLiteral("UTF8_STRING")});
    // A fresh store over the same folder (reads the history file again).
    void reopen();

    QTemporaryDir folder;
    ManualClock clock;
    std::unique_ptr<MemoryPasteboard> pasteboard;
    std::unique_ptr<ClipboardManager> manager;
};

ClipItemPtr makeItem(const QString &text, ClipContentType type = ClipContentType::Text,
                     TimeInterval timestamp = 800000000.0, bool pinned = false,
                     std::optional<QString> language = std::nullopt);

// Writes bytes to path, replacing what is there.
void writeFile(const QString &path, const QByteArray &bytes);
QByteArray readFile(const QString &path);
// The permission bits of what path names (following links); -1 if missing.
int fileMode(const QString &path);

// What fn printed on standard output.
QString captureStdout(const std::function<void()> &fn);

// While it lives, the calling thread is refused what file modes refuse,
// even as root (tests run as root on CI): it drops the capabilities that
// override them.
class FileModesEnforced
{
public:
    FileModesEnforced();
    ~FileModesEnforced();
    FileModesEnforced(const FileModesEnforced &) = delete;
    FileModesEnforced &operator=(const FileModesEnforced &) = delete;

private:
    quint32 m_saved[6] = {};
    bool m_changed = false;
};

} // namespace TestSupport
