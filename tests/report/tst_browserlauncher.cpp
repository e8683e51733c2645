#include "browserfixture.h"
#include "browserlauncher_linux.h"

#include <QDir>
#include <QDirIterator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using Result = BrowserLauncher::LaunchResult;
constexpr int RecordTimeoutMs = 10000;

// Every file below @p dir, relative to it.
QStringList filesBelow(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(dir).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace

class TestBrowserLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void browserVariablePassesTargetUnchanged_data();
    void browserVariablePassesTargetUnchanged();
    void browserVariableForms_data();
    void browserVariableForms();
    void desktopDefaultBrowser_data();
    void desktopDefaultBrowser();
    void debianAlternativeIsTheLastResort();
    void noBrowserFound_data();
    void noBrowserFound();
    void browserThatCannotStart_data();
    void browserThatCannotStart();
    void targetReadAsOptionIsRefused_data();
    void targetReadAsOptionIsRefused();
    void hangingDesktopQueryIsAbandoned();
    void desktopIdLeavingTheFolderIsIgnored();

private:
    bool needsXdgUtils();

    QTemporaryDir m_base;
    QString m_tmp;
    QString m_cwd;
    QString m_systemPath;
    std::unique_ptr<BrowserFixture> m_fixture;
};

void TestBrowserLauncher::initTestCase()
{
    QVERIFY(m_base.isValid());
    // Anything this process or its children leave in the temporary folder
    // shows up here.
    m_tmp = m_base.filePath(u"tmp"_s);
    QVERIFY(QDir().mkpath(m_tmp));
    qputenv("TMPDIR", m_tmp.toLocal8Bit());
    m_cwd = m_base.filePath(u"cwd"_s);
    QVERIFY(QDir().mkpath(m_cwd));
    QVERIFY(QDir::setCurrent(m_cwd));
    m_systemPath = qEnvironmentVariable("PATH");
    QVERIFY(QFileInfo(QStringLiteral(CORVANE_STANDIN_BROWSER)).isExecutable());
}

void TestBrowserLauncher::init()
{
    m_fixture = std::make_unique<BrowserFixture>(m_base.path());
    QVERIFY(m_fixture->isValid());
}

void TestBrowserLauncher::cleanup()
{
    QCOMPARE(filesBelow(m_tmp), QStringList());
    QCOMPARE(filesBelow(m_fixture->path(u"tmp"_s)), QStringList());
    QCOMPARE(filesBelow(m_fixture->path(u"home"_s)), QStringList());
    QCOMPARE(filesBelow(m_cwd), QStringList());
    m_fixture.reset();
}

bool TestBrowserLauncher::needsXdgUtils()
{
    return !QStandardPaths::findExecutable(u"xdg-settings"_s).isEmpty() &&
           !QStandardPaths::findExecutable(u"xdg-mime"_s).isEmpty();
}

void TestBrowserLauncher::browserVariablePassesTargetUnchanged_data()
{
    QTest::addColumn<QString>("target");

    // The marker file lives in the fixture; cleanup() would also catch it.
    const QString marker = m_base.filePath(u"tmp/pwned"_s);
    QTest::newRow("bare domain") << u"host.example"_s;
    QTest::newRow("web address with query") << u"https://corvane.example.org/?a=1&b=2"_s;
    QTest::newRow("command separator") << u"a;touch "_s + marker;
    QTest::newRow("command substitution") << u"$(touch "_s + marker + u")"_s;
    QTest::newRow("backticks") << u"`touch "_s + marker + u"`"_s;
    QTest::newRow("blanks") << u"two words  and\ttab"_s;
    QTest::newRow("quotes") << u"it's \"quoted\" \\ back"_s;
    QTest::newRow("glob and redirection") << u"* > "_s + marker;
    QTest::newRow("variable") << u"$HOME ${PATH} %s %% %u"_s;
    QTest::newRow("pipe and background") << u"x | touch "_s + marker + u" &"_s;
    QTest::newRow("newline") << u"a\ntouch "_s + marker;
    QTest::newRow("non-ASCII name") << u"m\u00fcnchen.example"_s;
    QTest::newRow("empty target is an empty argument") << QString();
}

