// The command line: what it parses, and what each request does to a store
// over an in-memory clipboard.
#include "clipboard_manager.h"
#include "commands/command_line.h"
#include "commands/history_commands.h"
#include "history_file.h"
#include "memory/memory_pasteboard.h"
#include "test_support.h"

#include <QTest>

using namespace ChannelProtocol;
using CliRequest = CommandLine::Request;

Q_DECLARE_METATYPE(CommandLine::Request)

namespace {

// Five items; the display order is the numbering:
// 1 two lines of text (pinned), 2 a note, 3 link, 4 Swift code, 5 colour.
struct CommandsFixture
{
    CommandsFixture()
    {
        for (const char *text : {"first line\nsecond line", "#ff8800", "func greet() {\n    print(\"hi\")\n}",
                                 "https://example.com", "a note"}) {
            store.clock.advance(10);
            store.copy(QString::fromUtf8(text));
        }
        manager.togglePin(manager.items().last());
    }

    std::pair<QByteArray, QByteArray> run(const QByteArray &line, const QByteArray &body = {})
    {
        const auto request = Request::parse(line, nullptr);
        if (!request)
            return {"unparsed", {}};
        std::optional<Reply> reply;
        commands.handle(*request, body, [&](Reply r) { reply = std::move(r); });
        if (!reply)
            return {"pending", {}};
        QByteArray data;
        while (reply->data) {
            const auto piece = reply->data();
            if (!piece)
                break;
            data += *piece;
        }
        return {reply->status, data};
    }
    QByteArray listing() { return run("list form=picker").second; }

    TestSupport::StoreFixture store;
    ClipboardManager &manager = *store.manager;
    QList<ClipItemPtr> pasted;
    std::optional<std::function<void(bool)>> pasteEnd;
    HistoryCommands commands{{manager,
                              [this](const ClipItemPtr &item, std::function<void(bool)> finished) {
                                  pasted.append(item);
                                  pasteEnd = std::move(finished);
                              },
                              [] {}, [] {}, [] {}}};
};

// The fixture's items as picker lines, numbered in the order given.
const QByteArray first = "first line second line", note = "a note", url = "https://example.com",
                 code = "func greet() { print(\"hi\") }", colour = "#ff8800";
QByteArray listing(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i)
        out += QByteArray::number(i + 1) + ": " + lines[i] + '\n';
    return out;
}
const QByteArray fullListing = listing({first, note, url, code, colour});

// A whole command line as the small executable sends it: each argument
// ended by a NUL.
QByteArray arguments(std::initializer_list<const char *> words)
{
    QByteArray body;
    for (const char *word : words)
        body.append(word).append('\0');
    return body;
}

} // namespace

class TestCommands : public QObject
{
    Q_OBJECT
private slots:
    void requests_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("listingAfter");
        const auto row = [](const char *name, const QByteArray &line, const QByteArray &status,
                            const QByteArray &data, const QByteArray &after = fullListing,
                            const QByteArray &body = {}) {
            QTest::newRow(name) << line << body << status << data << after;
        };
        row("list, picker form", "list form=picker", "data", fullListing);
        row("code keeps its number", "list form=picker filter=code", "data", "4: " + code + '\n');
        row("text holds colours", "list form=picker filter=Text", "data", listing({first, note}) + "5: " + colour + '\n');
        row("search finds the language in any case", "list form=picker search=SWIFT", "data", "4: " + code + '\n');
        row("NUL-separated", "list form=picker null=1 filter=links", "data", "3: " + url + '\0');
        row("unknown filter", "list filter=colour", "error: unknown filter", "");
        row("unknown form", "list form=xml", "error: unknown list form", "");
        row("print a multi-line item exactly", "print item=1", "data", "first line\nsecond line");
        row("print by a picker line that moved", "print item=1%3A%20%23ff8800", "data", colour);
        row("print by a stale picker line", "print item=4%3A%20gone", "error: no item matches the chosen "
            "line; the history changed since it was listed", "");
        row("no such number", "print item=6", "error: no item 6: the history holds 5 items", "");
        row("not a reference", "print item=first", "error: not an item number, id or picker line", "");
        row("pin", "pin item=5", "ok", "", listing({colour, first, note, url, code}));
        row("pin a pinned item", "pin item=1", "ok", "");
        row("unpin", "unpin item=1", "ok", "", listing({note, url, code, colour, first}));
        row("delete", "delete item=3", "ok", "", listing({first, note, code, colour}));
        row("clear keeps the pinned", "clear", "ok", "", listing({first}));
        row("add classifies", "add length=7", "ok", "", listing({first, "#00ff00", note, url, code, colour}), "#00ff00");
        row("add trims, and a re-copy moves up", "add length=12", "ok", "", listing({first, colour, note, url, code}),
            "\n  #ff8800 \n");
        row("add blank", "add length=3", "error: nothing to add: the text is blank", "", fullListing, " \n\t");
        row("add spaces that show nothing", "add length=8", "error: nothing to add: the text is blank", "",
            fullListing, "\u00a0\u200b\u3000");
        row("add not UTF-8", "add length=2", "error: the text is not valid UTF-8", "", fullListing, "\xff\xfe");
        row("a body where none is taken", "clear length=1", "error: clear takes no input", "", fullListing, "x");
        row("unknown command", "dance", "error: unknown command", "");

