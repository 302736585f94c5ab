#pragma once

#include <QByteArrayView>

// A validating JSON reader that accepts exactly the texts of RFC 8259 and
// nothing more: no comments, no trailing commas, no single quotes, no NaN,
// no byte order mark. It builds no values; it only answers "is this JSON,
// and what is at its top level". It runs in time linear in the input with a
// fixed nesting limit and no recursion, so hostile text cannot exhaust the
// stack or the clock.
namespace StrictJson {

// Containers nested deeper than this make the text "not JSON".
inline constexpr int defaultMaxDepth = 512;

enum class TopLevel { Invalid, Object, Array, String, Number, Literal };

// Whitespace (space, tab, LF, CR) around the value is allowed. The bytes
// must be well-formed UTF-8 (no overlong forms, no encoded surrogates).
// A \u escape that leaves a surrogate unpaired makes the text invalid: it
// names no character, and it could not survive a round trip through text.
TopLevel check(QByteArrayView utf8, int maxDepth = defaultMaxDepth);

} // namespace StrictJson
