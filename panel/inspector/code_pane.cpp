#include "inspector/code_pane.h"

#include "clipboard_manager.h"
#include "panel_services.h"
#include "code_view/syntax_highlighter_view.h"
#include "text_rules.h"

#include <QVBoxLayout>

CodePane::CodePane(ClipItemPtr item, const PanelServices &services, QWidget *parent)
    : QWidget(parent), m_item(std::move(item)), m_services(services)
{
    m_view = new SyntaxHighlighterView(m_item->rawContent(), languageLabel(*m_item),
                                       [this] { copyClean(); }, this);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

QString CodePane::languageLabel(const ClipItem &item)
{
    return item.detectedLanguage().value_or(QStringLiteral("Code"));
}

void CodePane::copyClean()
{
    const QString text = TextRules::trimmedWhitespaceAndNewlines(m_item->rawContent());
    m_services.clipboardManager.copyToClipboard(text);
}
