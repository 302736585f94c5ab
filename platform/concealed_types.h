#pragma once

#include <QStringList>

// Markers that password managers and similar programs put on the clipboard
// next to the text: a copy that carries any of them is never read or kept.
const QStringList &concealedPasteboardTypes();
// The marker put on a copy that is concealed by what came before it (an
// offer again of a concealed copy that lost its own markers on the way).
QString inheritedConcealmentMarker();

// Real programs offer a few dozen types. A longer list is not taken in
// whole, so a marker could hide past the cut: such a copy counts as
// concealed. Backends keep at most one type more than this, to tell.
inline constexpr qsizetype maxOfferedTypes = 1024;

// Whether the offered target names carry a concealed marker (exact
// match), or are too many to tell.
bool hasConcealedType(const QStringList &types);
