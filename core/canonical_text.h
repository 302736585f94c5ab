#pragma once

#include <QStringView>

#include <cstddef>

namespace TextRules {

// Canonical equivalence, in time linear in the text: texts are compared in
// their NFC form. A text with a run of more than 30 combining marks in a
// row (no real writing needs that many) is its own canonical form, so that
// no input makes the comparison slower than linear.
size_t canonicalHash(QStringView text);
bool canonicallyEqual(QStringView a, QStringView b);

} // namespace TextRules
