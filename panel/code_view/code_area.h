#pragma once

#include "code_view/code_lines.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QString>

#include <vector>

// The code viewer's scrollable body: a gutter of line numbers, a thin
// divider and the code column, one row per line. The text is split once
// into line offsets; only the rows in view are drawn, gutter and code in the
// same pass, so row k of both columns shares one rectangle's top by
// construction. Long lines are never wrapped or cut.
class CodeArea : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr int rowHeight = 18;
    static constexpr int rowSpacing = 3;
    static constexpr int verticalInset = 12;
    static constexpr int gutterInset = 10;
    static constexpr int codeInset = 12;
    static constexpr int minimumContentWidth = 400;
    static constexpr int tabColumns = 4;

    explicit CodeArea(const QString &code, QWidget *parent = nullptr);

    qsizetype lineCount() const { return m_lines.count(); }
    QStringView line(qsizetype index) const { return m_lines.line(m_code, index); }
    CodeLines::LineClass lineClass(qsizetype index) const;

    // Geometry in content coordinates (before scrolling).
    int rowTop(qsizetype index) const;
    int gutterWidth() const { return m_gutterWidth; }
    QRect gutterRowRect(qsizetype index) const;
    QRect codeRowRect(qsizetype index) const;
    QSize contentSize() const;
    // Rows intersecting the viewport, as [first, last].
    std::pair<qsizetype, qsizetype> visibleRows() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent *event) override;

private:
    void measure();
    // The columns' own width, without the minimum.
    int naturalWidth() const;
    void updateScrollBars();
    void drawCodeLine(QPainter &painter, qsizetype index, const QRect &row, int visibleLeft,
                      int visibleRight);
    void widenTo(int codeWidth);

    QString m_code;
    CodeLines::LineIndex m_lines;
    // Line classes, filled in as rows are first drawn (-1: not yet known).
    mutable std::vector<qint8> m_classes;
    QFont m_font;
    qreal m_advance = 7;
    int m_gutterWidth = 0;
    int m_numberWidth = 0;
    // Width of the widest line: estimated from its columns for all lines,
    // raised to the measured width of each row as it is drawn.
    int m_codeWidth = 0;
    int m_maxColumns = 0;
};
