#include "inspector/text_blocks.h"

#include "code_view/code_lines.h"

#include <QTextCursor>

#include <algorithm>

namespace {

// A long line is cut after a space in its last stretch when there is one,
// so that the cut reads like a wrap.
constexpr qsizetype spaceSearch = 256;

} // namespace

TextBlocks::TextBlocks(QString text) : m_text(std::move(text)) {}

bool TextBlocks::appendTo(QTextCursor &cursor, qsizetype budget)
{
    const qsizetype stop = std::min(m_text.size(), m_next + std::max<qsizetype>(budget, 1));
    QString shown;
    shown.reserve(stop - m_next + (stop - m_next) / blockLength + 2);
    qsizetype i = m_next;
    // Whole blocks only: a step that ends inside a block would have the
    // box lay that block out at once.
    while (i < m_text.size() && (i < stop || m_lineLength > 0)) {
        const QChar c = m_text[i];
        if (CodeLines::isLineSeparator(c)) {
            const bool crlf = c == u'\r' && i + 1 < m_text.size() && m_text[i + 1] == u'\n';
            shown += u'\n';
            m_lineLength = 0;
            i += crlf ? 2 : 1;
            if (crlf)
                m_shifts.append({m_documentEnd + shown.size(), m_shifts.last().offset + 1});
            continue;
        }
        // Up to the next break or a full block.
        qsizetype end = i;
        const qsizetype limit = std::min(m_text.size(), i + (blockLength - m_lineLength));
        while (end < limit && !CodeLines::isLineSeparator(m_text[end]))
            ++end;
        const bool blockFull = m_lineLength + (end - i) >= blockLength
                               && end < m_text.size() && !CodeLines::isLineSeparator(m_text[end]);
        if (blockFull) {
            const qsizetype space = QStringView(m_text).mid(i, end - i).lastIndexOf(u' ');
            if (space >= 0 && i + space + 1 >= end - spaceSearch)
                end = i + space + 1;
            else
                end = std::max(CodeLines::pieceEnd(m_text, end), i + 1);
        }
        for (qsizetype k = i; k < end; ++k) {
            const char16_t u = m_text[k].unicode();
            // These two would open and close frames in the box.
            shown += (u == 0xFDD0 || u == 0xFDD1) ? QChar(QChar::ReplacementCharacter) : m_text[k];
        }
        m_lineLength += end - i;
        i = end;
        if (blockFull) {
            shown += u'\n';
            m_lineLength = 0;
            m_shifts.append({m_documentEnd + shown.size(), m_shifts.last().offset - 1});
        }
    }
    m_next = i;
    cursor.insertText(shown);
    m_documentEnd += shown.size();
    return !done();
}

qsizetype TextBlocks::originalOffset(qsizetype documentPosition) const
{
    const auto after = std::upper_bound(
        m_shifts.begin(), m_shifts.end(), documentPosition,
        [](qsizetype position, const Shift &shift) { return position < shift.documentPosition; });
    const Shift &shift = *(after - 1);
    return std::clamp<qsizetype>(documentPosition + shift.offset, 0, m_text.size());
}

QString TextBlocks::originalText(qsizetype documentFrom, qsizetype documentTo) const
{
    const qsizetype from = originalOffset(std::min(documentFrom, documentTo));
    const qsizetype to = originalOffset(std::max(documentFrom, documentTo));
    return m_text.mid(from, to - from);
}

bool TextBlocks::hasRightToLeft() const
{
    return std::any_of(m_text.cbegin(), m_text.cend(), [](QChar c) {
        const QChar::Direction direction = c.direction();
        return direction == QChar::DirR || direction == QChar::DirAL;
    });
}
