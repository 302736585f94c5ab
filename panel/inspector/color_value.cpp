#include "inspector/color_value.h"

#include "clip_item.h"
#include "style/named_colors.h"
#include "clipboard_manager.h"
#include "text_rules.h"

#include <limits>

namespace ColorValue {

namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}

char32_t codePointAt(QStringView text, qsizetype i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return QChar::surrogateToUcs4(c, text[i + 1]);
    return c.unicode();
}

// Reads an unsigned hexadecimal number the way a text scanner does: leading
// whitespace and line breaks skipped, an optional "0x"/"0X", then the longest
// run of hex digits. 0 when no digit follows; saturates at the maximum on
// overflow, the remaining digits still being consumed.
quint64 scanHexUInt64(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size()) {
        const char32_t c = codePointAt(text, i);
        if (!TextRules::isWhitespaceOrNewline(c))
            break;
        i += QChar::requiresSurrogates(c) ? 2 : 1;
    }
    // A bare "0x" reads as the number 0 either way.
    if (i + 2 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')
        && hexDigitValue(text[i + 2]) >= 0)
        i += 2;

    constexpr quint64 max = std::numeric_limits<quint64>::max();
    quint64 value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigitValue(text[i]);
        if (digit < 0)
            break;
        value = value > (max >> 4) ? max : (value << 4) | quint64(digit);
    }
    return value;
}

} // namespace

std::optional<QRgb> parseHexRgb(QStringView text)
{
    QString s = TextRules::trimmedWhitespaceAndNewlines(text).toUpper();
    if (s.startsWith(u'#'))
        s.remove(0, 1);
    if (TextRules::graphemeCount(s) != 6)
        return std::nullopt;
    // Six characters hold at most six digits, so the value fits 24 bits.
    const quint64 v = scanHexUInt64(s) & 0xFFFFFF;
    return qRgb(int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF));
}

QColor colorFromHexOrFallback(QStringView text)
{
    const std::optional<QRgb> rgb = parseHexRgb(text);
    if (!rgb)
        return NamedColors::indigo();
    return QColor::fromRgb(*rgb);
}

const QList<CopyFormat> &copyFormats()
{
    static const QList<CopyFormat> formats{CopyFormat::Hex, CopyFormat::NSColor,
                                           CopyFormat::SwiftUIColor};
    return formats;
}

QString copyFormatLabel(CopyFormat format)
{
    switch (format) {
    case CopyFormat::Hex:
        return QStringLiteral("HEX");
    case CopyFormat::NSColor:
        return QStringLiteral("NSColor");
    case CopyFormat::SwiftUIColor:
        break;
    }
    return QStringLiteral("SwiftUI.Color");
}

QString copyText(CopyFormat format, const QString &rawContent)
{
    switch (format) {
    case CopyFormat::Hex:
        return rawContent;
    case CopyFormat::NSColor:
        return QStringLiteral("NSColor(hex: \"") + rawContent + QStringLiteral("\")");
    case CopyFormat::SwiftUIColor:
        break;
    }
    return QStringLiteral("Color(hex: \"") + rawContent + QStringLiteral("\")");
}

void copyToPasteboard(CopyFormat format, const ClipItem &item, ClipboardManager &store)
{
    store.copyToClipboard(copyText(format, item.rawContent()));
}

} // namespace ColorValue
