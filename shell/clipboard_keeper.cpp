#include "clipboard_keeper.h"

#include "clipboard_manager.h"
#include "concealed_types.h"
#include "pasteboard.h"

ClipboardKeeper::ClipboardKeeper(ClipboardManager &manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
{
    // Direct: the pasteboard still describes the lost content while it emits.
    connect(&manager.pasteboard(), &Pasteboard::ownerVanished, this,
            &ClipboardKeeper::onOwnerVanished, Qt::DirectConnection);
}

void ClipboardKeeper::onOwnerVanished()
{
    if (m_manager.isPasting())
        return;
    const Pasteboard &pasteboard = m_manager.pasteboard();
    const auto types = pasteboard.types();
    if (types && hasConcealedType(*types))
        return;
    // A copy whose capture is still queued is taken in first.
    if (pasteboard.changeCount() != m_manager.lastChangeCount())
        m_manager.checkForChanges();
    if (pasteboard.changeCount() != m_manager.lastChangeCount())
        return;
    const auto text = pasteboard.string();
    if (!text || !m_manager.isNewestCapture(*text))
        return;
    // Exactly what was copied, not the trimmed item; and only onto an empty
    // clipboard: a program that copied meanwhile keeps its copy, which the
    // watcher then records as usual.
    if (m_manager.restoreAsOwn(*text))
        ++m_restored;
}
