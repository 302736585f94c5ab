#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

// Plain text wrapped to the widget's width and cut after a number of lines,
// the last one ending in an ellipsis when text remains. Only a bounded
// prefix of the text is laid out, so a huge text costs no more than a
// short one.
class ElidedTextLabel : public QWidget
{
    Q_OBJECT
public:
    ElidedTextLabel(const QString &text, int maximumLines, QWidget *parent = nullptr);

    const QString &text() const { return m_text; }
    // The lines drawn at a width, ellipsis included.
    QStringList displayedLines(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QString m_text;
    int m_maximumLines;
    mutable int m_cachedWidth = -1;
    mutable QStringList m_cachedLines;
};
