#include "memory/memory_pasteboard.h"

std::optional<QString> MemoryPasteboard::string() const
{
    ++m_stringReads;
    return m_text;
}

void MemoryPasteboard::clearContents()
{
    ++m_changeCount;
    m_types.reset();
    m_text.reset();
}

void MemoryPasteboard::setString(const QString &text)
{
    ++m_changeCount;
    m_types = QStringList{QStringLiteral("UTF8_STRING")};
    m_text = text;
    m_writes.append(text);
}

void MemoryPasteboard::simulateCopy(const std::optional<QString> &text, const QStringList &types)
{
    ++m_changeCount;
    m_types = types;
    m_text = text;
    emit changed();
}

void MemoryPasteboard::simulateOwnerVanished()
{
    const qint64 before = m_changeCount;
    emit ownerVanished();
    if (m_changeCount != before)
        return;
    ++m_changeCount;
    m_types.reset();
    m_text.reset();
    emit changed();
}
