#pragma once

#include "filter_category.h"

#include <QList>
#include <QWidget>

class FilterChip;
class OptionsButton;
class PanelState;
class SearchField;
struct PanelServices;

// The search field, the filter chips and the options button, bound to the
// panel state.
class TopBar : public QWidget
{
    Q_OBJECT
public:
    TopBar(PanelState &state, const PanelServices &services, QWidget *parent = nullptr);

    SearchField *searchField() const { return m_search; }
    FilterChip *chip(FilterCategory category) const;
    OptionsButton *optionsButton() const { return m_options; }

private:
    void showFilter(FilterCategory filter);

    SearchField *m_search;
    QList<FilterChip *> m_chips;
    OptionsButton *m_options;
};
