// The command line against the built program on a real X server: exit
// statuses, standard input and output, the history file after a change,
// large items, the clipboard, the README's launcher recipe with dmenu
// pasting into a real window, and the shell completions.
#include "app_process.h"
#include "paste_target.h"

#include <QFileInfo>
#include <QStandardPaths>

using namespace AppProcess;

namespace {

QString xclip(const QStringList &arguments, const QByteArray &input = {})
{
    return QString::fromUtf8(run("xclip", QStringList{"-selection", "clipboard"} + arguments, input).out);
}

// Copied oldest first, so listed in this order.
const QStringList copied{"#336699", "SELECT name FROM users WHERE id = 1;", "https://example.org/page",
                         "line one\nline two\n  indented", "alpha text"};
const QByteArray fullListing = "1: #336699\n2: SELECT name FROM users WHERE id = 1;\n3: https://example.org/page\n"
                               "4: line one line two indented\n5: alpha text\n";

} // namespace

class TestX11CommandLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display");
        for (const char *tool : {"xdotool", "xclip", "dmenu"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);
        QVERIFY(m_app.start());
        // The first through the clipboard; init() makes the rest the same way each time.
        xclip({}, copied.last().toUtf8());
        QVERIFY(m_app.recorded(copied.last()));
        QVERIFY(m_target.showExposed());
        m_withBinary = m_app.environment();
        m_withBinary.insert("PATH", QFileInfo(TAVORINDLE_BINARY).path() + u':' + m_withBinary.value("PATH"));
    }

    // Each case starts from the same five unpinned items, whatever the last left.
    void init()
    {
        if (!m_app.isRunning())
            QVERIFY(m_app.start());
        const int listed = int(m_app.command({"list", "--picker"}).out.count('\n'));
        for (int i = 1; i <= listed; ++i)
            m_app.command({"unpin", QString::number(i)});
        QCOMPARE(m_app.command({"clear"}).exitCode, 0);
        for (auto text = copied.crbegin(); text != copied.crend(); ++text)
            QCOMPARE(m_app.command({"add"}, text->toUtf8()).exitCode, 0);
        QVERIFY2(waitUntil([&] { return fileItems() == copied; }), qPrintable(fileItems().join(" | ")));
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QString>("err");      // a part of standard error
        QTest::addColumn<QStringList>("file"); // texts in the file's order, "*" for pinned; empty: unchanged
        const auto row = [](const char *name, const QStringList &arguments, int status, const QByteArray &out,
                            const QString &err = {}, const QStringList &file = {}, const QByteArray &input = {}) {
            QTest::newRow(name) << arguments << input << status << out << err << file;
        };
        // What each request does is the unit tests' matter; here, the
        // process's side: standard input and output, exit status, the file.
        row("list for a picker", {"list", "--picker"}, 0, fullListing);
        row("an item on standard input without a line feed", {"print", "-"}, 0, "line one\nline two\n  indented",
            {}, {}, "4");
        row("a NUL-ended picker record", {"print", "-"}, 0, "line one\nline two\n  indented", {}, {},
            QByteArray("4: line one line two indented\0", 30));
        row("no such item", {"print", "9"}, 1, "", "tavorindle: no item 9: the history holds 5 items\n");
        row("not an item", {"print", "nine"}, 2, "", "'nine' is not an item number");
        row("unknown option", {"list", "--frobnicate"}, 2, "", "frobnicate");
        row("add from standard input", {"add"}, 0, "", {}, QStringList{"from standard input"} + copied,
            "from standard input\n");
        row("pin by a picker line from standard input", {"pin", "-"}, 0, "", {},
            QStringList{"*#336699"} + copied.mid(1), "1: #336699\n");
        row("no item chosen in a launcher", {"paste", "-"}, 1, "", "tavorindle: no item chosen\n", {}, "");
    }

    void commands()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, status);
        QFETCH(QByteArray, out);
        QFETCH(QString, err);
        QFETCH(QStringList, file);
        const auto result = m_app.command(arguments, input);
        QCOMPARE(result.out, out);
        QVERIFY2(result.err.contains(err.toUtf8()) && (err.isEmpty() || status), result.err);
        QCOMPARE(result.exitCode, status);
        if (status == 0)
            QVERIFY2(result.err.isEmpty(), result.err);
        if (!file.isEmpty())
            QVERIFY2(waitUntil([&] { return fileItems() == file; }), qPrintable(fileItems().join(" | ")));
    }

    void largeItemsStreamWhole()
    {
        // Multi-byte characters and line breaks all through 20 MB.
        QString text;
        for (int i = 0; text.size() < (17 << 20); ++i)
            text += QStringLiteral("line %1: ünïcødé \U0001F600 text\n").arg(i);
        text = text.trimmed();
        const QByteArray bytes = text.toUtf8();
        QVERIFY(bytes.size() > (20 << 20));
        // A Debug build on a loaded two-core machine takes its time over 20 MB.
        const int bound = 120000;
        const auto added = m_app.command({"add"}, bytes, bound);
        QCOMPARE(added.exitCode, 0);
        const auto printed = m_app.command({"print", "1"}, {}, bound);
        QCOMPARE(printed.exitCode, 0);
        QVERIFY2(printed.out == bytes, qPrintable(QString::number(printed.out.size())));
    }

    void copyPutsItOnTheClipboard()
    {
        QCOMPARE(m_app.command({"copy", "3"}).exitCode, 0);
        QCOMPARE(xclip({"-o"}), copied[2]);
    }

    void readmePickerRecipeWithDmenu()
    {
        QFile readme(QStringLiteral(TAVORINDLE_SOURCE_DIR "/README.md"));
        QVERIFY(readme.open(QIODevice::ReadOnly));
        QString recipe;
        for (const QString &line : QString::fromUtf8(readme.readAll()).split(u'\n')) {
            if (line.contains("| dmenu") && line.contains("tavorindle paste"))
                recipe = line.trimmed();
        }
        QVERIFY2(!recipe.isEmpty(), "no dmenu recipe in the README");
        QCOMPARE(m_app.command({"add"}, "chosen in dmenu").exitCode, 0);

        QVERIFY(m_target.activateEmpty());
        QProcess shell;
        shell.setProcessEnvironment(m_withBinary);
        shell.start("sh", {"-c", recipe});
        // dmenu shows the list and takes the keyboard.
        QVERIFY(waitUntil([] { return run("xdotool", {"search", "--class", "dmenu"}).exitCode == 0; }));
        run("xdotool", {"type", "--delay", "30", "chosen in"});
        run("xdotool", {"key", "Return"});
        QVERIFY(waitUntil([&] { return shell.state() == QProcess::NotRunning; }));
        QCOMPARE(shell.exitCode(), 0);
        QVERIFY(m_target.received("chosen in dmenu"));
    }

    void completionsOfferCommandsAndItems_data()
    {
        QTest::addColumn<QString>("shell");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QByteArray>("offered");
        QTest::newRow("bash, a command") << "bash" << "tavorindle pa" << QByteArray("paste\n");
        QTest::newRow("bash, a category") << "bash" << "tavorindle list -f l" << QByteArray("links\n");
        QTest::newRow("bash, the running copy's items") << "bash" << "tavorindle paste " << QByteArray("1\n2\n3\n4\n5\n");
        QTest::newRow("fish, items with their text") << "fish" << "tavorindle pin "
            << QByteArray("1\t#336699\n2\tSELECT name FROM users WHERE id = 1;\n3\thttps://example.org/page\n"
                          "4\tline one line two indented\n5\talpha text\n");
    }

    void completionsOfferCommandsAndItems()
    {
        QFETCH(QString, shell);
        QFETCH(QString, line);
        QFETCH(QByteArray, offered);
        if (shell == "fish" && QStandardPaths::findExecutable(shell).isEmpty())
            QSKIP("fish is not installed");
        const QString completions = QStringLiteral(TAVORINDLE_SOURCE_DIR "/data/completions/");
        QString script;
        if (shell == "bash") {
            // The words as bash splits them, the last one being completed.
            const QStringList words = line.split(u' ');
            script = QStringLiteral("source %1tavorindle.bash; COMP_WORDS=('%2'); COMP_CWORD=%3; _tavorindle; "
                                    "printf '%s\\n' \"${COMPREPLY[@]}\"")
                         .arg(completions, words.join("' '"))
                         .arg(words.size() - 1);
        } else {
            script = QStringLiteral("source %1tavorindle.fish; complete -C '%2'").arg(completions, line);
        }
        const auto result = run(shell, {"-c", script}, {}, m_withBinary);
        QCOMPARE(result.out, offered);
    }

    // Whatever happens to the runtime folder's lock, a second copy never
    // writes the history the first keeps: it hands its request over where
    // it can reach the first, else it names it and ends.
    void aSecondCopyNeverSharesTheHistory_data()
    {
        QTest::addColumn<bool>("otherRuntimeFolder");
        QTest::addColumn<int>("status");
        QTest::newRow("its lock file deleted") << false << 0;
        QTest::newRow("another runtime folder") << true << 1;
    }

    void aSecondCopyNeverSharesTheHistory()
    {
        QFETCH(bool, otherRuntimeFolder);
        QFETCH(int, status);
        QProcessEnvironment environment = m_app.environment();
        QTemporaryDir otherRuntime;
        if (otherRuntimeFolder) {
            QFile::setPermissions(otherRuntime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            environment.insert("XDG_RUNTIME_DIR", otherRuntime.path());
        } else {
            QVERIFY(QFile::remove(QFileInfo(m_app.socketPath()).path() + "/tavorindle.lock"));
        }
        const auto second = run(TAVORINDLE_BINARY, {"list", "--picker"}, {}, environment);
        QCOMPARE(second.exitCode, status);
        if (status == 0)
            QVERIFY(second.out.startsWith("1: "));
        else
            QVERIFY2(second.err.contains(QStringLiteral("another running copy (process %1) keeps the history")
                                             .arg(m_app.process().processId()).toUtf8()), second.err);
        QVERIFY(m_app.isRunning());
        QCOMPARE(m_app.command({"add"}, "one writer").exitCode, 0);
        QVERIFY(m_app.recorded("one writer"));
    }

    void withoutARunningCopyCommandsFailAndStartNothing()
    {
        QCOMPARE(m_app.command({"--quit"}).exitCode, 0);
        QVERIFY(m_app.ended());
        const auto listed = m_app.command({"list"});
        QCOMPARE(listed.exitCode, 1);
        QVERIFY2(listed.err.contains("Tavorindle is not running"), listed.err);
        QVERIFY(!QFile::exists(m_app.socketPath()));
    }

private:
    // The history file's texts in its order, pinned ones marked "*".
    QStringList fileItems() const
    {
        QStringList items;
        for (const HistoryItem &item : m_app.history())
            items.append((item.pinned ? "*" : "") + item.text);
        return items;
    }

    App m_app;
    PasteTarget m_target;
    QProcessEnvironment m_withBinary; // the program's, with the built binary first on PATH
};

QTEST_MAIN(TestX11CommandLine)
#include "tst_x11_command_line.moc"
