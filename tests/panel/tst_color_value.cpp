#include "inspector/color_value.h"
#include "style/named_colors.h"

#include <QTest>

using ColorValue::CopyFormat;

Q_DECLARE_METATYPE(CopyFormat)

class TestColorValue : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<int>("rgb");

        QTest::newRow("hash lower") << "#1e90ff" << true << 0x1E90FF;
        QTest::newRow("no hash") << "1E90FF" << true << 0x1E90FF;
        QTest::newRow("padded") << "  #1E90FF \n" << true << 0x1E90FF;
        QTest::newRow("digits stop early") << "12G456" << true << 0x000012;
        QTest::newRow("full-width digits are none") << QString::fromUtf16(u"\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16") << true << 0;
        QTest::newRow("0X prefix") << "0X12AB" << true << 0x0012AB;
        QTest::newRow("blank after hash") << "# 12345" << true << 0x012345;
        QTest::newRow("three digits") << "#FFF" << false << 0;
        QTest::newRow("eight digits") << "#FF000080" << false << 0;
        QTest::newRow("two hashes") << "##1E90FF" << false << 0;
        // Six UTF-16 units but five characters.
        QTest::newRow("graphemes counted") << QString::fromUtf16(u"#12345\u0301") << false << 0;
        // Upper-casing comes first: "ß" becomes "SS", seven characters.
        QTest::newRow("upper-case before length") << QString::fromUtf16(u"#12345\u00DF") << false << 0;
        QTest::newRow("astral char is one") << QString::fromUtf16(u"#12345\U0001F600") << true << 0x012345;
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, parsed);
        QFETCH(int, rgb);

        const std::optional<QRgb> result = ColorValue::parseHexRgb(text);
        QCOMPARE(result.has_value(), parsed);
        const QColor colour = ColorValue::colorFromHexOrFallback(text);
        QCOMPARE(colour.alpha(), 255);
        if (parsed) {
            QCOMPARE(int(*result & 0xFFFFFF), rgb);
            QCOMPARE(colour, QColor::fromRgb(QRgb(rgb)));
            QCOMPARE(colour.spec(), QColor::Rgb);
        } else {
            QCOMPARE(colour, NamedColors::indigo());
        }
    }

    void copyTexts_data()
    {
        QTest::addColumn<CopyFormat>("format");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("text");

        QTest::newRow("no escaping") << CopyFormat::NSColor << "a\"b\\" << "NSColor(hex: \"a\"b\\\")";
        QTest::newRow("not trimmed") << CopyFormat::SwiftUIColor << " #FFF\n" << "Color(hex: \" #FFF\n\")";
    }

    void copyTexts()
    {
        QFETCH(CopyFormat, format);
        QFETCH(QString, raw);
        QFETCH(QString, text);
        QCOMPARE(ColorValue::copyText(format, raw), text);
    }
};

QTEST_MAIN(TestColorValue)
#include "tst_color_value.moc"
