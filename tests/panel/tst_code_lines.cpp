#include "code_view/code_lines.h"

#include <QTest>

using CodeLines::LineClass;

Q_DECLARE_METATYPE(LineClass)

class TestCodeLines : public QObject
{
    Q_OBJECT

private slots:
    void split_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");

        QTest::newRow("empty") << QString() << QStringList{QString()};
        QTest::newRow("trailing LF") << "let a = 1\n" << QStringList{"let a = 1", ""};
        QTest::newRow("CR LF is two") << "a\r\nb" << QStringList{"a", "", "b"};
        QTest::newRow("VT FF NEL LS PS") << QString::fromUtf16(u"a\vb\fc\u0085d\u2028e\u2029")
                                         << QStringList{"a", "b", "c", "d", "e", ""};
        // Not separators: NUL, U+001C..U+001E, non-breaking space.
        QTest::newRow("look-alikes") << QString::fromUtf16(u"a\u001Cb\u00A0c") << QStringList{QString::fromUtf16(u"a\u001Cb\u00A0c")};
    }

    void split()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        const CodeLines::LineIndex index(text);
        QStringList split;
        for (qsizetype i = 0; i < index.count(); ++i)
            split << index.line(text, i).toString();
        QCOMPARE(split, lines);
    }

    void classes_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<LineClass>("expected");

        QTest::newRow("slash comment") << "// note" << LineClass::Comment;
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
        QFETCH(LineClass, expected);
        QCOMPARE(CodeLines::highlightLine(line), expected);
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
        QFETCH(int, endColumn);
        QFETCH(QString, expanded);
        QCOMPARE(CodeLines::displayColumns(text, start, 4), endColumn);
        QCOMPARE(CodeLines::expandTabs(text, start, 4), expanded);
    }

    void counts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("label");

        QTest::newRow("empty") << QString() << QString::fromUtf16(u"1 lines \u2022 0 chars");
        QTest::newRow("CR LF one char") << "a\r\nb" << QString::fromUtf16(u"3 lines \u2022 3 chars");
        QTest::newRow("graphemes") << QString::fromUtf16(u"e\u0301\n\U0001F469\u200D\U0001F4BB")
                                   << QString::fromUtf16(u"2 lines \u2022 3 chars");
        QTest::newRow("no grouping") << QString(12345, u'x') << QString::fromUtf16(u"1 lines \u2022 12345 chars");
    }

    void counts()
    {
        QFETCH(QString, text);
        QFETCH(QString, label);
        QCOMPARE(CodeLines::countsLabel(text), label);
    }
};

QTEST_APPLESS_MAIN(TestCodeLines)
#include "tst_code_lines.moc"
