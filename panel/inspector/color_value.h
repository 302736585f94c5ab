#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

class ClipItem;
class ClipboardManager;

namespace ColorValue {

// The 8-bit red, green and blue of a six-digit hex notation ("#" optional,
// surrounding whitespace ignored), or nothing for any other text.
std::optional<QRgb> parseHexRgb(QStringView text);

// The swatch colour: the parsed sRGB colour, else the fixed indigo.
QColor colorFromHexOrFallback(QStringView text);

enum class CopyFormat { Hex, NSColor, SwiftUIColor };

// In the order of the pane's buttons.
const QList<CopyFormat> &copyFormats();
QString copyFormatLabel(CopyFormat format);
// rawContent is inserted exactly as stored: no trimming, case change or escaping.
QString copyText(CopyFormat format, const QString &rawContent);

// Clears the pasteboard and writes the format's text. Not a paste: the
// watcher picks the write up like any other copy.
void copyToPasteboard(CopyFormat format, const ClipItem &item, ClipboardManager &store);

} // namespace ColorValue
