#pragma once

#include <QFont>
#include <QPushButton>
#include <QWidget>

class QLabel;

// Fonts, buttons and the card shared by the inspector panes and the code
// viewer. Colours are read from the palette at paint time, so a pane follows
// a palette that changes after it was built.
namespace PaneStyle {

// Primary (QPalette::Text) or secondary (QPalette::PlaceholderText) text.
enum class Tone { Primary, Secondary };
QLabel *label(const QString &text, const QFont &font, Tone tone, QWidget *parent = nullptr);

// The thin rule between stacked parts.
QColor separator(const QPalette &palette);

} // namespace PaneStyle

// A push button drawn in the panel's flat style: bordered (a light fill) or
// prominent (filled with the accent colour), at the small or the default
// control size.
class PaneButton : public QPushButton
{
    Q_OBJECT
public:
    enum class Style { Bordered, Prominent };
    enum class Size { Small, Regular };

    PaneButton(const QString &text, const QString &iconName, Style style, Size size,
               const QFont &font, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    int iconSize() const;
    int horizontalPadding() const;

    QString m_iconName;
    Style m_style;
    Size m_size;
};

// Content with insets 12, stretched to the full width, on primary at
// opacity 0.04, rounded to radius 10.
class PaneCard : public QWidget
{
    Q_OBJECT
public:
    explicit PaneCard(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
