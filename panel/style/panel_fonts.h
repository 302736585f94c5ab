#pragma once

#include <QFont>
#include <QFontDatabase>

// The system font at a pixel size, so that layout numbers hold as written.
namespace PanelFonts {

inline QFont system(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

inline QFont monospaced(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

} // namespace PanelFonts
