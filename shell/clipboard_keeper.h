#pragma once

#include <QObject>

class ClipboardManager;

// Keeps the clipboard's text alive when the program that copied it quits
// (on X11 the content lives in its owner). When the lost content is the
// newest history item, it is offered again exactly as it was copied, as
// our own write that the watcher does not record, and only while no other
// program has taken the clipboard since. Content that was concealed is
// never brought back.
class ClipboardKeeper : public QObject
{
    Q_OBJECT
public:
    explicit ClipboardKeeper(ClipboardManager &manager, QObject *parent = nullptr);

    // How many times content was offered again.
    int restoredCount() const { return m_restored; }

private:
    void onOwnerVanished();

    ClipboardManager &m_manager;
    int m_restored = 0;
};