void TestBrowserLauncher::browserVariablePassesTargetUnchanged()
{
    QFETCH(QString, target);
    const QString program = m_fixture->installStandIn(u"standin"_s);
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"BROWSER"_s, u"standin"_s);

    LinuxBrowserLauncher launcher(env);
    QCOMPARE(launcher.launch(target), Result::Started);
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(u"standin"_s), RecordTimeoutMs);
    QCOMPARE(m_fixture->record(u"standin"_s), QStringList({program, target}));
    QVERIFY(!QFileInfo::exists(m_base.filePath(u"tmp/pwned"_s)));
}

void TestBrowserLauncher::browserVariableForms_data()
{
    QTest::addColumn<QString>("browser");
    QTest::addColumn<QString>("startedAs");
    QTest::addColumn<QStringList>("arguments");

    const QString target = u"host.example"_s;
    QTest::newRow("first entry missing, second wins")
        << u"no-such-browser:standin"_s << u"standin"_s << QStringList{target};
    QTest::newRow("first existing entry wins")
        << u"standin:other"_s << u"standin"_s << QStringList{target};
    QTest::newRow("empty entries skipped") << u"::other:"_s << u"other"_s << QStringList{target};
    QTest::newRow("%s among options") << u"standin --new-tab %s --x"_s << u"standin"_s
                                      << QStringList{u"--new-tab"_s, target, u"--x"_s};
    QTest::newRow("%s inside a word")
        << u"standin --url=%s"_s << u"standin"_s << QStringList{u"--url="_s + target};
    QTest::newRow("%s in quotes, as written for a shell")
        << u"standin '%s'"_s << u"standin"_s << QStringList{target};
    QTest::newRow("%% is a percent sign")
        << u"standin 100%%"_s << u"standin"_s << QStringList{u"100%"_s, target};
    QTest::newRow("quoted option with blanks") << u"standin \"--profile=a b\""_s << u"standin"_s
                                               << QStringList{u"--profile=a b"_s, target};
    QTest::newRow("absolute path") << u"@BIN@/other"_s << u"other"_s << QStringList{target};
    QTest::newRow("path with blanks, quoted")
        << u"'@ROOT@/Web Browser/run' %s"_s << u"run"_s << QStringList{target};
    QTest::newRow("malformed entry skipped")
        << u"\"open:standin"_s << u"standin"_s << QStringList{target};
}

void TestBrowserLauncher::browserVariableForms()
{
    QFETCH(QString, browser);
    QFETCH(QString, startedAs);
    QFETCH(QStringList, arguments);

    m_fixture->installStandIn(u"standin"_s);
    m_fixture->installStandIn(u"other"_s);
    m_fixture->installStandIn(u"run"_s, u"Web Browser"_s);
    browser.replace(u"@BIN@"_s, m_fixture->binDir()).replace(u"@ROOT@"_s, m_fixture->path());
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"BROWSER"_s, browser);

    LinuxBrowserLauncher launcher(env);
    QCOMPARE(launcher.launch(u"host.example"_s), Result::Started);
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(startedAs), RecordTimeoutMs);
    QCOMPARE(m_fixture->record(startedAs).mid(1), arguments);
    QCOMPARE(m_fixture->records(), QStringList{startedAs});
}

void TestBrowserLauncher::desktopDefaultBrowser_data()
{
    QTest::addColumn<QString>("desktopFile");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("desktopId");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("arguments");

    // xdg-mime takes the first blank-separated word, quotes and all, as the
    // program and drops the entry when that is no program: the program
    // is written plainly here.
    const QByteArray exec = "Exec=@ROOT@/browser/run --flag \"two words\" "
                            "\"back\\\\\\\\slash\" %u\n";
    const QByteArray entry = "[Desktop Entry]\nType=Application\nName=Stand-in\n" + exec;
    const QString hostile = u"a;touch x $(id) `id` 'q' \"q\""_s;

    QTest::newRow("Exec line with quoting, hostile target")
        << u"data/applications/standin.desktop"_s << entry << u"standin.desktop"_s << hostile
        << QStringList{u"--flag"_s, u"two words"_s, u"back\\slash"_s, hostile};
    QTest::newRow("system data folder")
        << u"share/applications/standin.desktop"_s << entry << u"standin.desktop"_s
        << u"host.example"_s
        << QStringList{u"--flag"_s, u"two words"_s, u"back\\slash"_s, u"host.example"_s};
    QTest::newRow("desktop file in a vendor subfolder")
        << u"share/applications/vendor/standin.desktop"_s << entry << u"vendor-standin.desktop"_s
        << u"host.example"_s
        << QStringList{u"--flag"_s, u"two words"_s, u"back\\slash"_s, u"host.example"_s};
    QTest::newRow("Exec without field code: target appended")
        << u"data/applications/standin.desktop"_s
        << QByteArray("[Desktop Entry]\nExec=@ROOT@/browser/run --new-window\n")
        << u"standin.desktop"_s << u"host.example"_s
        << QStringList{u"--new-window"_s, u"host.example"_s};
}

