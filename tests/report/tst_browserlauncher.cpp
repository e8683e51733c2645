// The browser launch against a stand-in browser found through $BROWSER, real
// desktop files (asked through xdg-utils) and Debian's alternatives; then the
// About box and the result list's double-click with their messages.
#include "aboutbox.h"
#include "browserlauncher_linux.h"
#include "desktopentry.h"
#include "dialoganswerer.h"
#include "launchbrowser.h"
#include "testfiles.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using Result = BrowserLauncher::LaunchResult;

namespace {
const QString kQuestion = u"Do you want to go to my web site now so you can download the latest "
                          u"version of Corvane?"_s;
const QString kAbout =
    u"Corvane 2.0\r\n\r\nCopyright (C) 2026 The Corvane developers\r\nFree software: you may "
    u"use, copy and share it.\r\n\r\nCorvane allows you to see what IP Numbers are being used "
    u"on the internet.\r\nJust enter a start IP Number and a stop IP Number and select the Start "
    u"Button!\r\nPinged IP Numbers can be printed, copied to the Clipboard, or stored in a log "
    u"file.\r\n\r\nQuestions and ideas are always welcome - write to us:\r\n\r\n"
    u"corvane@example.org - https://corvane.example.org"_s;
} // namespace

class TestBrowserLauncher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void desktopEntry_data();
    void desktopEntry();
    void launch_data();
    void launch();
    void dialogs_data();
    void dialogs();

private:
    QString root(const QString &relative = {}) const { return m_dir->filePath(relative); }
    void writeRoot(const QString &relative, const QByteArray &bytes, bool executable = false);
    QProcessEnvironment environment(const QString &path, const QString &browser) const;
    QStringList record(const QString &name) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestBrowserLauncher::writeRoot(const QString &relative, const QByteArray &bytes,
                                    bool executable)
{
    QVERIFY(QDir().mkpath(QFileInfo(root(relative)).path()));
    QVERIFY(writeFile(root(relative), bytes));
    QVERIFY(QFile::setPermissions(root(relative),
                                  QFileDevice::Permissions(executable ? 0x700 : 0x600)));
}

// A private world: bin/ holds stand-in browsers that record their arguments,
// each ending with a NUL, in records/<name they were started by>.
void TestBrowserLauncher::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(root()).mkpath(u"records"_s));
    const QByteArray standIn = "#!/bin/sh\nr=\"$CORVANE_RECORDS/${0##*/}\"\n"
                               "printf '%s\\0' \"$0\" \"$@\" >\"$r\" && : >\"$r.done\"\n";
    for (const QString &name :
         {u"bin/standin"_s, u"bin/other"_s, u"bin/x-www-browser"_s, u"Web Browser/run"_s,
          u"browser/run"_s, u"sb/sensible-browser"_s, u"sb/www-browser"_s})
        writeRoot(name, standIn, true);
    writeRoot(u"bin/plain"_s, "#!/bin/sh\n");
}

QProcessEnvironment TestBrowserLauncher::environment(const QString &path,
                                                     const QString &browser) const
{
    QProcessEnvironment env;
    env.insert(u"PATH"_s, QString(path).replace(u"@BIN@"_s, root(u"bin"_s)));
    if (!browser.isEmpty())
        env.insert(u"BROWSER"_s, QString(browser).replace(u"@ROOT@"_s, root()));
    env.insert(u"HOME"_s, root(u"home"_s));
    env.insert(u"XDG_DATA_HOME"_s, root(u"data"_s));
    env.insert(u"XDG_DATA_DIRS"_s, root(u"share"_s));
    env.insert(u"XDG_CONFIG_HOME"_s, root(u"config"_s));
    env.insert(u"CORVANE_RECORDS"_s, root(u"records"_s));
    return env;
}

