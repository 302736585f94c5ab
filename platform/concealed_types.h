#pragma once

#include <QStringList>

// Markers that password managers and similar programs put on the clipboard
// next to the text: a copy that carries any of them is never read or kept.
const QStringList &concealedPasteboardTypes();

// Whether any of the offered target names is a concealed marker (exact match).
bool hasConcealedType(const QStringList &types);
