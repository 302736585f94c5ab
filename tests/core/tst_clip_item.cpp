#include "canonical_text.h"
#include "clip_item.h"
#include "text_rules.h"

#include <QTest>

class TestClipItem : public QObject
{
    Q_OBJECT
private slots:
    void derivedFields_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<qint64>("words");
        QTest::addColumn<qint64>("chars");

        const QString hundred = QString(100, u'x');
        QTest::newRow("empty") << "" << "Empty Snippet" << qint64(0) << qint64(0);
        QTest::newRow("blank first line, text below") << " \t \nsecond line" << "Empty Snippet" << qint64(2) << qint64(15);
        QTest::newRow("first line trimmed") << "  \thello world \t\nnext" << "hello world" << qint64(3) << qint64(21);
        QTest::newRow("100 characters cut to 60") << hundred << QString(60, u'x') << qint64(1) << qint64(100);
        QTest::newRow("exactly 60") << QString(60, u'y') << QString(60, u'y') << qint64(1) << qint64(60);
        QTest::newRow("tab, line feed, two spaces") << "one\ttwo\nthree  four" << "one\ttwo" << qint64(4) << qint64(19);
        QTest::newRow("combining accent is one character") << "e\u0301" << "e\u0301" << qint64(1) << qint64(1);
        QTest::newRow("flag is one character") << "\U0001F1E9\U0001F1EA ok" << "\U0001F1E9\U0001F1EA ok" << qint64(2) << qint64(4);
        QTest::newRow("lone hyphen is a word") << "a - b" << "a - b" << qint64(3) << qint64(5);
        QTest::newRow("CR LF is one character") << "a\r\nb" << "a" << qint64(2) << qint64(3);
        QTest::newRow("a mark after CR LF") << "a\r\n\u0301" << "a" << qint64(2) << qint64(3);
        QTest::newRow("a word goes on past its mark") << "ab cd\u0301e f" << "ab cd\u0301e f" << qint64(3) << qint64(8);
        QTest::newRow("line separator ends the title") << "top\u2028bottom" << "top" << qint64(2) << qint64(10);
        QTest::newRow("ideographic space separates") << "a\u3000b" << "a\u3000b" << qint64(2) << qint64(3);
        // The line is trimmed before the cut: blanks past 60 characters count
        // only when more text follows them on the line.
        QTest::newRow("blanks past the cut, then the line ends") << QString(59, u'a') + "     \nb"
                                                                  << QString(59, u'a') << qint64(2) << qint64(66);
        QTest::newRow("blanks past the cut, then more") << QString(58, u'a') + "   x" << QString(58, u'a') + "  "
                                                         << qint64(2) << qint64(62);
        // A title cut must not split a cluster: 59 letters, then a letter with an accent.
        QTest::newRow("cut keeps clusters whole") << QString(59, u'a') + "e\u0301zz" << QString(59, u'a') + "e\u0301"
                                                  << qint64(1) << qint64(62);
    }

    void derivedFields()
    {
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(qint64, words);
        QFETCH(qint64, chars);
        const ClipItem item(QUuid::createUuid(), text, ClipContentType::Text, std::nullopt, std::nullopt, 1.0, false);
        QCOMPARE(item.title(), title);
        QCOMPARE(item.wordCount(), words);
        QCOMPARE(item.charCount(), chars);
        QCOMPARE(item.rawContent(), text);
    }

    void storedFieldsAreKept()
    {
        // A title given (say by the file) is kept as it is; an empty one is derived.
        const QString title = QString(80, u'z') + "\nsecond";
        QCOMPARE(ClipItem(QUuid::createUuid(), "body", ClipContentType::Code, std::nullopt, title, 1.0, true).title(), title);
        QCOMPARE(ClipItem(QUuid::createUuid(), "body", ClipContentType::Code, std::nullopt, QString(), 1.0, true).title(),
                 QStringLiteral("body"));

        // A type name we do not know (names are exact) reads as text but is
        // written back as it was, until the type is set.
        QCOMPARE(clipContentTypeFromRaw(u"link"), ClipContentType::Link);
        ClipItem::Stored stored;
        stored.contentTypeRaw = QStringLiteral("Link");
        ClipItem item(stored);
        QCOMPARE(item.contentType(), ClipContentType::Text);
        QCOMPARE(item.contentTypeRaw(), QStringLiteral("Link"));
        item.setContentType(ClipContentType::Color);
        QCOMPARE(item.contentTypeRaw(), QStringLiteral("color"));
    }

    void trimming_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::newRow("spaces and line breaks") << " \n\t a b \r\n" << "a b";
        QTest::newRow("unicode separators") << "\u2028\u00A0\u3000x\u0085\u2029" << "x";
        QTest::newRow("zero-width space is not trimmed") << "\u200Bx" << "\u200Bx";
        QTest::newRow("only blanks") << " \n \t" << "";
        QTest::newRow("astral letter kept") << " \U0001D400 " << "\U0001D400";
    }

    void trimming()
    {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QCOMPARE(TextRules::trimmedWhitespaceAndNewlines(text), trimmed);
    }

    void canonicalEquivalence_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("equal");
        const QString korean = QStringLiteral("\uD55C\uAD6D\uC5B4 \uC785\uB825 ").repeated(20000);
        const QString jamo = QStringLiteral("\u1112\u1161\u11AB\u1100\u116E\u11A8\u110B\u1165 "
                                            "\u110B\u1175\u11B8\u1105\u1167\u11A8 ").repeated(20000);
        const QString marks = QStringLiteral("\u0301\u0316").repeated(15);
        QTest::newRow("composed and decomposed") << "caf\u00E9" << "cafe\u0301" << true;
        QTest::newRow("marks in either order") << "a\u0301\u0316" << "a\u0316\u0301" << true;
        QTest::newRow("an accent is not nothing") << "cafe" << "caf\u00E9" << false;
        // Normalised in pieces; 64 Ki units in, a letter is split from its marks.
        QTest::newRow("marks past a piece's edge") << QStringLiteral("a\u0316\u0301").repeated(30000)
                                                   << QStringLiteral("\u00E1\u0316").repeated(30000) << true;
        QTest::newRow("Korean jamo and syllables") << korean << jamo << true;
        QTest::newRow("one syllable differs at the end") << korean + "\uD55C" << jamo + "\u1100\u1161" << false;
        QTest::newRow("30 marks in a row are reordered") << "a" + marks << "a" + marks.mid(1) + "\u0301" << true;
        // Past that, text compares as written: sorting marks is quadratic.
        QTest::newRow("31 marks in a row are not") << "a" + marks + "\u0301" << "a" + marks.mid(1) + "\u0301\u0301"
                                                   << false;
    }

    void canonicalEquivalence()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, equal);
        QCOMPARE(TextRules::canonicallyEqual(a, b), equal);
        QCOMPARE(TextRules::canonicalHash(a) == TextRules::canonicalHash(b), equal);
        const ClipItem item(QUuid::createUuid(), a, ClipContentType::Text, std::nullopt, std::nullopt, 1.0, false);
        QCOMPARE(item.isCanonicallyEqual(b), equal);
    }
};

QTEST_APPLESS_MAIN(TestClipItem)
#include "tst_clip_item.moc"
