// The reader of text that other programs write into our pipes, as both the
// Wayland clipboard and GNOME's bridge use it: what counts as the text, and
// what ends a read without one.
#include "pipe_text_reader.h"

#include <QTest>

#include <fcntl.h>
#include <unistd.h>

using Outcome = PipeTextReader::Outcome;

Q_DECLARE_METATYPE(Outcome)

class TestPipeTextReader : public QObject
{
    Q_OBJECT

private slots:
    void reads_data()
    {
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("closed");
        // The writer's word: -1 none, 0 incomplete, 1 complete.
        QTest::addColumn<int>("word");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<bool>("endReached");
        // Slices of 3 bytes split "ü" and "✓" between reads; the limit is 16 bytes.
        const QString text = QStringLiteral("Grüße ✓");
        const QByteArray utf8 = text.toUtf8();
        const QByteArray full(16, 'x');
        QTest::newRow("complete") << utf8 << true << 1 << std::optional(text) << Outcome::Complete << true;
        QTest::newRow("empty") << QByteArray() << true << 1 << std::optional(QString()) << Outcome::Complete << true;
        QTest::newRow("the word before the end of the pipe")
            << utf8 << false << 1 << std::optional(text) << Outcome::Complete << false;
        QTest::newRow("the writer gave up halfway")
            << utf8.left(5) << true << 0 << std::optional<QString>() << Outcome::Incomplete << true;
        QTest::newRow("exactly the limit")
            << full << true << 1 << std::optional(QString::fromLatin1(full)) << Outcome::Complete << true;
        QTest::newRow("a byte past the limit")
            << full + 'x' << true << 1 << std::optional<QString>() << Outcome::TooLong << false;
        QTest::newRow("a byte past the limit, read on the word")
            << full + 'x' << false << 1 << std::optional<QString>() << Outcome::TooLong << false;
        QTest::newRow("the end, but no word in time")
            << utf8 << true << -1 << std::optional<QString>() << Outcome::TimedOut << true;
        QTest::newRow("no data in time")
            << QByteArray() << false << -1 << std::optional<QString>() << Outcome::TimedOut << false;
    }

    void reads()
    {
        QFETCH(QByteArray, written);
        QFETCH(bool, closed);
        QFETCH(int, word);
        int fds[2];
        QCOMPARE(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
        QCOMPARE(::write(fds[1], written.constData(), size_t(written.size())), written.size());
        if (closed)
            ::close(fds[1]);
        PipeTextReader reader(UniqueFd(fds[0]),
                              {.dataTimeout = std::chrono::milliseconds(300), .maxBytes = 16, .sliceBytes = 3});
        bool ended = false;
        connect(&reader, &PipeTextReader::endReached, this, [&] { ended = true; });
        std::optional<std::pair<std::optional<QString>, Outcome>> result;
        connect(&reader, &PipeTextReader::finished, this, [&](const std::optional<QString> &text, Outcome outcome) {
            QVERIFY(!result);
            result = {text, outcome};
        });
        if (word >= 0) {
            // As in the program, the word may come before the end is read.
            if (closed)
                QTRY_VERIFY(ended || result);
            reader.writerEnded(word == 1);
        }
        QTRY_VERIFY(result.has_value());
        if (!closed)
            ::close(fds[1]);
        QTEST(result->first, "text");
        QTEST(result->second, "outcome");
        QTEST(ended, "endReached");
        QCOMPARE(reader.bytes(), written.size());
        // Nothing more after the outcome.
        reader.writerEnded(true);
    }
};

QTEST_MAIN(TestPipeTextReader)
#include "tst_pipe_text_reader.moc"
