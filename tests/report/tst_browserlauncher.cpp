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
        QVERIFY(QDir().mkpath(QFileInfo(root(relative)).path()) &&
                writeFile(root(relative), bytes));
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

    // "<PATH>~<BROWSER>~<desktop>~<target>~<started>". @BIN@ is the stand-ins' folder,
    // @ALL@ that and the system's, @ROOT@ the test folder, @HOSTILE@ a target full of shell
    // text. "desktop": the default browser's desktop file in a subfolder ("vendor", "broken",
    // "hidden"), or "hang" for xdg tools that never answer. "started": the stand-in's name,
    // then its arguments, | between.
    void launch_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<Result>("result");
        const auto row = [](const char *name, const QString &text,
                            Result result = Result::Started) {
            QTest::newRow(name) << text << result;
        };
        row("$BROWSER before the desktop default, a hostile target as one argument",
            u"@ALL@~standin~vendor~@HOSTILE@~standin|@HOSTILE@"_s);
        row("first existing entry of $BROWSER wins, empty and malformed ones skipped",
            u"@BIN@~::no-such-browser:\"open:other:standin~~t~other|t"_s);
        row("%s in a word and in quotes, %% and quoted options, a path with blanks",
            u"~'@ROOT@/Web Browser/run' --url=%s 100%% \"a b\" '%s'~~t~run|--url=t|100%|a b|t"_s);
        row("desktop default in a subfolder before Debian's: Exec quoting, one target",
            u"@ALL@~~vendor~@HOSTILE@~run|--flag|two words|back\\slash|--zoom=50%|--url=@HOSTILE@"_s);
        row("malformed desktop Exec: Debian's alternative", u"@ALL@~~broken~t~x-www-browser|t"_s);
        row("a hidden desktop default is passed over", u"@ALL@~~hidden~t~x-www-browser|t"_s);
        row("sensible-browser where it has a browser to run",
            u"@BIN@/../sb~~~t~sensible-browser|t"_s);
        row("xdg tools that never answer are abandoned", u"@BIN@~~hang~t~x-www-browser|t"_s);
        row("no browser anywhere", u"~no-such-browser:@ROOT@/home~~t~"_s, Result::NoBrowser);
        row("browser without execute permission", u"@BIN@~plain~~t~"_s, Result::NotStarted);
        row("target that reads as an option is refused", u"@BIN@~standin~~-new~"_s,
            Result::NotStarted);
        row("target with NUL is refused", u"@BIN@~standin~~t\u0000--x~"_s, Result::NotStarted);
    }

    void launch()
    {
        QFETCH(QString, row);
        const QStringList part =
            row.replace(u"@ALL@"_s, u"@BIN@:/usr/bin:/bin"_s)
                .replace(u"@BIN@"_s, root(u"bin"_s))
                .replace(u"@ROOT@"_s, m_dir.path())
                .replace(u"@HOSTILE@"_s, u"a;touch x $(id) `id` 'q' \"q\" * %s\nb"_s)
                .split(u'~');
        const QString desktop = part[2];
        const QStringList started = part[4].split(u'|', Qt::SkipEmptyParts);
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
        env.insert(u"PATH"_s, part[0]);
        if (!part[1].isEmpty())
            env.insert(u"BROWSER"_s, part[1]);
        for (const QString &folder : {u"HOME=home"_s, u"XDG_DATA_DIRS=share"_s,
                                      u"XDG_CONFIG_HOME=config"_s, u"CORVANE_RECORDS=records"_s})
            env.insert(folder.section(u'=', 0, 0), root(folder.section(u'=', 1)));
        LinuxBrowserLauncher launcher(env);
        launcher.setQueryTimeout(1000);
        QTEST(launcher.launch(part[3]), "result");
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
