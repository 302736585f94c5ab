#include "inspector/link_pane.h"

#include "inspector/elided_text_label.h"
#include "style/icon_set.h"
#include "style/named_colors.h"
#include "style/pane_style.h"
#include "style/panel_fonts.h"
#include "panel_services.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace {

class LinkIcon : public QWidget
{
public:
    explicit LinkIcon(QWidget *parent) : QWidget(parent) { setFixedSize(size, size); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.drawPixmap(0, 0, IconSet::tinted(QStringLiteral("link.circle.fill"), NamedColors::blue(),
                                           size, devicePixelRatioF()));
    }

private:
    static constexpr int size = 28;
};

} // namespace

LinkPane::LinkPane(ClipItemPtr item, const PanelServices &services, std::function<void()> onDismiss,
                   QWidget *parent)
    : QWidget(parent), m_item(std::move(item)), m_services(services),
      m_onDismiss(std::move(onDismiss))
{
    auto *card = new PaneCard(this);
    auto *cardRow = new QHBoxLayout(card);
    cardRow->setContentsMargins(12, 12, 12, 12);
    cardRow->setSpacing(10);
    cardRow->addWidget(new LinkIcon(card), 0, Qt::AlignVCenter);

    auto *textColumn = new QVBoxLayout;
    textColumn->setSpacing(2);
    if (const auto host = hostLine(m_item->rawContent())) {
        // Wrapped, not cut: the bound on lines is past any real host name.
        m_host = new ElidedTextLabel(*host, 12, card);
        m_host->setFont(PanelFonts::system(14, QFont::Bold));
        m_host->setForegroundRole(QPalette::Text);
        textColumn->addWidget(m_host);
    }
    m_address = new ElidedTextLabel(m_item->rawContent(), 2, card);
    m_address->setFont(PanelFonts::monospaced(11));
    m_address->setForegroundRole(QPalette::PlaceholderText);
    textColumn->addWidget(m_address);
    cardRow->addLayout(textColumn, 1);

    const QFont buttonFont = PanelFonts::system(11);
    m_open = new PaneButton(QStringLiteral("Open in Browser"), QStringLiteral("arrow.up.right.square"),
                            PaneButton::Style::Prominent, PaneButton::Size::Regular, buttonFont, this);
    m_paste = new PaneButton(QStringLiteral("Paste Link"), QStringLiteral("doc.on.clipboard"),
                             PaneButton::Style::Bordered, PaneButton::Size::Regular, buttonFont, this);
    connect(m_open, &QPushButton::clicked, this, &LinkPane::openInBrowser);
    connect(m_paste, &QPushButton::clicked, this, &LinkPane::pasteLink);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(m_open);
    buttons->addWidget(m_paste);
    buttons->addStretch(1);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    column->addWidget(card);
    column->addLayout(buttons);
    column->addStretch(1);
}

std::optional<QUrl> LinkPane::openableUrl(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

std::optional<QString> LinkPane::hostLine(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    // As the user would write it: Qt keeps the ASCII form for domains outside
    // its list of registries, so "xn--" names would show for some hosts only.
    return QUrl::fromAce(url.host(QUrl::FullyEncoded).toLatin1(), QUrl::IgnoreIDNWhitelist);
}

void LinkPane::openInBrowser()
{
    if (const auto url = openableUrl(m_item->rawContent()); url && m_services.openUrl)
        m_services.openUrl(*url);
}

void LinkPane::pasteLink()
{
    if (m_services.paste)
        m_services.paste(m_item, m_onDismiss);
}
