#pragma once

#include "filter_category.h"

#include <QAbstractButton>

// One filter chip: the category's raw value on a rounded background,
// accent and semibold white when selected.
class FilterChip : public QAbstractButton
{
    Q_OBJECT
public:
    explicit FilterChip(FilterCategory category, QWidget *parent = nullptr);

    FilterCategory category() const { return m_category; }
    bool isSelectedChip() const { return m_selected; }
    void setSelectedChip(bool selected);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont chipFont(bool selected) const;

    FilterCategory m_category;
    bool m_selected = false;
};
