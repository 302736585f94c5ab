#pragma once

#include "clip_item.h"

#include <QWidget>

#include <memory>

class QLabel;
class QPlainTextEdit;
class QTextCursor;
class TextBlocks;

// The text pane: the item's text, selectable and read-only, with its word
// and character counts and how long ago it was captured. However long the
// text, only the part in view is laid out.
class TextPane : public QWidget
{
    Q_OBJECT
public:
    // now: the current time, read once, so the relative time does not tick.
    TextPane(const ClipItemPtr &item, TimeInterval now, QWidget *parent = nullptr);
    ~TextPane() override;

    QPlainTextEdit *textBox() const;
    QLabel *statisticsLabel() const { return m_statistics; }
    QLabel *timeLabel() const { return m_time; }
    // The pane drawn again: the age read anew against now.
    void showTime(TimeInterval now);

    static QString statisticsText(qint64 words, qint64 characters);

signals:
    // A long text has finished loading into the text box.
    void loaded();

private:
    class TextBox;
    void loadText();
    void loadMore();

    ClipItemPtr m_item;
    std::shared_ptr<TextBlocks> m_blocks;
    std::unique_ptr<QTextCursor> m_cursor;
    TextBox *m_text;
    QLabel *m_statistics;
    QLabel *m_time;
};