// The arguments the stand-in called @p name got, after its own path.
QStringList TestBrowserLauncher::record(const QString &name) const
{
    if (!QTest::qWaitFor([&] { return QFile::exists(root(u"records/"_s + name + u".done"_s)); },
                         10000))
        return {u"(not started)"_s};
    QStringList arguments = QString::fromUtf8(readFile(root(u"records/"_s + name))).split(QChar());
    arguments.removeLast();
    return arguments.mid(1);
}

// What a desktop file starts for the target "t x"; nothing when it is malformed.
void TestBrowserLauncher::desktopEntry_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("command");
    const QByteArray group = "[Desktop Entry]\n";
    QTest::newRow("%U; other field codes dropped, %% a percent sign, the first target code only")
        << group + "Exec=b %i %c --zoom=50%% %U %u\n"
        << QStringList{u"b"_s, u"--zoom=50%"_s, u"t x"_s};
    QTest::newRow("%f inside a word")
        << group + "Exec=b --url=%f" << QStringList{u"b"_s, u"--url=t x"_s};
    QTest::newRow("%F") << group + "Exec=b %F" << QStringList{u"b"_s, u"t x"_s};
    QTest::newRow("quoted words as written: a shell never sees the target")
        << group + "Exec=sh -c \"exec b %u\""
        << QStringList{u"sh"_s, u"-c"_s, u"exec b %u"_s, u"t x"_s};
    QTest::newRow("only the entry's own unlocalized first Exec; CR LF, blanks around =")
        << "# Exec=w\n[Desktop Action n]\nExec=w\n[Desktop Entry]\r\nExec[de]=w\r\n"
           "Exec = right %u\r\nExec=second\n[Desktop Action p]\nExec=w\n"_ba
        << QStringList{u"right"_s, u"t x"_s};
    QTest::newRow("string escapes resolved before the quoting, UTF-8")
        << group + "Exec=/opt/br\xc3\xbc/b \"a\\sb\" %u"
        << QStringList{u"/opt/br\u00fc/b"_s, u"a b"_s, u"t x"_s};
    for (const QByteArray &bad :
         {"Exec=b \"%u"_ba, "Exec=%u --x"_ba, "Exec=\"\" %u"_ba, "Name=b"_ba})
        QTest::addRow("malformed: %s", bad.constData()) << group + bad << QStringList();
    QTest::newRow("no Desktop Entry group") << "[Desktop Action x]\nExec=b\n"_ba << QStringList();
}

void TestBrowserLauncher::desktopEntry()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, command);
    const std::optional<DesktopEntry> entry = DesktopEntry::parse(file);
    QCOMPARE(entry ? entry->commandFor(u"t x"_s).value_or(QStringList()) : QStringList(), command);
}

