#include "classifier.h"

#include <QRandomGenerator>
#include <QTest>

#include <unicode/regex.h>

#include <memory>

using Classifier::Classification;

namespace {

// The result as one short string: "color", "link", "text" or "code:<language>".
QString describe(const Classification &c)
{
    const QString kind = rawValue(c.type);
    if (!c.language)
        return kind;
    return kind + u':' + *c.language;
}

// ICU's own regular-expression search, the meaning the matchers must keep.
class IcuPattern
{
public:
    IcuPattern(const char *pattern, uint32_t flags)
    {
        UErrorCode status = U_ZERO_ERROR;
        m_matcher = std::make_unique<icu::RegexMatcher>(icu::UnicodeString::fromUTF8(pattern), flags, status);
        Q_ASSERT(U_SUCCESS(status));
    }
    bool find(const QString &text)
    {
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString s(reinterpret_cast<const UChar *>(text.utf16()), static_cast<int32_t>(text.size()));
        m_matcher->reset(s);
        const bool found = m_matcher->find(status);
        Q_ASSERT(U_SUCCESS(status));
        return found;
    }

private:
    std::unique_ptr<icu::RegexMatcher> m_matcher;
};

QString randomText(QRandomGenerator &random, const QStringList &tokens, int maxTokens)
{
    QString s;
    const int n = random.bounded(maxTokens + 1);
    for (int i = 0; i < n; ++i)
        s += tokens[random.bounded(tokens.size())];
    return s;
}

} // namespace

class TestClassifier : public QObject
{
    Q_OBJECT
private slots:
    void classify_data();
    void classify();
    void colourAnchorsLikeIcu_data();
    void colourAnchorsLikeIcu();
    void colourAgreesWithIcu();
    void markupAgreesWithIcu();
    void hostileInputsFinish_data();
    void hostileInputsFinish();
};

