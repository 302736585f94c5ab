// Decodes arbitrary bytes as a history file. A decode either fails with a
// reason and no items, or succeeds; a success must survive a round trip
// through encode and decode unchanged.
#include "history_file.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool sameItems(const QList<ClipItemPtr> &a, const QList<ClipItemPtr> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const ClipItem::Stored &x = a[i]->stored();
        const ClipItem::Stored &y = b[i]->stored();
        const bool sameTime = x.timestamp == y.timestamp || (x.timestamp != x.timestamp && y.timestamp != y.timestamp);
        if (x.id != y.id || x.rawContent != y.rawContent || x.contentTypeRaw != y.contentTypeRaw
            || x.detectedLanguage != y.detectedLanguage || x.title != y.title || !sameTime
            || x.isPinned != y.isPinned || x.wordCount != y.wordCount || x.charCount != y.charCount)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const HistoryFile::DecodeResult first = HistoryFile::decode(bytes);
    if (!first.ok()) {
        check(first.items.isEmpty());
        return 0;
    }
    const HistoryFile::DecodeResult second = HistoryFile::decode(HistoryFile::encode(first.items));
    check(second.ok());
    check(sameItems(first.items, second.items));
    return 0;
}
