#include "clip_item.h"
#include "inspector/color_value.h"
#include "memory/memory_pasteboard.h"
#include "style/named_colors.h"
#include "test_support.h"

#include <QTest>

using ColorValue::CopyFormat;

Q_DECLARE_METATYPE(CopyFormat)

class TestColorValue : public QObject
{
    Q_OBJECT

private slots:
    void scan_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint64>("value");

        QTest::newRow("empty") << "" << quint64(0);
        QTest::newRow("no digit") << "G1" << quint64(0);
        QTest::newRow("lower case") << "1e90ff" << quint64(0x1E90FF);
        QTest::newRow("0x prefix") << "0x12ab" << quint64(0x12AB);
        QTest::newRow("bare 0X") << "0XZ" << quint64(0);
        QTest::newRow("leading blanks") << " \t\n 12" << quint64(0x12);
        QTest::newRow("leading NEL and ideographic space") << QString::fromUtf16(u"\u0085\u3000AB") << quint64(0xAB);
        QTest::newRow("blank after prefix stops") << "0X 12" << quint64(0);
        QTest::newRow("full-width digits are no digits") << QString::fromUtf16(u"\uFF11") << quint64(0);
        QTest::newRow("16 digits") << "FFFFFFFFFFFFFFFF" << ~quint64(0);
        QTest::newRow("overflow saturates") << "123456789ABCDEF01" << ~quint64(0);
    }

    void scan()
    {
        QFETCH(QString, text);
        QFETCH(quint64, value);
        QCOMPARE(ColorValue::scanHexUInt64(text), value);
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("parsed");
        QTest::addColumn<int>("rgb");

        QTest::newRow("hash lower") << "#1e90ff" << true << 0x1E90FF;
        QTest::newRow("no hash") << "1E90FF" << true << 0x1E90FF;
        QTest::newRow("padded") << "  #1E90FF \n" << true << 0x1E90FF;
        QTest::newRow("white") << "#ffffff" << true << 0xFFFFFF;
        QTest::newRow("digits stop early") << "12G456" << true << 0x000012;
        QTest::newRow("0X prefix") << "0X12AB" << true << 0x0012AB;
        QTest::newRow("blank after hash") << "# 12345" << true << 0x012345;
        QTest::newRow("six non-digits") << "#GGGGGG" << true << 0x000000;
        QTest::newRow("three digits") << "#FFF" << false << 0;
        QTest::newRow("eight digits") << "#FF000080" << false << 0;
        QTest::newRow("rgb") << "rgb(255, 0, 0)" << false << 0;
        QTest::newRow("two hashes") << "##1E90FF" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
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

        QTest::newRow("hex keeps case") << CopyFormat::Hex << "#1e90ff" << "#1e90ff";
        QTest::newRow("nscolor") << CopyFormat::NSColor << "rgb(1,2,3)" << "NSColor(hex: \"rgb(1,2,3)\")";
        QTest::newRow("swiftui") << CopyFormat::SwiftUIColor << "#1e90ff" << "Color(hex: \"#1e90ff\")";
        QTest::newRow("no escaping") << CopyFormat::NSColor << "a\"b\\" << "NSColor(hex: \"a\"b\\\")";
        QTest::newRow("not trimmed") << CopyFormat::SwiftUIColor << " #FFF\n" << "Color(hex: \" #FFF\n\")";
    }

    void copyTexts()
    {
        QFETCH(CopyFormat, format);
        QFETCH(QString, raw);
        QFETCH(QString, text);
        QCOMPARE(ColorValue::copyText(format, raw), text);

        MemoryPasteboard pasteboard;
        const ClipItemPtr item = TestSupport::makeItem(raw, ClipContentType::Color);
        ColorValue::copyToPasteboard(format, *item, pasteboard);
        QCOMPARE(pasteboard.writes(), QStringList{text});
        QCOMPARE(pasteboard.string(), std::optional<QString>(text));
    }
};

QTEST_MAIN(TestColorValue)
#include "tst_color_value.moc"
