#include "strict_json.h"

#include <QTest>

using StrictJson::TopLevel;

Q_DECLARE_METATYPE(StrictJson::TopLevel)

class TestStrictJson : public QObject
{
    Q_OBJECT
private slots:
    void documents_data();
    void documents();
};

void TestStrictJson::documents_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<int>("maxDepth");
    QTest::addColumn<TopLevel>("expected");

    const auto valid = [](const char *name, const QByteArray &json, TopLevel top,
                          int maxDepth = StrictJson::defaultMaxDepth) {
        QTest::newRow(name) << json << maxDepth << top;
    };
    const auto invalid = [](const char *name, const QByteArray &json, int maxDepth = StrictJson::defaultMaxDepth) {
        QTest::newRow(name) << json << maxDepth << TopLevel::Invalid;
    };

    valid("empty object", "{}", TopLevel::Object);
    valid("empty array", "[]", TopLevel::Array);
    valid("whitespace around", " \t\r\n[ 1 ]\n ", TopLevel::Array);
    valid("nested mix", "{\"a\":{\"b\":[true,false,null,-0.5e+10,0,1E5]},\"c\":\"\"}", TopLevel::Object);
    valid("duplicate keys", "{\"a\":1,\"a\":2}", TopLevel::Object);
    valid("scalar string", "\"s\"", TopLevel::String);
    valid("scalar number", "-0.0e-0", TopLevel::Number);
    valid("scalar literal", "null", TopLevel::Literal);
    valid("all escapes", R"(["\" \\ \/ \b \f \n \r \t \u00e9 \uD83D\uDE00 \u0000"])", TopLevel::Array);
    valid("raw UTF-8", "[\"\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xE2\x80\xA8\"]", TopLevel::Array);

    invalid("empty", "");
    invalid("only whitespace", " \n ");
    invalid("trailing comma in array", "[1,]");
    invalid("trailing comma in object", "{\"a\":1,}");
    invalid("leading comma", "[,1]");
    invalid("missing comma", "[1 2]");
    invalid("line comment", "// note\n[]");
    invalid("block comment", "[/* x */]");
    invalid("leading zero", "[01]");
    invalid("minus alone", "[-]");
    invalid("fraction without digits", "[1.]");
    invalid("fraction without integer", "[.5]");
    invalid("exponent without digits", "[1e+]");
    invalid("plus sign", "[+1]");
    invalid("hex number", "[0x10]");
    invalid("NaN", "[NaN]");
    invalid("single quotes", "['a']");
    invalid("unknown escape", R"(["\x41"])");
    invalid("short unicode escape", R"(["\u12"])");
    invalid("lone high surrogate escape", R"(["\uD800"])");
    invalid("high surrogate then other escape", R"(["\uD800\n"])");
    invalid("lone low surrogate escape", R"(["\uDC00"])");
    invalid("raw tab in string", "[\"a\tb\"]");
    invalid("raw line feed in string", "[\"a\nb\"]");
    invalid("raw NUL in string", QByteArray("[\"a\0b\"]", 7));
    invalid("unterminated string", "[\"abc");
    invalid("backslash at the end", "[\"\\");
    invalid("truncated literal", "[tru]");
    invalid("capitalised literal", "[True]");
    invalid("two values", "[1] [2]");
    invalid("extra closing", "[1]]");
    invalid("unclosed", "[[1]");
    invalid("mismatched brackets", "[1}");
    invalid("key not a string", "{1:2}");
    invalid("missing colon", "{\"a\" 1}");
    invalid("missing value", "{\"a\":}");
    invalid("byte order mark", "\xEF\xBB\xBF[]");
    invalid("trailing NUL", QByteArray("[]\0", 3));
    invalid("form feed is no whitespace", "\f[]");
    invalid("overlong slash", "[\"\xC0\xAF\"]");
    invalid("encoded surrogate", "[\"\xED\xA0\x80\"]");
    invalid("beyond U+10FFFF", "[\"\xF4\x90\x80\x80\"]");
    invalid("truncated sequence", "[\"\xE2\x82\"]");
    invalid("stray continuation byte", "[\"\x80\"]");
    invalid("non-ASCII outside a string", "[\xC3\xA9]");

    // Depth: every container counts, siblings do not add up.
    const auto arrays = [](int depth) { return QByteArray(depth, '[') + QByteArray(depth, ']'); };
    const QByteArray objects = QByteArray("{\"k\":").repeated(513) + "1" + QByteArray(513, '}');
    valid("arrays at the default limit", arrays(512), TopLevel::Array);
    invalid("arrays one past the default limit", arrays(513));
    invalid("objects one past the limit", objects);
    valid("objects within a larger limit", objects, TopLevel::Object, 513);
    invalid("empty container counts as a level", "[[[]]]", 2);
    valid("siblings do not add up", "[[1],[2],[[3]]]", TopLevel::Array, 3);
    // Would overflow the stack of a recursive reader.
    invalid("8 M levels", arrays(8 << 20));
    valid("8 M levels allowed", arrays(8 << 20), TopLevel::Array, 1 << 30);
}

void TestStrictJson::documents()
{
    QFETCH(QByteArray, json);
    QFETCH(int, maxDepth);
    QFETCH(TopLevel, expected);
    QCOMPARE(StrictJson::check(json, maxDepth), expected);
}

QTEST_GUILESS_MAIN(TestStrictJson)
#include "tst_strict_json.moc"
