// The classifier's decisions and their order. Agreement with ICU's own
// regular expressions on colours and markup is checked by the fuzz target
// (fuzz/fuzz_classify.cpp), whose seed corpus holds those edge cases.
#include "classifier.h"

#include <QTest>

namespace {

// The result as one short string: "color", "link", "text" or "code:<language>".
QString describe(const Classifier::Classification &c)
{
    const QString kind = rawValue(c.type);
    return c.language ? kind + u':' + *c.language : kind;
}

} // namespace

class TestClassifier : public QObject
{
    Q_OBJECT
private slots:
    void classify_data()
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
        row("not hex digits", "#ggg", "text");
        row("rgb", "rgb(255, 0, 128)", "color");
        row("hsla", "hsla(120, 50%, 50%, 0.5)", "color");
        row("alpha .5", "rgb(1,2,3,.5)", "color");
        row("alpha 1.5", "rgba(1,2,3,1.5)", "text");
        row("hsl without percent", "hsl(120, 50, 50%)", "text");
        row("Arabic-Indic digits", "rgb(\u0661\u0662\u0663, 0, 0)", "color");
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
        row("lone surrogate in a string", QString::fromUtf16(u"[\"\xD800\"]"), "text");

        // Markup.
        row("tags on one line", "<p>Hello <b>world</b></p>", "code:HTML");
        row("tags on separate lines", "<div>\nHello\n</div>", "text");
        row("doctype in lower case", "<!doctype html><html></html>", "code:HTML");
        row("tag names in capitals", "<DIV>x</Div>", "code:HTML");
        row("closing tag before opening", "</b> <a>", "text");
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

        // Inputs that make a backtracking matcher or a recursive parser blow up;
        // their speed is measured in the benchmarks.
        constexpr int megabyte = 1 << 20;
        row("<a without >", QStringLiteral("<a").repeated(megabyte / 2), "text");
        row("[ closed by ]", QString(megabyte, u'[') + u']', "text");
        row("spaces in rgb(", "rgb(" + QString(megabyte, u' ') + "1,2,3)", "color");
        row("opening tag across many lines", "<a" + QString(megabyte, u'\n') + "></a>", "code:HTML");
    }

    void classify()
    {
        QFETCH(QString, content);
        QFETCH(QString, expected);
        QCOMPARE(describe(Classifier::classify(content)), expected);
    }
};

QTEST_GUILESS_MAIN(TestClassifier)
#include "tst_classifier.moc"