void TestBrowserLauncher::launch_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("browser");
    QTest::addColumn<QString>("desktopFile");
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("startedAs");
    QTest::addColumn<QStringList>("arguments");

    const int started = int(Result::Started);
    const QString hostile = u"a;touch x $(id) `id` 'q' \"q\" * %s\nb"_s;
    const QString exec = u"@ROOT@/browser/run --flag \"two words\" \"back\\\\\\\\slash\""_s;
    const QStringList execArguments{u"--flag"_s, u"two words"_s, u"back\\slash"_s};
    QTest::newRow("$BROWSER gets a hostile target as one argument")
        << u"@BIN@"_s << u"standin"_s << QString() << QString() << hostile << started
        << u"standin"_s << QStringList{hostile};
    QTest::newRow("first existing entry of $BROWSER wins, empty ones skipped")
        << u"@BIN@"_s << u"::no-such-browser:other:standin"_s << QString() << QString()
        << u"host.example"_s << started << u"other"_s << QStringList{u"host.example"_s};
    QTest::newRow("%s in a word and in quotes, %% and quoted options")
        << u"@BIN@"_s << u"standin --url=%s 100%% \"a b\" '%s'"_s << QString() << QString()
        << u"t"_s << started << u"standin"_s
        << QStringList{u"--url=t"_s, u"100%"_s, u"a b"_s, u"t"_s};
    QTest::newRow("quoted path with blanks, a malformed entry skipped")
        << QString() << u"\"open:'@ROOT@/Web Browser/run' %s"_s << QString() << QString() << u"t"_s
        << started << u"run"_s << QStringList{u"t"_s};
    QTest::newRow("desktop default in a vendor subfolder, Exec with quoting")
        << u"@BIN@:/usr/bin:/bin"_s << QString() << u"share/applications/vendor/b.desktop"_s
        << exec + u" %u"_s << hostile << started << u"run"_s
        << (execArguments + QStringList{hostile});
    QTest::newRow("desktop Exec without field code: the target appended")
        << u"@BIN@:/usr/bin:/bin"_s << QString() << u"data/applications/b.desktop"_s << exec
        << u"t"_s << started << u"run"_s << (execArguments + QStringList{u"t"_s});
    QTest::newRow("a hidden desktop default is passed over")
        << u"@BIN@:/usr/bin:/bin"_s << QString() << u"data/applications/b.desktop"_s
        << exec + u"\nHidden=true"_s << u"t"_s << started << u"x-www-browser"_s
        << QStringList{u"t"_s};
    QTest::newRow("desktop tools that never answer are abandoned")
        << u"@BIN@"_s << QString() << u"hang"_s << QString() << u"t"_s << started
        << u"x-www-browser"_s << QStringList{u"t"_s};
    QTest::newRow("Debian's alternative is the last resort")
        << u"@BIN@"_s << QString() << QString() << QString() << u"t"_s << started
        << u"x-www-browser"_s << QStringList{u"t"_s};
    QTest::newRow("sensible-browser where it has a browser to run")
        << u"@BIN@/../sb"_s << QString() << QString() << QString() << u"t"_s << started
        << u"sensible-browser"_s << QStringList{u"t"_s};
    QTest::newRow("no browser anywhere")
        << QString() << u"no-such-browser:@ROOT@/home"_s << QString() << QString() << u"t"_s
        << int(Result::NoBrowser) << QString() << QStringList();
    QTest::newRow("browser without execute permission")
        << u"@BIN@"_s << u"plain"_s << QString() << QString() << u"t"_s << int(Result::NotStarted)
        << QString() << QStringList();
    QTest::newRow("target that reads as an option is refused")
        << u"@BIN@"_s << u"standin"_s << QString() << QString() << u"-new-instance"_s
        << int(Result::NotStarted) << QString() << QStringList();
    QTest::newRow("target with NUL is refused")
        << u"@BIN@"_s << u"standin"_s << QString() << QString() << u"t\u0000--x"_s
        << int(Result::NotStarted) << QString() << QStringList();
}

void TestBrowserLauncher::launch()
{
    QFETCH(QString, path);
    QFETCH(QString, browser);
    QFETCH(QString, desktopFile);
    QFETCH(QString, exec);
    QFETCH(QString, target);
    QFETCH(int, result);
    QFETCH(QString, startedAs);
    QFETCH(QStringList, arguments);
    QDir(root()).mkpath(u"home"_s);
    for (const QString &tool : {u"bin/xdg-settings"_s, u"bin/xdg-mime"_s})
        if (desktopFile == u"hang")
            writeRoot(tool, "#!/bin/sh\nexec /bin/sleep 600\n", true);
    if (!desktopFile.isEmpty() && desktopFile != u"hang") {
        if (QStandardPaths::findExecutable(u"xdg-mime"_s).isEmpty())
            QSKIP("xdg-mime (Debian package xdg-utils) is not installed");
        writeRoot(desktopFile, "[Desktop Entry]\nType=Application\nName=B\nExec=" +
                                   exec.replace(u"@ROOT@"_s, root()).toUtf8() + '\n');
        const QByteArray id = desktopFile.contains(u"vendor"_s) ? "vendor-b.desktop" : "b.desktop";
        writeRoot(u"config/mimeapps.list"_s, "[Default Applications]\nx-scheme-handler/http=" + id +
                                                 "\nx-scheme-handler/https=" + id + '\n');
    }
    LinuxBrowserLauncher launcher(environment(path, browser));
    launcher.setQueryTimeout(1000);
    QCOMPARE(int(launcher.launch(target)), result);
    if (!startedAs.isEmpty())
        QCOMPARE(record(startedAs), arguments);
    QCOMPARE(QDir(root(u"records"_s)).entryList(QDir::Files).size(), startedAs.isEmpty() ? 0 : 2);
}

