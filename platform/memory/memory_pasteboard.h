#pragma once

#include "pasteboard.h"

// An in-process clipboard for tests: "other programs" copy through
// simulateCopy(), and every write of ours is recorded.
class MemoryPasteboard : public Pasteboard
{
    Q_OBJECT
public:
    using Pasteboard::Pasteboard;

    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QStringList> types() const override { return m_types; }
    std::optional<QString> string() const override;
    void clearContents() override;
    void setString(const QString &text) override;
    bool setStringIfUnowned(const QString &text) override;
    bool reportsChanges() const override { return m_reportsChanges; }
    // A backend that does not report every change: simulateCopy() then
    // says nothing, and only a poll finds the copy.
    void setReportsChanges(bool reports) { m_reportsChanges = reports; }

    // Another program takes the clipboard with these targets and text.
    void simulateCopy(const std::optional<QString> &text,
                      const QStringList &types = {QStringLiteral("UTF8_STRING")});

    // The program that owned the clipboard quits: ownerVanished() first,
    // then, unless a receiver wrote the clipboard meanwhile, it becomes empty.
    // With newerCopy, another program took the clipboard before the loss
    // was handled: the loss is still announced with the lost content, but
    // the clipboard is no longer unowned, and the newer copy follows.
    void simulateOwnerVanished(const std::optional<QString> &newerCopy = std::nullopt);

    // Every text written by setString(), in order.
    const QStringList &writes() const { return m_writes; }
    // How often string() was asked: the watcher must not read concealed text.
    int stringReads() const { return m_stringReads; }

private:
    qint64 m_changeCount = 0;
    std::optional<QStringList> m_types;
    std::optional<QString> m_text;
    QStringList m_writes;
    bool m_unownedSinceLoss = false;
    mutable int m_stringReads = 0;
    bool m_reportsChanges = true;
};
