#include "code_view/syntax_highlighter_view.h"

#include "code_view/code_area.h"
#include "code_view/code_lines.h"
#include "style/icon_set.h"
#include "style/named_colors.h"
#include "style/pane_style.h"
#include "style/panel_fonts.h"
#include "text_rules.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

constexpr int cornerRadius = 10;

// Cyan chevron icon and the upper-cased language on a cyan tint.
class LanguageBadge : public QWidget
{
public:
    LanguageBadge(const QString &language, QWidget *parent)
        : QWidget(parent), m_text(language.toUpper())
    {
        setFont(PanelFonts::monospaced(11, QFont::Bold));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }

    const QString &text() const { return m_text; }

    QSize sizeHint() const override
    {
        const QFontMetrics fm = fontMetrics();
        return {8 + iconSize + 6 + fm.horizontalAdvance(m_text) + 8,
                4 + qMax(fm.height(), iconSize) + 4};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(NamedColors::withOpacity(NamedColors::cyan(), 0.12));
        p.drawRoundedRect(QRectF(rect()), 6, 6);
        const QPixmap icon =
            IconSet::tinted(QStringLiteral("chevron.left.forwardslash.chevron.right"),
                            NamedColors::cyan(), iconSize, devicePixelRatioF());
        p.drawPixmap(8, (height() - iconSize) / 2, icon);
        p.setPen(NamedColors::cyan());
        p.drawText(QRect(8 + iconSize + 6, 0, width(), height()), Qt::AlignLeft | Qt::AlignVCenter,
                   m_text);
    }

private:
    static constexpr int iconSize = 12;
    QString m_text;
};

class HeaderBar : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), NamedColors::primary(palette(), 0.03));
    }
};

class Divider : public QWidget
{
public:
    explicit Divider(QWidget *parent) : QWidget(parent) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), PaneStyle::separator(palette()));
    }
};

// The rounded border, drawn over the content and blind to the mouse.
class Outline : public QWidget
{
public:
    explicit Outline(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(NamedColors::primary(palette(), 0.08), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    }
};

} // namespace

SyntaxHighlighterView::SyntaxHighlighterView(const QString &code, const QString &language,
                                             std::function<void()> onCopyClean, QWidget *parent)
    : QWidget(parent), m_onCopyClean(std::move(onCopyClean))
{
    m_codeArea = new CodeArea(code, this);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(headerView(code, language));
    column->addWidget(new Divider(this));
    column->addWidget(m_codeArea, 1);

    m_outline = new Outline(this);
    m_outline->raise();
}

QWidget *SyntaxHighlighterView::headerView(const QString &code, const QString &language)
{
    auto *header = new HeaderBar(this);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(14, 10, 14, 10);

    m_badge = new LanguageBadge(language, header);
    m_counts = PaneStyle::label(
        CodeLines::countsLabel(m_codeArea->lineCount(), TextRules::graphemeCount(code)),
        PanelFonts::monospaced(11), PaneStyle::Tone::Secondary, header);
    m_copyClean = new PaneButton(QStringLiteral("Copy Clean"), QStringLiteral("doc.on.doc"),
                                 PaneButton::Style::Bordered, PaneButton::Size::Small,
                                 PanelFonts::system(11, QFont::Medium), header);
    connect(m_copyClean, &QPushButton::clicked, this, [this] {
        if (m_onCopyClean)
            m_onCopyClean();
    });

    row->addWidget(m_badge, 0, Qt::AlignVCenter);
    row->addStretch(1);
    row->addWidget(m_counts, 0, Qt::AlignVCenter);
    row->addWidget(m_copyClean, 0, Qt::AlignVCenter);
    return header;
}

QString SyntaxHighlighterView::badgeText() const
{
    return static_cast<LanguageBadge *>(m_badge)->text();
}

QString SyntaxHighlighterView::countsText() const
{
    return m_counts->text();
}

void SyntaxHighlighterView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_outline->setGeometry(rect());
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}
