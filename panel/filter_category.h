#pragma once

#include "clip_item.h"

#include <QString>

#include <array>
#include <optional>

// The filter chips' categories, in chip order.
enum class FilterCategory { All, Code, Links, Text, Pinned };

inline constexpr std::array<FilterCategory, 5> allFilterCategories{
    FilterCategory::All, FilterCategory::Code, FilterCategory::Links, FilterCategory::Text,
    FilterCategory::Pinned};

// "All", "Code", "Links", "Text", "Pinned".
QString rawValue(FilterCategory category);
// Exact, case-sensitive match against the five raw values.
std::optional<FilterCategory> filterCategoryFromRaw(QStringView raw);

// Colour values have no category of their own: they count as text.
bool admits(FilterCategory category, const ClipItem &item);
