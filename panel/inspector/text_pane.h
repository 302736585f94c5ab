#pragma once

#include "clip_item.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;

// The text pane: the item's text, selectable and read-only, with its word
// and character counts and how long ago it was captured.
class TextPane : public QWidget
{
    Q_OBJECT
public:
    // now: the current time, read once, so the relative time does not tick.
    TextPane(const ClipItemPtr &item, TimeInterval now, QWidget *parent = nullptr);

    QPlainTextEdit *textBox() const { return m_text; }
    QLabel *statisticsLabel() const { return m_statistics; }
    QLabel *timeLabel() const { return m_time; }

    static QString statisticsText(qint64 words, qint64 characters);

signals:
    // A long text has finished loading into the text box.
    void loaded();

private:
    void loadText(const QString &text);
    void appendSlice(const QString &text, qsizetype from);

    QPlainTextEdit *m_text;
    QLabel *m_statistics;
    QLabel *m_time;
};
