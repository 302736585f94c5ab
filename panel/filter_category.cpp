#include "filter_category.h"

QString rawValue(FilterCategory category)
{
    switch (category) {
    case FilterCategory::All: return QStringLiteral("All");
    case FilterCategory::Code: return QStringLiteral("Code");
    case FilterCategory::Links: return QStringLiteral("Links");
    case FilterCategory::Text: return QStringLiteral("Text");
    case FilterCategory::Pinned: return QStringLiteral("Pinned");
    }
    return QStringLiteral("All");
}

std::optional<FilterCategory> filterCategoryFromRaw(QStringView raw)
{
    for (FilterCategory category : allFilterCategories) {
        if (raw == rawValue(category))
            return category;
    }
    return std::nullopt;
}

bool admits(FilterCategory category, const ClipItem &item)
{
    switch (category) {
    case FilterCategory::All: return true;
    case FilterCategory::Code: return item.contentType() == ClipContentType::Code;
    case FilterCategory::Links: return item.contentType() == ClipContentType::Link;
    case FilterCategory::Text: {
        const ClipContentType type = item.contentType();
        return type == ClipContentType::Text || type == ClipContentType::Color;
    }
    case FilterCategory::Pinned: return item.isPinned();
    }
    return false;
}
