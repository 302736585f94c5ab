#pragma once

#include "clip_item.h"

#include <QString>
#include <QStringView>

#include <optional>

// What a captured text is: a colour value, a web link, code in some
// language, or plain text. Pure functions; every step costs time linear in
// the text, whatever the text.
namespace Classifier {

struct Classification
{
    ClipContentType type = ClipContentType::Text;
    std::optional<QString> language; // only for ClipContentType::Code

    friend bool operator==(const Classification &, const Classification &) = default;
};

// Trims the text (whitespace and line breaks at both ends) and runs the
// colour, link and code tests in that order; the first that holds wins.
Classification classify(QStringView content);

// The steps, on already trimmed text.
bool isColorValue(QStringView t);
bool isWebURL(QStringView t);
std::optional<QString> detectCodeLanguage(QStringView t);

} // namespace Classifier
