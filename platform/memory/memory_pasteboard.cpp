#include "memory/memory_pasteboard.h"

std::optional<QString> MemoryPasteboard::string() const
{
    ++m_stringReads;
    return m_text;
}

void MemoryPasteboard::clearContents()
{
    m_unownedSinceLoss = false;
    ++m_changeCount;
    m_types.reset();
    m_text.reset();
}

void MemoryPasteboard::setString(const QString &text)
{
    m_unownedSinceLoss = false;
    ++m_changeCount;
    m_types = QStringList{QStringLiteral("UTF8_STRING")};
    m_text = text;
    m_writes.append(text);
}

bool MemoryPasteboard::setStringIfUnowned(const QString &text)
{
    if (!m_unownedSinceLoss)
        return false;
    setString(text);
    return true;
}

void MemoryPasteboard::simulateCopy(const std::optional<QString> &text, const QStringList &types)
{
    m_unownedSinceLoss = false;
    ++m_changeCount;
    m_types = types;
    m_text = text;
    if (m_reportsChanges)
        emit changed();
}

void MemoryPasteboard::simulateOwnerVanished(const std::optional<QString> &newerCopy)
{
    const qint64 before = m_changeCount;
    m_unownedSinceLoss = !newerCopy;
    emit ownerVanished();
    if (newerCopy) {
        simulateCopy(newerCopy);
        return;
    }
    if (m_changeCount != before)
        return;
    ++m_changeCount;
    m_types.reset();
    m_text.reset();
    emit changed();
}
