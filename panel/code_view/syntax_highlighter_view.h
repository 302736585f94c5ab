#pragma once

#include <QWidget>

#include <functional>

class CodeArea;
class QLabel;
class QPushButton;

// One code snippet, read-only: a header (language badge, line and character
// counts, "Copy Clean"), a divider and the line-numbered code area, clipped
// to a rounded rectangle. It keeps no state beyond what it was given.
class SyntaxHighlighterView : public QWidget
{
    Q_OBJECT
public:
    SyntaxHighlighterView(const QString &code, const QString &language,
                          std::function<void()> onCopyClean, QWidget *parent = nullptr);

    CodeArea *codeArea() const { return m_codeArea; }
    QString badgeText() const;
    QString countsText() const;
    QPushButton *copyCleanButton() const { return m_copyClean; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QWidget *headerView(const QString &code, const QString &language);

    std::function<void()> m_onCopyClean;
    CodeArea *m_codeArea = nullptr;
    QWidget *m_badge = nullptr;
    QLabel *m_counts = nullptr;
    QPushButton *m_copyClean = nullptr;
    QWidget *m_outline = nullptr;
};