void TestClassifier::classify_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *name, const QString &content, const char *expected) {
        QTest::newRow(name) << content << QString::fromLatin1(expected);
    };

    // Colours.
    row("hex 3", "#fff", "color");
    row("hex 4", "#fFf0", "color");
    row("hex 6", "#a1B2c3", "color");
    row("hex 8", "#a1b2c3d4", "color");
    row("hex 5 falls through", "#12345", "text");
    row("hex 7 falls through", "#1234567", "text");
    row("not hex digits", "#ggg", "text");
    row("full-width hex digits", "#\uFF46\uFF46\uFF46", "text");
    row("rgb", "rgb(255, 0, 128)", "color");
    row("hsla", "hsla(120, 50%, 50%, 0.5)", "color");
    row("RGB in capitals", "RGB(255, 0, 128)", "text");
    row("no range limit", "rgb(999,999,999)", "color");
    row("four digits", "rgb(1000,0,0)", "text");
    row("name need not fit arity", "rgba(1,2,3)", "color");
    row("alpha .5", "rgb(1,2,3,.5)", "color");
    row("alpha 1", "rgba(1,2,3, 1)", "color");
    row("alpha 1.5", "rgba(1,2,3,1.5)", "text");
    row("alpha 00.5", "rgba(1,2,3,00.5)", "text");
    row("alpha without digits", "rgba(1,2,3,0.)", "text");
    row("spaces everywhere", "rgb ( 1 , 2 , 3 )", "color");
    row("hsl without percent", "hsl(120, 50, 50%)", "text");
    row("hsl with percent on hue", "hsl(120%, 50%, 50%)", "text");
    row("Arabic-Indic digits", "rgb(\u0661\u0662\u0663, 0, 0)", "color");
    row("supplementary digit", "rgb(\U0001D7CF,2,3)", "color");
    row("superscript is no decimal digit", "rgb(\u00B9,2,3)", "text");
    row("ideographic space", "rgb(\u30001,\u30002,\u30003\u3000)", "color");
    row("no-break space", "hsl(1,\u00A02%,3%)", "color");
    row("zero-width space is no whitespace", "rgb(1,\u200B2,3)", "text");
    row("trimmed first", " \n\t#fff\u3000\u2029", "color");

    // Links, and the order colour, link, code.
    row("https", "https://example.com/path?q=1#top", "link");
    row("scheme in capitals", "HTTP://EXAMPLE.COM", "link");
    row("followed by a word", "https://example.com more", "text");
    row("second line", "https://example.com\nsee above", "text");
    row("ftp", "ftp://example.com/file.txt", "text");
    row("no host", "https:example.com", "text");
    row("empty host", "http://", "text");
    row("bad character", "https://example.com/<x>", "text");
    row("bad port", "https://example.com:99999/", "text");
    row("line separator", "https://example.com/a\u2028next line", "text");
    row("no-break space", "https://example.com/a\u00A0b", "text");
    row("non-ASCII host and path", "https://b\u00FCcher.de/stra\u00DFe", "link");
    row("link before code", "https://example.com/@State/function", "link");

    // JSON.
    row("empty object", "{}", "code:JSON");
    row("array", "[1, 2.5e-3, true, null, \"x\\u00e9\"]", "code:JSON");
    row("JSON before markup and Swift", "{\"html\": \"<b>struct </b>\"}", "code:JSON");
    row("raw line separator in a string", "[\"a\u2028b\"]", "code:JSON");
    row("curly text goes on", "{ a = b; a == b }", "code:Code");
    row("trailing comma goes on", "[1, 2,]", "text");
    row("comment goes on", "{ // x = 1\n \"a\" == 1 }", "code:Code");
    row("two values", "[1] [2]", "text");
    row("lone surrogate in a string", QString::fromUtf16(u"[\"\xD800\"]"), "text");
    row("nesting at the limit", QString(512, u'[') + QString(512, u']'), "code:JSON");
    row("nesting past the limit", QString(513, u'[') + QString(513, u']'), "text");

    // Markup.
    row("tags on one line", "<p>Hello <b>world</b></p>", "code:HTML");
    row("tags on separate lines", "<div>\nHello\n</div>", "text");
    row("doctype in lower case", "<!doctype html><html></html>", "code:HTML");
    row("doctype alone on its line", "<!DOCTYPE html>\n<html>\n</html>", "text");
    row("tag names in capitals", "<DIV>x</Div>", "code:HTML");
    row("attributes across lines", "<a\nhref=\"x\">link</a>", "code:HTML");
    row("dot stops at U+2028", "<a>x\u2028</a>", "text");
    row("dot stops at U+0085", "<a>x\u0085</a>", "text");
    row("dot stops at form feed", "<a>x\f</a>", "text");
    row("closing tag before opening", "</b> <a>", "text");
    row("empty closing name", "<a></>", "text");
    row("comparison is no tag", "x < y > z </a>", "text");
    row("long s and Kelvin sign fold", "<\u017F>x</\u212A>", "code:HTML");
    row("markup before Swift", "<b>struct Foo</b>", "code:HTML");

    // Swift, Python, scripts.
    row("Swift struct", "struct Point {\n    var x: Int\n}", "code:Swift");
    row("Swift guard", "guard let x = y else { return }", "code:Swift");
    row("Swift attribute", "@State private var on = false", "code:Swift");
    row("Swift before Python", "import SwiftUI\ndef x:\n", "code:Swift");
    row("only let is JavaScript", "let x = 5\nlet y = x + 1", "code:JavaScript");
    row("import without colon line", "import os\nprint(os.getcwd())", "text");
    row("colon at the very end", "import os\nif ready:", "text");
    row("colon before CR LF", "import os\nif ready:\r\n    go()", "text");
    row("function header and body", "import os\ndef main():\n    pass", "code:Python");
    row("self. without header", "def area(self): return self.w * self.h", "code:Python");
    row("Python before scripts", "import os\nlet = 1\ndef f():\n    pass", "code:Python");
    row("typed parameter", "const name: string = 'x';", "code:TypeScript");
    row("interface", "interface Foo { a: number }\nconst x = 1", "code:TypeScript");
    row("arrow", "xs.map(x => x * 2)", "code:JavaScript");
    row("interface without a script marker", "interface Foo {}", "text");

    // SQL, Bash, symbols.
    row("lower-case query", "select id, name from users where id = 1", "code:SQL");
    row("sharp s upper-cases to SS", "\u00DFelect 1", "code:SQL");
    row("long s upper-cases to S", "in\u017Fert into t values (1)", "code:SQL");
    row("DELETE FROM before a tab", "delete from\tlogs", "code:SQL");
    row("script before SQL", "const q = 'SELECT * FROM t'", "code:JavaScript");
    row("shebang alone", "#!/bin/", "code:Bash");
    row("env shebang", "#!/usr/bin/env bash\necho hi", "text");
    row("SQL before Bash", "#!/bin/sh\nselect * from t", "code:SQL");
    row("npm run", "npm run build", "code:Bash");
    row("brew install", "then brew install wget", "code:Bash");
    row("Bash before symbols", "npm run a = b == c", "code:Bash");
    row("assignment and comparison", "a = 1\nif a == 1", "code:Code");
    row("one symbol many times", "a = 1\nb = 2\nc = 3", "text");
    row("arrow and brace", "x -> y {", "code:Code");
    row("plain prose", "Meet me at noon; bring the map.", "text");
    row("empty", "", "text");
}

void TestClassifier::classify()
{
    QFETCH(QString, content);
    QFETCH(QString, expected);
    QCOMPARE(describe(Classifier::classify(content)), expected);
}

void TestClassifier::colourAnchorsLikeIcu_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("expected");
    // '$' also matches before one final line terminator; classify() trims
    // first, but the helper keeps the regular expression's meaning.
    QTest::newRow("final LF") << "#fff\n" << true;
    QTest::newRow("final CR LF") << "rgb(1,2,3)\r\n" << true;
    QTest::newRow("final U+2029") << "#fff\u2029" << true;
    QTest::newRow("two final LFs") << "#fff\n\n" << false;
    QTest::newRow("final space") << "#fff " << false;
    QTest::newRow("leading LF") << "\n#fff" << false;
}

void TestClassifier::colourAnchorsLikeIcu()
{
    QFETCH(QString, text);
    QFETCH(bool, expected);
    QCOMPARE(Classifier::isColorValue(text), expected);
}