void TestBrowserLauncher::desktopDefaultBrowser()
{
    if (!needsXdgUtils())
        QSKIP("xdg-settings and xdg-mime (Debian package xdg-utils) are not installed");
    QFETCH(QString, desktopFile);
    QFETCH(QByteArray, contents);
    QFETCH(QString, desktopId);
    QFETCH(QString, target);
    QFETCH(QStringList, arguments);

    m_fixture->installStandIn(u"run"_s, u"browser"_s);
    // Shadows any real x-www-browser on the system PATH: reached only on failure.
    m_fixture->installStandIn(u"x-www-browser"_s);
    contents.replace("@ROOT@", m_fixture->path().toUtf8());
    QVERIFY(!m_fixture->writeFile(desktopFile, contents).isEmpty());
    QVERIFY(!m_fixture
                 ->writeFile(u"config/mimeapps.list"_s,
                             "[Default Applications]\nx-scheme-handler/http=" + desktopId.toUtf8() +
                                 "\nx-scheme-handler/https=" + desktopId.toUtf8() + "\n")
                 .isEmpty());
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"PATH"_s, m_fixture->binDir() + u':' + m_systemPath);

    LinuxBrowserLauncher launcher(env);
    QCOMPARE(launcher.launch(target), Result::Started);
    QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->records().isEmpty(), RecordTimeoutMs);
    QCOMPARE(m_fixture->records(), QStringList{u"run"_s});
    QCOMPARE(m_fixture->record(u"run"_s).mid(1), arguments);
}

void TestBrowserLauncher::debianAlternativeIsTheLastResort()
{
    m_fixture->installStandIn(u"x-www-browser"_s);
    m_fixture->installStandIn(u"sensible-browser"_s);
    LinuxBrowserLauncher launcher(m_fixture->environment());
    QCOMPARE(launcher.launch(u"host.example"_s), Result::Started);
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(u"x-www-browser"_s), RecordTimeoutMs);
    QCOMPARE(m_fixture->record(u"x-www-browser"_s).mid(1), QStringList{u"host.example"_s});
    QCOMPARE(m_fixture->records(), QStringList{u"x-www-browser"_s});
}

void TestBrowserLauncher::noBrowserFound_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("browser");
    QTest::addColumn<QStringList>("installed");

    QTest::newRow("empty PATH, no BROWSER, no desktop tools")
        << QString() << QString() << QStringList();
    QTest::newRow("BROWSER names programs that do not exist")
        << u"@BIN@"_s << u"no-such-browser:/no/such/path --x %s"_s << QStringList();
    QTest::newRow("BROWSER names a folder") << u"@BIN@"_s << u"@ROOT@/home"_s << QStringList();
    QTest::newRow("sensible-browser with nothing to start")
        << u"@BIN@"_s << QString() << QStringList{u"sensible-browser"_s};
}

void TestBrowserLauncher::noBrowserFound()
{
    QFETCH(QString, path);
    QFETCH(QString, browser);
    QFETCH(QStringList, installed);

    for (const QString &name : installed)
        m_fixture->installStandIn(name);
    const auto expand = [this](QString text) {
        return text.replace(u"@BIN@"_s, m_fixture->binDir())
            .replace(u"@ROOT@"_s, m_fixture->path());
    };
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"PATH"_s, expand(path));
    if (!browser.isEmpty())
        env.insert(u"BROWSER"_s, expand(browser));

    LinuxBrowserLauncher launcher(env);
    QVERIFY(!launcher.findBrowser(u"host.example"_s));
    QCOMPARE(launcher.launch(u"host.example"_s), Result::NoBrowser);
}

