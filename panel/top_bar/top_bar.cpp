#include "top_bar/top_bar.h"

#include "top_bar/filter_chip.h"
#include "top_bar/options_button.h"
#include "panel_state.h"
#include "top_bar/search_field.h"

#include <QHBoxLayout>

TopBar::TopBar(PanelState &state, const PanelServices &services, QWidget *parent)
    : QWidget(parent), m_search(new SearchField(this)), m_options(new OptionsButton(services, this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(14, 10, 14, 10);
    layout->setSpacing(10);
    layout->addWidget(m_search, 1);

    auto *chips = new QHBoxLayout;
    chips->setSpacing(3);
    for (FilterCategory category : allFilterCategories) {
        auto *chip = new FilterChip(category, this);
        connect(chip, &FilterChip::clicked, &state, [&state, category] { state.chooseFilter(category); });
        chips->addWidget(chip);
        m_chips.append(chip);
    }
    layout->addLayout(chips);
    layout->addWidget(m_options);

    m_search->setText(state.searchText());
    connect(m_search, &SearchField::textEdited, &state, &PanelState::setSearchText);
    connect(&state, &PanelState::searchTextChanged, m_search, &SearchField::setText);
    connect(&state, &PanelState::selectedFilterChanged, this, &TopBar::showFilter);
    showFilter(state.selectedFilter());
}

FilterChip *TopBar::chip(FilterCategory category) const
{
    for (FilterChip *chip : m_chips)
        if (chip->category() == category)
            return chip;
    return nullptr;
}

void TopBar::showFilter(FilterCategory filter)
{
    for (FilterChip *chip : m_chips)
        chip->setSelectedChip(chip->category() == filter);
}