void TestBrowserLauncher::dialogs_data()
{
    QTest::addColumn<QString>("action"); // "about" or the result list's tooltip
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("browser");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("buttons");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("opened");

    const QString tip = u" Double-click on domain to load "_s;
    QTest::newRow("double-click opens the domain column")
        << tip << u"10.0.0.5\thost.example\t12/05/26 03:26:08 pm"_s << u"standin"_s
        << QList<QMessageBox::StandardButton>{} << QStringList() << QStringList{u"host.example"_s};
    QTest::newRow("double-click on a line without a name opens an empty target")
        << tip << u"10.0.0.5\t\tx"_s << u"standin"_s << QList<QMessageBox::StandardButton>{}
        << QStringList() << QStringList{QString()};
    QTest::newRow("double-click without tooltip opens nothing")
        << QString() << u"10.0.0.5\thost.example"_s << u"standin"_s
        << QList<QMessageBox::StandardButton>{} << QStringList() << QStringList();
    QTest::newRow("no browser: warning")
        << tip << u"host.example"_s << QString() << QList<QMessageBox::StandardButton>{}
        << QStringList{u"Could not find associated browser."_s} << QStringList();
    QTest::newRow("browser that cannot start: warning")
        << tip << u"host.example"_s << u"plain"_s << QList<QMessageBox::StandardButton>{}
        << QStringList{u"Web page not opened."_s} << QStringList();
    QTest::newRow("About box, Yes opens the web site")
        << u"about"_s << QString() << u"standin"_s << QList{QMessageBox::Ok, QMessageBox::Yes}
        << QStringList{kAbout, kQuestion} << QStringList{u"https://corvane.example.org"_s};
    QTest::newRow("About box, No opens nothing")
        << u"about"_s << QString() << u"standin"_s << QList{QMessageBox::Ok, QMessageBox::No}
        << QStringList{kAbout, kQuestion} << QStringList();
}

void TestBrowserLauncher::dialogs()
{
    QFETCH(QString, action);
    QFETCH(QString, line);
    QFETCH(QString, browser);
    QFETCH(QList<QMessageBox::StandardButton>, buttons);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, opened);
    QWidget window;
    window.show();
    LinuxBrowserLauncher launcher(environment(browser.isEmpty() ? QString() : u"@BIN@"_s, browser));
    DialogAnswerer answerer(buttons);
    if (action == u"about")
        showAboutBox(&window, launcher);
    else
        handleResultDoubleClick(action, line, &window, launcher);

    QCOMPARE(answerer.texts(), texts);
    for (const SeenDialog &seen : answerer.seen()) {
        QCOMPARE(seen.parent, &window);
        QCOMPARE(seen.icon, seen.text == kQuestion ? QMessageBox::Question
                            : seen.text == kAbout  ? QMessageBox::NoIcon
                                                   : QMessageBox::Warning);
        QCOMPARE(seen.title, seen.text == kAbout ? u"Corvane - About Box"_s : u"Corvane"_s);
    }
    if (!opened.isEmpty())
        QCOMPARE(record(u"standin"_s), opened);
    QCOMPARE(QDir(root(u"records"_s)).entryList(QDir::Files).size(), opened.size() * 2);
}

QTEST_MAIN(TestBrowserLauncher)
#include "tst_browserlauncher.moc"
