#pragma once

#include <QList>
#include <QString>

class QTextCursor;

// How the text pane's box holds a text: cut into blocks at the text's own
// line breaks and inside lines too long for one block, since a text view
// lays out a whole block at once. Every line break of any kind ends a block;
// a CR LF pair is one break. The text goes in piece by piece, and positions
// in the box map back to the original, so a copy carries no added breaks.
class TextBlocks
{
public:
    static constexpr qsizetype blockLength = 4096;

    explicit TextBlocks(QString text);

    // Appends about budget more characters of the text through cursor (at
    // the document's end); false once all of it is in.
    bool appendTo(QTextCursor &cursor, qsizetype budget);
    bool done() const { return m_next == m_text.size(); }
    // Whether any letter is written right to left (Hebrew, Arabic, ...).
    bool hasRightToLeft() const;

    // The original offset of a position in the box.
    qsizetype originalOffset(qsizetype documentPosition) const;
    // The original text between two positions in the box.
    QString originalText(qsizetype documentFrom, qsizetype documentTo) const;

private:
    struct Shift
    {
        qsizetype documentPosition; // from here on...
        qsizetype offset;           // ...the original lies this far ahead
    };

    QString m_text;
    qsizetype m_next = 0;
    qsizetype m_documentEnd = 0;
    qsizetype m_lineLength = 0;
    QList<Shift> m_shifts{{0, 0}};
};
