// Canonical equivalence for the re-copy rule, linear in the text: ICU's
// quick check finds the prefix already in NFC, and only the rest is
// normalised, in pieces cut where the normaliser guarantees a boundary.
#include "canonical_text.h"

#include "text_rules.h"

#include <QHashFunctions>

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <climits>

namespace TextRules {

namespace {

// Canonical reordering sorts each run of combining marks by insertion, so
// a run of n marks costs n squared.
constexpr int longestMarkRun = 30;
constexpr qsizetype pieceLength = 64 * 1024;

const icu::Normalizer2 *nfc()
{
    static const icu::Normalizer2 *normalizer = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2 *n = icu::Normalizer2::getNFCInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    return normalizer;
}

icu::UnicodeString alias(QStringView text)
{
    return icu::UnicodeString(false, reinterpret_cast<const UChar *>(text.utf16()), int32_t(text.size()));
}

bool hasLongMarkRun(const icu::Normalizer2 &n, QStringView text)
{
    int run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char32_t c = codePointAt(text, i);
        if (c > 0xFFFF)
            ++i;
        run = n.getCombiningClass(static_cast<UChar32>(c)) ? run + 1 : 0;
        if (run > longestMarkRun)
            return true;
    }
    return false;
}

// Calls visit() with consecutive pieces of text's canonical form.
template<typename Visit>
void forEachCanonicalPiece(QStringView text, Visit visit)
{
    const icu::Normalizer2 *n = nfc();
    if (!n || text.size() > INT_MAX / 2) {
        visit(text);
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    const qsizetype span = n->spanQuickCheckYes(alias(text), status);
    if (U_FAILURE(status) || span == text.size() || hasLongMarkRun(*n, text.sliced(span))) {
        visit(text);
        return;
    }
    visit(text.first(span)); // the span ends at a boundary
    icu::UnicodeString out;
    for (qsizetype begin = span; begin < text.size();) {
        qsizetype end = std::min(begin + pieceLength, text.size());
        while (end < text.size()) {
            if (text[end].isLowSurrogate() && text[end - 1].isHighSurrogate())
                ++end;
            else if (n->hasBoundaryBefore(static_cast<UChar32>(codePointAt(text, end))))
                break;
            else
                end += codePointAt(text, end) > 0xFFFF ? 2 : 1;
        }
        n->normalize(alias(text.sliced(begin, end - begin)), out, status);
        if (U_FAILURE(status)) { // out of memory: the rest as it stands
            visit(text.sliced(begin));
            return;
        }
        visit(QStringView(out.getBuffer(), out.length()));
        begin = end;
    }
}

// A hash of a text fed in pieces that depends only on the whole text, not
// on where the pieces were cut: it is taken over fixed blocks.
class BlockHash
{
public:
    void feed(QStringView piece)
    {
        m_total += piece.size();
        while (!piece.isEmpty()) {
            if (m_fill == 0 && piece.size() >= qsizetype(m_block.size())) {
                hashBlock(piece.utf16(), m_block.size());
                piece = piece.sliced(m_block.size());
                continue;
            }
            const qsizetype n = std::min(piece.size(), qsizetype(m_block.size()) - m_fill);
            std::copy_n(piece.utf16(), n, m_block.data() + m_fill);
            m_fill += n;
            piece = piece.sliced(n);
            if (m_fill == qsizetype(m_block.size())) {
                hashBlock(m_block.data(), m_block.size());
                m_fill = 0;
            }
        }
    }

    size_t finish()
    {
        hashBlock(m_block.data(), m_fill);
        return m_hash ^ size_t(m_total);
    }

private:
    void hashBlock(const char16_t *units, qsizetype count)
    {
        // A zero seed would make Qt fall back to a slower hash.
        m_hash = qHashBits(units, size_t(count) * sizeof(char16_t), m_hash ? m_hash : 1);
    }

    std::array<char16_t, 4096> m_block;
    qsizetype m_fill = 0;
    qsizetype m_total = 0;
    size_t m_hash = QHashSeed::globalSeed() ^ size_t(0x9E3779B97F4A7C15ull);
};

QString canonicalForm(QStringView text)
{
    QString form;
    forEachCanonicalPiece(text, [&](QStringView piece) { form += piece; });
    return form;
}

} // namespace

size_t canonicalHash(QStringView text)
{
    BlockHash hash;
    forEachCanonicalPiece(text, [&](QStringView piece) { hash.feed(piece); });
    return hash.finish();
}

bool canonicallyEqual(QStringView a, QStringView b)
{
    return a == b || canonicalForm(a) == canonicalForm(b);
}

} // namespace TextRules
