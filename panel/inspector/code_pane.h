#pragma once

#include "clip_item.h"

#include <QWidget>

struct PanelServices;
class SyntaxHighlighterView;

// The inspector pane of a code item: the code viewer alone. "Copy Clean"
// writes the text trimmed at both ends straight to the clipboard; the
// watcher then takes it like any copy.
class CodePane : public QWidget
{
    Q_OBJECT
public:
    CodePane(ClipItemPtr item, const PanelServices &services, QWidget *parent = nullptr);

    SyntaxHighlighterView *view() const { return m_view; }
    // The item's detected language, or "Code" when it has none.
    static QString languageLabel(const ClipItem &item);

    void copyClean();

private:
    ClipItemPtr m_item;
    const PanelServices &m_services;
    SyntaxHighlighterView *m_view = nullptr;
};
