#include "browserlauncher_linux.h"
#include "desktopentry.h"
#include "testfiles.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Result = BrowserLauncher::LaunchResult;

class TestBrowserLauncher : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString root(const QString &relative) const { return m_dir.filePath(relative); }
    void writeRoot(const QString &relative, const QByteArray &bytes, bool executable = true)
    {
        QVERIFY(QDir().mkpath(QFileInfo(root(relative)).path()));
        QVERIFY(writeFile(root(relative), bytes));
        QVERIFY(QFile::setPermissions(root(relative),
                                      QFileDevice::Permissions(executable ? 0x700 : 0x600)));
    }

private slots:
    // bin/ holds stand-in browsers that record their arguments, each ending with
    // a NUL, in records/<name they were started by>.
    void init()
    {
        QVERIFY(QDir(root(u"records"_s)).removeRecursively() && QDir().mkpath(root(u"records"_s)));
        QDir(root(u"share"_s)).removeRecursively();
        const QByteArray standIn = "#!/bin/sh\nr=\"$CORVANE_RECORDS/${0##*/}\"\n"
                                   "printf '%s\\0' \"$0\" \"$@\" >\"$r\" && : >\"$r.done\"\n";
        for (const QString &name :
             {u"bin/standin"_s, u"bin/other"_s, u"bin/x-www-browser"_s, u"Web Browser/run"_s,
              u"brü/run"_s, u"sb/sensible-browser"_s, u"sb/www-browser"_s})
            writeRoot(name, standIn);
        writeRoot(u"bin/plain"_s, "#!/bin/sh\n", false);
        for (const QString &tool : {u"bin/xdg-settings"_s, u"bin/xdg-mime"_s})
            QFile::remove(root(tool));
    }

    // A field code as the program starts nothing (an open quote: the "broken" launch row).
    void fieldCodeAsProgram()
    {
        QVERIFY(!DesktopEntry::parse("[Desktop Entry]\nExec=%u --x")->commandFor(u"t"_s));
    }

    // "desktop": the default browser's desktop file in a subfolder, "vendor", "broken",
    // "hidden", or "hang" for xdg tools that never answer. "started": the stand-in's name,
    // then its arguments.
    void launch_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("browser");
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QString>("target");
        QTest::addColumn<Result>("result");
        QTest::addColumn<QStringList>("started");
        const auto row = [](const char *name, const QString &path, const QString &browser,
                            const QString &desktop, const QString &target, Result result,
                            const QStringList &started) {
            QTest::newRow(name) << path << browser << desktop << target << result << started;
        };
        const QString bin = u"@BIN@"_s, all = u"@BIN@:/usr/bin:/bin"_s, t = u"t"_s;
        const QString hostile = u"a;touch x $(id) `id` 'q' \"q\" * %s\nb"_s;
        const Result ok = Result::Started;
        const QStringList debian{u"x-www-browser"_s, t};
        row("$BROWSER before the desktop default, a hostile target as one argument", all,
            u"standin"_s, u"vendor"_s, hostile, ok, {u"standin"_s, hostile});
        row("first existing entry of $BROWSER wins, empty and malformed ones skipped", bin,
            u"::no-such-browser:\"open:other:standin"_s, {}, t, ok, {u"other"_s, t});
        row("%s in a word and in quotes, %% and quoted options, a path with blanks", {},
            u"'@ROOT@/Web Browser/run' --url=%s 100%% \"a b\" '%s'"_s, {}, t, ok,
            {u"run"_s, u"--url=t"_s, u"100%"_s, u"a b"_s, t});
        row("desktop default in a subfolder before Debian's: Exec quoting, one target", all, {},
            u"vendor"_s, hostile, ok,
            {u"run"_s, u"--flag"_s, u"two words"_s, u"back\\slash"_s, u"--zoom=50%"_s,
             u"--url="_s + hostile});
        row("malformed desktop Exec: Debian's alternative", all, {}, u"broken"_s, t, ok, debian);
        row("a hidden desktop default is passed over", all, {}, u"hidden"_s, t, ok, debian);
        row("sensible-browser where it has a browser to run", u"@BIN@/../sb"_s, {}, {}, t, ok,
            {u"sensible-browser"_s, t});
        row("xdg tools that never answer are abandoned", bin, {}, u"hang"_s, t, ok, debian);
        row("no browser anywhere", {}, u"no-such-browser:@ROOT@/home"_s, {}, t, Result::NoBrowser,
            {});
        row("browser without execute permission", bin, u"plain"_s, {}, t, Result::NotStarted, {});
        row("target that reads as an option is refused", bin, u"standin"_s, {}, u"-new"_s,
            Result::NotStarted, {});
        row("target with NUL is refused", bin, u"standin"_s, {}, u"t\u0000--x"_s,
            Result::NotStarted, {});
    }

    void launch()
    {
        QFETCH(QString, path);
        QFETCH(QString, browser);
        QFETCH(QString, desktop);
        QFETCH(QString, target);
        QFETCH(QStringList, started);
        if (desktop == u"hang")
            for (const QString &tool : {u"bin/xdg-settings"_s, u"bin/xdg-mime"_s})
                writeRoot(tool, "#!/bin/sh\nexec /bin/sleep 600\n");
        else if (!desktop.isEmpty()) {
            if (QStandardPaths::findExecutable(u"xdg-mime"_s).isEmpty())
                QSKIP("xdg-mime (Debian package xdg-utils) is not installed");
            // Only the entry's own unlocalized Exec counts, string escapes before the quoting;
            // %i is dropped, %% is a percent sign, and only the first target code takes the
            // target, also inside a word.
            const QByteArray exec =
                desktop == u"broken"
                    ? "b \"%u"_ba
                    : "\"" + root(u"brü/run"_s).toUtf8() +
                          "\" --flag \"two\\swords\" \"back\\\\\\\\slash\" %i --zoom=50%% "
                          "--url=%f %U %u";
            writeRoot(
                u"share/applications/vendor/b.desktop"_s,
                "[Desktop Action n]\nExec=w\n[Desktop Entry]\r\nType=Application\r\nName=B\r\n"
                "Exec[de]=w\r\nExec = " +
                    exec + (desktop == u"hidden" ? "\r\nHidden=true\r\n" : "\r\n"),
                false);
            writeRoot(u"config/mimeapps.list"_s,
                      "[Default Applications]\nx-scheme-handler/http=vendor-b.desktop\n", false);
        }
        QProcessEnvironment env;
        env.insert(u"PATH"_s, path.replace(u"@BIN@"_s, root(u"bin"_s)));
        if (!browser.isEmpty())
            env.insert(u"BROWSER"_s, browser.replace(u"@ROOT@"_s, m_dir.path()));
        for (const QString &folder : {u"HOME=home"_s, u"XDG_DATA_DIRS=share"_s,
                                      u"XDG_CONFIG_HOME=config"_s, u"CORVANE_RECORDS=records"_s})
            env.insert(folder.section(u'=', 0, 0), root(folder.section(u'=', 1)));
        LinuxBrowserLauncher launcher(env);
        launcher.setQueryTimeout(1000);
        QTEST(launcher.launch(target), "result");
        const QString record = root(u"records/"_s + started.value(0));
        if (!started.isEmpty()) {
            QVERIFY(QTest::qWaitFor([&] { return QFile::exists(record + u".done"_s); }, 10000));
            QStringList arguments = QString::fromUtf8(readFile(record)).split(QChar());
            arguments.removeLast();
            QCOMPARE(arguments.mid(1), started.mid(1));
        }
        QCOMPARE(QDir(root(u"records"_s)).entryList(QDir::Files).size(), started.isEmpty() ? 0 : 2);
    }
};

QTEST_MAIN(TestBrowserLauncher)
#include "tst_browserlauncher.moc"
