#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QStringList>

// The system font at a pixel size, so that layout numbers hold as written.
namespace PanelFonts {

inline QFont system(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

// The desktop's fixed font when it is one; some settings (an empty font
// section in a theme tool's file) hand out a proportional font instead,
// which would break the columns of code and counts.
inline QFont monospacedFrom(QFont preferred, int pixelSize, QFont::Weight weight = QFont::Normal)
{
    const auto sized = [&](QFont font) {
        font.setPixelSize(pixelSize);
        font.setWeight(weight);
        return font;
    };
    if (QFontInfo(sized(preferred)).fixedPitch())
        return sized(preferred);
    for (const QString &family : {QStringLiteral("monospace"), QStringLiteral("DejaVu Sans Mono"),
                                  QStringLiteral("Noto Sans Mono"), QStringLiteral("Liberation Mono")}) {
        QFont font(family);
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
        if (QFontInfo(sized(font)).fixedPitch())
            return sized(font);
    }
    QFont font = sized(preferred);
    font.setStyleHint(QFont::Monospace);
    return font;
}

inline QFont monospaced(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    return monospacedFrom(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixelSize, weight);
}

} // namespace PanelFonts
