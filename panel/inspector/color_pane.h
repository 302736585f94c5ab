#pragma once

#include "clip_item.h"
#include "inspector/color_value.h"

#include <QWidget>

struct PanelServices;
class QLabel;
class QPushButton;

// The inspector pane of a colour: a swatch card and the three copy formats.
// The copies go straight to the clipboard, not through the paste sequence.
class ColorPane : public QWidget
{
    Q_OBJECT
public:
    ColorPane(ClipItemPtr item, const PanelServices &services, QWidget *parent = nullptr);

    QLabel *valueLabel() const { return m_value; }
    QPushButton *copyButton(ColorValue::CopyFormat format) const;

private:
    ClipItemPtr m_item;
    const PanelServices &m_services;
    QLabel *m_value = nullptr;
    QList<QPushButton *> m_buttons;
};