void TestClassifier::colourAgreesWithIcu()
{
    IcuPattern hex("^#(?:[0-9a-fA-F]{3,4}|[0-9a-fA-F]{6}|[0-9a-fA-F]{8})$", 0);
    IcuPattern rgb("^(?:rgb|rgba)\\s*\\(\\s*\\d{1,3}\\s*,\\s*\\d{1,3}\\s*,\\s*\\d{1,3}(?:\\s*,\\s*(?:0|1|0?\\.\\d+))?\\s*\\)$", 0);
    IcuPattern hsl("^(?:hsl|hsla)\\s*\\(\\s*\\d{1,3}\\s*,\\s*\\d{1,3}%\\s*,\\s*\\d{1,3}%(?:\\s*,\\s*(?:0|1|0?\\.\\d+))?\\s*\\)$", 0);

    // Valid colours, cut and spliced with tokens near the grammar's edges.
    const QStringList seeds = {"#abc", "#a1b2c3d4", "rgb(1, 22, 333)", "rgba(1,2,3,0.5)",
                               "hsl(1, 2%, 3%)", "hsla( 1 ,2% ,3%, .25 )"};
    const QStringList tokens = {"rgb", "hsl", "a", "(", ")", ",", "%", ".", "0", "1", "9", "#", "f",
                                " ", "\t", "\n", "\r", "\u3000", "\u00A0", "\u200B", "\u0661",
                                "\U0001D7CF", "\u00B9", "\u2028", "A"};
    QRandomGenerator random(20240611);
    int agreedColours = 0;
    for (int i = 0; i < 30000; ++i) {
        QString s = seeds[random.bounded(seeds.size())];
        const int edits = random.bounded(4);
        for (int e = 0; e < edits; ++e) {
            const int at = random.bounded(s.size() + 1);
            const int kind = random.bounded(3);
            if (kind == 0 && at < s.size())
                s.remove(at, 1);
            else if (kind == 1)
                s.insert(at, tokens[random.bounded(tokens.size())]);
            else
                s.replace(at, at < s.size() ? 1 : 0, tokens[random.bounded(tokens.size())]);
        }
        const bool icu = hex.find(s) || rgb.find(s) || hsl.find(s);
        if (Classifier::isColorValue(s) != icu)
            QFAIL(qPrintable(QStringLiteral("isColorValue(\"%1\") should be %2").arg(s).arg(icu)));
        agreedColours += icu;
    }
    // The mutations must leave enough real colours for the check to mean something.
    QVERIFY2(agreedColours > 3000, qPrintable(QString::number(agreedColours)));
}

void TestClassifier::markupAgreesWithIcu()
{
    IcuPattern markup("<(!DOCTYPE|[a-z0-9-]+)[^>]*>.*<\\/[a-z0-9-]+>", UREGEX_CASE_INSENSITIVE);
    const QStringList tokens = {"<", "<", ">", ">", "/", "</", "a", "Z", "1", "-", "!", "!DOCTYPE",
                                "!doctype", "!DOCTYP", " ", "\n", "\r", "\u2028", "\u0085", "\v",
                                "\u017F", "\u212A", "\u0131", "x", "\U0001F600",
                                // whole tags, so that matches are common
                                "<a>", "<b c>", "</a>", "</Z1>", "<!DOCTYPE html>", "</\u017F>", "<\u212A>"};
    QRandomGenerator random(7);
    int matches = 0;
    for (int i = 0; i < 60000; ++i) {
        // A leading letter keeps the JSON step out of the way.
        const QString s = u'x' + randomText(random, tokens, 12);
        const bool icu = markup.find(s);
        const bool html = Classifier::detectCodeLanguage(s) == QStringLiteral("HTML");
        if (html != icu)
            QFAIL(qPrintable(QStringLiteral("markup in \"%1\" should be %2").arg(s).arg(icu)));
        matches += icu;
    }
    QVERIFY2(matches > 1000, qPrintable(QString::number(matches)));
}

void TestClassifier::hostileInputsFinish_data()
{
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("expected");
    constexpr int megabyte = 1 << 20;
    QString tags;
    for (int i = 0; i < megabyte / 2; ++i)
        tags += QStringLiteral("<a");
    QTest::newRow("<a without >") << tags << "text";
    QTest::newRow("[ closed by ]") << QString(megabyte, u'[') + u']' << "text";
    QTest::newRow("spaces in rgb(") << QStringLiteral("rgb(") + QString(megabyte, u' ') + QStringLiteral("1,2,3)") << "color";
    QTest::newRow("opening tag across many lines") << QStringLiteral("<a") + QString(megabyte, u'\n') + QStringLiteral("></a>") << "code:HTML";
}

void TestClassifier::hostileInputsFinish()
{
    // Correct answers on inputs that make a backtracking matcher or a
    // recursive parser blow up; their speed is measured in the benchmarks.
    QFETCH(QString, content);
    QFETCH(QString, expected);
    QCOMPARE(describe(Classifier::classify(content)), expected);
}

QTEST_GUILESS_MAIN(TestClassifier)
#include "tst_classifier.moc"