        // A command line parsed here; what needs the caller's process is handed back.
        const auto run = [&row](const char *name, const QByteArray &body, const QByteArray &status,
                                const QByteArray &data, const QByteArray &after = fullListing) {
            row(name, "run length=" + QByteArray::number(body.size()), status, data, after, body);
        };
        run("a command line with options", arguments({"list", "-f", "links", "--picker"}), "data",
            "3: " + url + '\n');
        run("a command line naming an item", arguments({"delete", "3"}), "ok", "", listing({first, note, code, colour}));
        row("no arguments: the panel", "run", "ok", "");
        run("help is the caller's", arguments({"list", "--help"}), "here", "");
        run("a usage error is the caller's", arguments({"print", "nine"}), "here", "");
        run("a text to add is the caller's", arguments({"add"}), "here", "");
        run("an item on standard input is the caller's", arguments({"print", "-"}), "here", "");
        run("arguments not ended", "list", "error: malformed arguments", "");
    }

    void requests()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, listingAfter);
        CommandsFixture f;
        f.store.clock.advance(10);
        const auto [gotStatus, gotData] = f.run(line, body);
        QCOMPARE(gotStatus, status);
        QCOMPARE(gotData, data);
        QCOMPARE(f.listing(), listingAfter);
    }

    // Previews are cut, so a line a launcher kept can match a newer item
    // that begins alike: such a line names nothing.
    void aPickerLineTwoItemsShareIsRefused()
    {
        CommandsFixture f;
        const QString common(130, u'x');
        f.store.copy(common + "older");
        const QByteArray line = f.listing().split('\n').at(1); // "2: xxx…"
        QVERIFY(line.startsWith("2: xxx"));
        f.store.copy(common + "newer");
        const auto [status, data] = f.run("print item=" + line.toPercentEncoding());
        QCOMPARE(status, QByteArray("error: more than one item matches the chosen line; choose it by number or id"));
    }

    void jsonLinesCarryTheStoredFields()
    {
        CommandsFixture f;
        const auto [status, data] = f.run("list form=json filter=code");
        QCOMPARE(status, QByteArray("data"));
        // The stored fields, after the number.
        const auto id = [&](int index) { return f.manager.items()[index]->id().toString(QUuid::WithoutBraces).toUpper().toLatin1(); };
        QCOMPARE(data, "{\"index\":4,\"id\":\"" + id(2) + "\",\"rawContent\":\"func greet() {\\n    print(\\\"hi\\\")\\n}\","
                       "\"contentTypeRaw\":\"code\",\"detectedLanguage\":\"Swift\",\"title\":\"func greet() {\","
                       "\"timestamp\":800000030,\"isPinned\":false,\"wordCount\":5,\"charCount\":32}\n");

        // A long text goes in escaped slices: quotes, breaks and astral
        // characters across their edges.
        f.store.copy(QStringLiteral("\"quoted\"\n\U0001F600\\x").repeated(100000)); // 13 units
        const QByteArray line = f.run("list form=json search=quoted").second;
        const QByteArray text = QByteArray("\\\"quoted\\\"\\n\xF0\x9F\x98\x80\\\\x").repeated(100000);
        QVERIFY(line.startsWith("{\"index\":2,\"id\":\"" + id(0) + "\",\"rawContent\":\"" + text
                                + "\",\"contentTypeRaw\":\"text\","));
        QVERIFY(line.endsWith(",\"isPinned\":false,\"wordCount\":100001,\"charCount\":1200000}\n"));
    }

    void copyAndPasteGoThroughTheClipboardAndThePaster()
    {
        CommandsFixture f;
        QCOMPARE(f.run("copy item=5").first, QByteArray("ok"));
        QCOMPARE(f.store.pasteboard->writes(), QStringList{"#ff8800"});

        // The answer waits for the end of the paste: a script's next paste
        // must not replace the clipboard before the target read it.
        std::optional<Reply> reply;
        f.commands.handle(*Request::parse("paste item=1", nullptr), {}, [&](Reply r) { reply = std::move(r); });
        QCOMPARE(f.pasted.size(), 1);
        QCOMPARE(f.pasted.first()->rawContent(), QStringLiteral("first line\nsecond line"));
        QVERIFY(!reply);
        (*f.pasteEnd)(true);
        QCOMPARE(reply->status, QByteArray("ok"));
        f.commands.handle(*Request::parse("paste item=2", nullptr), {}, [&](Reply r) { reply = std::move(r); });
        (*f.pasteEnd)(false);
        QVERIFY(reply->status.startsWith("error: the item is on the clipboard"));
    }

    void tableShowsPinsKindsAndTitles()
    {
        CommandsFixture f;
        const QList<QByteArray> rows = f.run("list").second.split('\n');
        QCOMPARE(rows.size(), 6);
        QVERIFY2(rows[0].startsWith("1  pinned  text") && rows[0].endsWith("  first line"), rows[0]);
        QVERIFY2(rows[3].startsWith("4          code (Swift)") && rows[3].endsWith("  func greet() {"), rows[3]);
        QVERIFY2(rows[4].contains("  color  "), rows[4]);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<CliRequest>("request");
        QTest::addColumn<QByteArray>("sent"); // the request line, for the running program
        const auto row = [](const char *name, const QStringList &arguments, CliRequest request,
                            const QByteArray &sent = {}) {
            QTest::newRow(name) << arguments << request << sent;
        };
        row("no options", {}, CliRequest::Start, "show\n");
        row("--toggle", {"--toggle"}, CliRequest::Toggle, "toggle\n");
        row("--quit", {"--quit"}, CliRequest::Quit, "quit\n");
        row("--help", {"--help"}, CliRequest::Help);
        row("both actions", {"--toggle", "--quit"}, CliRequest::Invalid);
        row("unknown command", {"frobnicate"}, CliRequest::Invalid);
        row("list with everything", {"list", "-f", "code", "--search", "a b", "--picker", "-0"},
            CliRequest::Command, "list filter=code form=picker null=1 search=a%20b\n");
        row("list --json", {"list", "--json"}, CliRequest::Command, "list form=json\n");
        row("unknown category", {"list", "--filter", "colour"}, CliRequest::Invalid);
        row("two forms", {"list", "--json", "--picker"}, CliRequest::Invalid);
        row("NUL without a form", {"list", "-0"}, CliRequest::Invalid);
        row("print by number", {"print", "12"}, CliRequest::Command, "print item=12\n");
        row("paste by id", {"paste", "{52e95281-835c-41f8-a494-89c959ddaf94}"}, CliRequest::Command,
            "paste item=%7B52e95281-835c-41f8-a494-89c959ddaf94%7D\n");
        row("pin a picker line", {"pin", "3: some text"}, CliRequest::Command, "pin item=3%3A%20some%20text\n");
        row("item from standard input", {"delete", "-"}, CliRequest::Command, "delete\n");
        row("item zero", {"copy", "0"}, CliRequest::Invalid);
        row("no item", {"unpin"}, CliRequest::Invalid);
        row("help of a command", {"print", "--help"}, CliRequest::Help);
        row("add takes no argument", {"add", "text"}, CliRequest::Invalid);
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(CliRequest, request);
        QFETCH(QByteArray, sent);
        const CommandLine parsed = CommandLine::parse(QStringList{"tavorindle"} + arguments);
        QCOMPARE(parsed.request, request);
        if (!sent.isEmpty())
            QCOMPARE(parsed.channelRequest.encode(), sent);
        if (request == CliRequest::Invalid)
            QVERIFY2(parsed.message.contains("--help"), qPrintable(parsed.message));
        if (request == CliRequest::Help && arguments.first() == "--help") {
            for (const QString &name : CommandLine::commandNames())
                QVERIFY2(parsed.message.contains("\n  " + name + ' '), qPrintable(name));
        }
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