void TestBrowserLauncher::browserThatCannotStart_data()
{
    QTest::addColumn<QString>("browser");
    QTest::newRow("absolute path of a file without execute permission") << u"@ROOT@/bin/plain"_s;
    QTest::newRow("name on PATH of a file without execute permission") << u"plain"_s;
}

void TestBrowserLauncher::browserThatCannotStart()
{
    QFETCH(QString, browser);
    QVERIFY(!m_fixture->writeFile(u"bin/plain"_s, "#!/bin/sh\nexit 0\n", false).isEmpty());
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"BROWSER"_s, browser.replace(u"@ROOT@"_s, m_fixture->path()));

    LinuxBrowserLauncher launcher(env);
    QCOMPARE(launcher.launch(u"host.example"_s), Result::NotStarted);
}

void TestBrowserLauncher::targetReadAsOptionIsRefused_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("single dash option") << u"-new-instance"_s;
    QTest::newRow("long option that runs a command")
        << u"--renderer-cmd-prefix=touch "_s + m_base.filePath(u"tmp/pwned"_s);
    QTest::newRow("embedded NUL") << u"host.example\u0000--x"_s;
}

void TestBrowserLauncher::targetReadAsOptionIsRefused()
{
    QFETCH(QString, target);
    m_fixture->installStandIn(u"standin"_s);
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"BROWSER"_s, u"standin"_s);

    LinuxBrowserLauncher launcher(env);
    QCOMPARE(launcher.launch(target), Result::NotStarted);
    // Nothing was started: a launch right after records only its own target.
    QCOMPARE(launcher.launch(u"after.example"_s), Result::Started);
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(u"standin"_s), RecordTimeoutMs);
    QCOMPARE(m_fixture->record(u"standin"_s).mid(1), QStringList{u"after.example"_s});
}

void TestBrowserLauncher::hangingDesktopQueryIsAbandoned()
{
    // A desktop tool that never answers cannot be had from the real ones.
    QVERIFY(
        !m_fixture->writeFile(u"bin/xdg-settings"_s, "#!/bin/sh\nexec sleep 30\n", true).isEmpty());
    QVERIFY(!m_fixture->writeFile(u"bin/xdg-mime"_s, "#!/bin/sh\nexec sleep 30\n", true).isEmpty());
    m_fixture->installStandIn(u"x-www-browser"_s);
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"PATH"_s, m_fixture->binDir() + u':' + m_systemPath);

    LinuxBrowserLauncher launcher(env);
    launcher.setQueryTimeout(200);
    QCOMPARE(launcher.launch(u"host.example"_s), Result::Started);
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(u"x-www-browser"_s), RecordTimeoutMs);
}

void TestBrowserLauncher::desktopIdLeavingTheFolderIsIgnored()
{
    const QByteArray evil = "[Desktop Entry]\nExec=" + m_fixture->binDir().toUtf8() + "/evil %u\n";
    QVERIFY(!m_fixture->writeFile(u"data/evil.desktop"_s, evil).isEmpty());
    QVERIFY(!m_fixture->writeFile(u"bin/xdg-settings"_s, "#!/bin/sh\necho ../evil.desktop\n", true)
                 .isEmpty());
    QVERIFY(!m_fixture->writeFile(u"bin/xdg-mime"_s, "#!/bin/sh\necho ../evil.desktop\n", true)
                 .isEmpty());
    m_fixture->installStandIn(u"evil"_s);
    m_fixture->installStandIn(u"x-www-browser"_s);
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"PATH"_s, m_fixture->binDir() + u':' + m_systemPath);

    LinuxBrowserLauncher launcher(env);
    QCOMPARE(launcher.launch(u"host.example"_s), Result::Started);
    QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->records().isEmpty(), RecordTimeoutMs);
    QCOMPARE(m_fixture->records(), QStringList{u"x-www-browser"_s});
}

QTEST_GUILESS_MAIN(TestBrowserLauncher)
#include "tst_browserlauncher.moc"
