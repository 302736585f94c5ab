// What `cmake --install` puts in place, checked with the tools desktops and
// distributions check it with.
#include "app_process.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestInstalledFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DESTDIR", m_destination.path());
        const auto installed = AppProcess::run(CMAKE_COMMAND, {"--install", TAVORINDLE_BUILD_DIR}, {}, environment, 60000);
        QVERIFY2(installed.exitCode == 0, installed.out + installed.err);
        m_root = m_destination.path() + TAVORINDLE_INSTALL_PREFIX;
    }

    void validated_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments"); // "@" is the installed root
        QTest::addColumn<bool>("required");         // else skipped where the tool is missing
        // In place and not empty; the rest are read by the tools below.
        for (const char *path : {"bin/tavorindle", "share/icons/hicolor/scalable/apps/tavorindle.svg",
                                 "share/zsh/site-functions/_tavorindle", "share/fish/vendor_completions.d/tavorindle.fish",
                                 "share/doc/tavorindle/copyright", "share/doc/tavorindle/changelog.gz"})
            QTest::newRow(path) << "test" << QStringList{"-f", "@/" + QString(path), "-a", "-s", "@/" + QString(path)} << true;
        // The executable loads the program from where the install put it.
        QTest::newRow("the program loads") << "sh" << QStringList{"-c", "@/bin/tavorindle --version | grep -qx 'tavorindle [0-9.]*'"}
                                           << true;
        QTest::newRow("menu entry") << "desktop-file-validate" << QStringList{"@/share/applications/tavorindle.desktop"} << true;
        QTest::newRow("login entry") << "desktop-file-validate" << QStringList{"@/etc/xdg/autostart/tavorindle.desktop"} << true;
        QTest::newRow("metainfo") << "appstreamcli"
                                  << QStringList{"validate", "--no-net", "--explain",
                                                 "@/share/metainfo/app.tavorindle.Tavorindle.metainfo.xml"}
                                  << true;
        // groff reports what it cannot typeset; nothing may be reported.
        QTest::newRow("manual page") << "sh" << QStringList{"-c", "zcat @/share/man/man1/tavorindle.1.gz | "
                                                                  "groff -man -Tutf8 -ww -z 2>&1 | grep . && exit 1; exit 0"}
                                     << true;
        QTest::newRow("bash completion") << "bash" << QStringList{"-n", "@/share/bash-completion/completions/tavorindle"} << true;
        QTest::newRow("zsh completion") << "zsh" << QStringList{"-n", "@/share/zsh/site-functions/_tavorindle"} << false;
        QTest::newRow("fish completion") << "fish" << QStringList{"-n", "@/share/fish/vendor_completions.d/tavorindle.fish"} << false;
    }

    void validated()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        QFETCH(bool, required);
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            QVERIFY2(!required, qPrintable(tool + " is not installed"));
            QSKIP(qPrintable(tool + " is not installed"));
        }
        arguments.replaceInStrings("@", m_root);
        const auto ran = AppProcess::run(tool, arguments, {}, QProcessEnvironment::systemEnvironment(), 60000);
        QVERIFY2(ran.exitCode == 0, ran.out + ran.err);
    }

    // KWin grants typing and the window list only to an entry whose Exec is
    // the running binary's path, and takes the first entry that names it:
    // every entry names the installed binary, each with the same grant. The
    // login entry, left behind as configuration when the package goes, must
    // start nothing without the program (TryExec).
    void desktopEntriesNameTheInstalledProgram_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::newRow("menu") << "share/applications/tavorindle.desktop";
        QTest::newRow("login") << "etc/xdg/autostart/tavorindle.desktop";
    }

    void desktopEntriesNameTheInstalledProgram()
    {
        QFETCH(QString, entry);
        QFile file(m_root + u'/' + entry);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString program = QStringLiteral(TAVORINDLE_INSTALL_PREFIX "/bin/tavorindle");
        QStringList execs;
        QString tryExec;
        QString grant;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith("Exec="))
                execs << QString::fromUtf8(line.mid(5)).section(u' ', 0, 0);
            else if (line.startsWith("TryExec="))
                tryExec = QString::fromUtf8(line.mid(8));
            else if (line.startsWith("X-KDE-Wayland-Interfaces="))
                grant = QString::fromUtf8(line.mid(25));
        }
        QVERIFY(!execs.isEmpty());
        for (const QString &exec : execs)
            QCOMPARE(exec, program);
        QCOMPARE(tryExec, program);
        QStringList interfaces = grant.split(u',', Qt::SkipEmptyParts);
        interfaces.sort();
        QCOMPARE(interfaces, (QStringList{"org_kde_kwin_fake_input", "org_kde_plasma_window_management"}));
    }

private:
    QTemporaryDir m_destination;
    QString m_root;
};

QTEST_MAIN(TestInstalledFiles)
#include "tst_installed_files.moc"
