#include "code_view/code_lines.h"
#include "inspector/color_value.h"
#include "inspector/relative_time.h"
#include "style/named_colors.h"

#include <QTest>

using CodeLines::LineClass;
using ColorValue::CopyFormat;

Q_DECLARE_METATYPE(LineClass)

// What the panes derive from an item's text: the code view's lines, the
// colour of a colour item and its copies, the age of an item.
class TestPaneValues : public QObject
{
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("empty") << QString() << QStringList{QString()};
        QTest::newRow("CR LF is two") << "a\r\nb" << QStringList{"a", "", "b"};
        QTest::newRow("VT FF NEL LS PS") << QString::fromUtf16(u"a\vb\fc\u0085d\u2028e\u2029")
                                         << QStringList{"a", "b", "c", "d", "e", ""};
        // Not separators: NUL, U+001C..U+001E, non-breaking space.
        QTest::newRow("look-alikes") << QString::fromUtf16(u"a\u001Cb\u00A0c") << QStringList{QString::fromUtf16(u"a\u001Cb\u00A0c")};
    }

    void split()
    {
        QFETCH(QString, text);
        const CodeLines::LineIndex index(text);
        QStringList split;
        for (qsizetype i = 0; i < index.count(); ++i)
            split << index.line(text, i).toString();
        QTEST(split, "lines");
    }

    void classes_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<LineClass>("expected");

        QTest::newRow("indented hash") << "    # heading" << LineClass::Comment;
        QTest::newRow("comment beats control") << "// return x" << LineClass::Comment;
        QTest::newRow("single slash") << "/ return x" << LineClass::Control;
        QTest::newRow("from import") << "from x import y" << LineClass::Import;
        QTest::newRow("import mid-line") << "x = 1  # import y" << LineClass::Plain;
        QTest::newRow("function with return") << "function f() { return 1 }" << LineClass::Control;
        QTest::newRow("func after modifiers") << "    private static func f() {" << LineClass::Definition;
        QTest::newRow("undef contains def") << "undef x" << LineClass::Definition;
        QTest::newRow("definition beats control") << "def area(r): return r * r" << LineClass::Definition;
        QTest::newRow("guard") << "guard let x else { return }" << LineClass::Control;
        QTest::newRow("return at end trimmed") << "  return " << LineClass::Plain;
        QTest::newRow("Return capitalised") << "Return x" << LineClass::Plain;
        // U+3000 is Zs and trimmed; U+00A0 too. U+200B is not Zs.
        QTest::newRow("nbsp indent") << QString::fromUtf16(u"\u00A0import os") << LineClass::Import;
        QTest::newRow("zero width space kept") << QString::fromUtf16(u"\u200B# x") << LineClass::Plain;
    }

    void classes()
    {
        QFETCH(QString, line);
        QTEST(CodeLines::highlightLine(line), "expected");
    }

    void columns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("endColumn");
        QTest::addColumn<QString>("expanded");

        QTest::newRow("tab mid-stop") << "ab\tx" << 0 << 5 << "ab  x";
        QTest::newRow("tab from offset") << "\t" << 6 << 8 << "  ";
        QTest::newRow("tab after wide") << QString::fromUtf16(u"\u4E2D\t") << 0 << 4 << QString::fromUtf16(u"\u4E2D  ");
        QTest::newRow("combining mark") << QString::fromUtf16(u"e\u0301") << 0 << 1 << QString::fromUtf16(u"e\u0301");
        QTest::newRow("astral wide emoji") << QString::fromUtf16(u"\U0001F600") << 0 << 2 << QString::fromUtf16(u"\U0001F600");
    }

    void columns()
    {
        QFETCH(QString, text);
        QFETCH(int, start);
        QTEST(CodeLines::displayColumns(text, start, 4), "endColumn");
        QTEST(CodeLines::expandTabs(text, start, 4), "expanded");
    }

    void counts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");

        QTest::newRow("CR LF one char") << "a\r\nb" << QString::fromUtf16(u"3 lines \u2022 3 chars");
        QTest::newRow("graphemes") << QString::fromUtf16(u"e\u0301\n\U0001F469\u200D\U0001F4BB")
                                   << QString::fromUtf16(u"2 lines \u2022 3 chars");
        QTest::newRow("no grouping") << QString(12345, u'x') << QString::fromUtf16(u"1 lines \u2022 12345 chars");
    }

    void counts()
    {
        QFETCH(QString, text);
        QTEST(CodeLines::countsLabel(text), "label");
    }

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
        if (parsed)
            QCOMPARE(int(*result & 0xFFFFFF), rgb);
        QCOMPARE(ColorValue::colorFromHexOrFallback(text), parsed ? QColor::fromRgb(QRgb(rgb)) : NamedColors::indigo());
    }

    // The stored text goes in as it is: neither escaped nor trimmed.
    void copyTexts()
    {
        QCOMPARE(ColorValue::copyText(CopyFormat::NSColor, "a\"b\\"), QStringLiteral("NSColor(hex: \"a\"b\\\")"));
        QCOMPARE(ColorValue::copyText(CopyFormat::SwiftUIColor, " #FFF\n"), QStringLiteral("Color(hex: \" #FFF\n\")"));
    }

    void units_data()
    {
        QTest::addColumn<double>("offset"); // then - now, seconds
        QTest::addColumn<QString>("expected");

        const double day = 86400;
        QTest::newRow("now") << 0.0 << "0 sec. ago";
        QTest::newRow("seconds") << -59.0 << "59 sec. ago";
        QTest::newRow("minute boundary") << -60.0 << "1 min. ago";
        QTest::newRow("minutes round down") << -119.0 << "1 min. ago";
        QTest::newRow("hours") << -3.5 * 3600 << "3 hr. ago";
        QTest::newRow("days") << -2 * day << "2 days ago";
        QTest::newRow("weeks") << -15 * day << "2 wk. ago";
        QTest::newRow("months") << -65 * day << "2 mo. ago";
        QTest::newRow("years") << -800 * day << "2 yr. ago";
        QTest::newRow("future") << 300.0 << "in 5 min.";
    }

    void units()
    {
        QFETCH(double, offset);
        const TimeInterval now = 800000000;
        QTEST(relativeTimeText(now + offset, now, QStringLiteral("en_US")), "expected");
    }
};

QTEST_GUILESS_MAIN(TestPaneValues)
#include "tst_pane_values.moc"
