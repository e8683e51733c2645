#include "aboutbox.h"
#include "browserfixture.h"
#include "browserlauncher_linux.h"
#include "launchbrowser.h"
#include "messageboxanswerer.h"

#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int RecordTimeoutMs = 10000;

// Passes every launch on to the real launcher and keeps the targets asked for.
class RecordingLauncher : public BrowserLauncher
{
public:
    explicit RecordingLauncher(BrowserLauncher &inner)
        : m_inner(inner)
    {}
    LaunchResult launch(const QString &target) override
    {
        targets.append(target);
        return m_inner.launch(target);
    }
    QStringList targets;

private:
    BrowserLauncher &m_inner;
};

} // namespace

class TestReportDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void launchFailureMessages_data();
    void launchFailureMessages();
    void startedBrowserShowsNoMessage();
    void resultDoubleClick_data();
    void resultDoubleClick();
    void aboutBoxText();
    void aboutBoxYesOpensWebSite();
    void aboutBoxNoStartsNothing();
    void aboutBoxYesWithoutBrowserWarns();

private:
    QProcessEnvironment standInEnvironment() const;

    QTemporaryDir m_base;
    std::unique_ptr<BrowserFixture> m_fixture;
    QWidget m_window;
};

void TestReportDialogs::initTestCase()
{
    QVERIFY(m_base.isValid());
    QVERIFY(QDir().mkpath(m_base.filePath(u"cwd"_s)));
    QVERIFY(QDir::setCurrent(m_base.filePath(u"cwd"_s)));
    m_window.show();
}

void TestReportDialogs::init()
{
    m_fixture = std::make_unique<BrowserFixture>(m_base.path());
    QVERIFY(m_fixture->isValid());
    QVERIFY(!m_fixture->installStandIn(u"standin"_s).isEmpty());
}

void TestReportDialogs::cleanup()
{
    QCOMPARE(QDir(m_base.filePath(u"cwd"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(QDir(m_fixture->path(u"tmp"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
    m_fixture.reset();
}

QProcessEnvironment TestReportDialogs::standInEnvironment() const
{
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"BROWSER"_s, u"standin"_s);
    return env;
}

void TestReportDialogs::launchFailureMessages_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("browser");
    QTest::addColumn<QString>("message");

    QTest::newRow("no browser anywhere")
        << QString() << QString() << u"Could not find associated browser."_s;
    QTest::newRow("BROWSER names nothing that exists")
        << u"@BIN@"_s << u"no-such-browser"_s << u"Could not find associated browser."_s;
    QTest::newRow("browser file cannot be executed")
        << u"@BIN@"_s << u"@BIN@/plain"_s << u"Web page not opened."_s;
}

void TestReportDialogs::launchFailureMessages()
{
    QFETCH(QString, path);
    QFETCH(QString, browser);
    QFETCH(QString, message);

    QVERIFY(!m_fixture->writeFile(u"bin/plain"_s, "#!/bin/sh\n", false).isEmpty());
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"PATH"_s, path.replace(u"@BIN@"_s, m_fixture->binDir()));
    if (!browser.isEmpty())
        env.insert(u"BROWSER"_s, browser.replace(u"@BIN@"_s, m_fixture->binDir()));
    LinuxBrowserLauncher launcher(env);

    MessageBoxAnswerer answerer({QMessageBox::Ok});
    launchBrowser(u"host.example"_s, &m_window, launcher);

    QCOMPARE(answerer.seen().size(), 1);
    const SeenMessageBox &box = answerer.seen().first();
    QCOMPARE(box.title, u"Corvane"_s);
    QCOMPARE(box.text, message);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(m_fixture->records(), QStringList());
}

void TestReportDialogs::startedBrowserShowsNoMessage()
{
    LinuxBrowserLauncher launcher(standInEnvironment());
    MessageBoxAnswerer answerer;
    launchBrowser(u"host.example"_s, &m_window, launcher);
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(u"standin"_s), RecordTimeoutMs);
    QCOMPARE(m_fixture->record(u"standin"_s).mid(1), QStringList{u"host.example"_s});
    QCOMPARE(answerer.seen().size(), 0);
}

void TestReportDialogs::resultDoubleClick_data()
{
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("launched");

    const QString tip = u" Double-click on domain to load "_s;
    QTest::newRow("ip, name, stamp: the name")
        << tip << u"10.0.0.5\thost.example\t12/05/26 03:26:08 pm"_s
        << QStringList{u"host.example"_s};
    QTest::newRow("ip, empty name, stamp: an empty target")
        << tip << u"10.0.0.5\t\t12/05/26 03:26:08 pm"_s << QStringList{QString()};
    QTest::newRow("no tab: the whole line")
        << tip << u"host.example"_s << QStringList{u"host.example"_s};
    QTest::newRow("empty tooltip: nothing launched")
        << QString() << u"10.0.0.5\thost.example\tstamp"_s << QStringList();
    QTest::newRow("empty tooltip, line without tab: nothing launched")
        << QString() << u"host.example"_s << QStringList();
    QTest::newRow("tooltip cleared to an empty, non-null text: nothing launched")
        << QString(u""_s) << u"10.0.0.5\thost.example\tstamp"_s << QStringList();
}

void TestReportDialogs::resultDoubleClick()
{
    QFETCH(QString, toolTip);
    QFETCH(QString, line);
    QFETCH(QStringList, launched);

    LinuxBrowserLauncher real(standInEnvironment());
    RecordingLauncher launcher(real);
    MessageBoxAnswerer answerer;
    handleResultDoubleClick(toolTip, line, &m_window, launcher);

    QCOMPARE(launcher.targets, launched);
    QCOMPARE(answerer.seen().size(), 0);
    if (launched.isEmpty())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(u"standin"_s), RecordTimeoutMs);
    QCOMPARE(m_fixture->record(u"standin"_s).mid(1), launched);
}

void TestReportDialogs::aboutBoxText()
{
    LinuxBrowserLauncher real(standInEnvironment());
    RecordingLauncher launcher(real);
    MessageBoxAnswerer answerer({QMessageBox::Ok, QMessageBox::No});
    showAboutBox(&m_window, launcher);

    QCOMPARE(answerer.seen().size(), 2);
    const SeenMessageBox &about = answerer.seen().at(0);
    QCOMPARE(about.title, u"Corvane - About Box"_s);
    QCOMPARE(about.icon, QMessageBox::NoIcon);
    QCOMPARE(about.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(about.text, ::aboutBoxText());

    const QStringList lines = about.text.split(u"\r\n"_s);
    QCOMPARE(lines.size(), 12);
    QCOMPARE(lines.at(0), u"Corvane 2.0"_s);
    for (const int empty : {1, 4, 8, 10})
        QVERIFY2(lines.at(empty).isEmpty(), qPrintable(lines.at(empty)));
    for (const int credit : {2, 3, 9, 11})
        QVERIFY(!lines.at(credit).isEmpty());
    QCOMPARE(lines.at(5),
             u"Corvane allows you to see what IP Numbers are being used on the internet."_s);
    QCOMPARE(lines.at(6),
             u"Just enter a start IP Number and a stop IP Number and select the Start Button!"_s);
    QCOMPARE(lines.at(7), u"Pinged IP Numbers can be printed, copied to the Clipboard, or "
                          u"stored in a log file."_s);
    QVERIFY(lines.at(11).contains(corvaneWebSite()));
    QVERIFY(!about.text.contains(u'\n' + QString(u'\n')));

    const SeenMessageBox &question = answerer.seen().at(1);
    QCOMPARE(question.title, u"Corvane"_s);
    QCOMPARE(question.text, u"Do you want to go to my web site now so you can download the "
                            u"latest version of Corvane?"_s);
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
}

void TestReportDialogs::aboutBoxYesOpensWebSite()
{
    LinuxBrowserLauncher real(standInEnvironment());
    RecordingLauncher launcher(real);
    MessageBoxAnswerer answerer({QMessageBox::Ok, QMessageBox::Yes});
    showAboutBox(&m_window, launcher);

    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(launcher.targets, QStringList{u"https://corvane.example.org"_s});
    QTRY_VERIFY_WITH_TIMEOUT(m_fixture->hasRecord(u"standin"_s), RecordTimeoutMs);
    QCOMPARE(m_fixture->record(u"standin"_s).mid(1), QStringList{u"https://corvane.example.org"_s});
}

void TestReportDialogs::aboutBoxNoStartsNothing()
{
    LinuxBrowserLauncher real(standInEnvironment());
    RecordingLauncher launcher(real);
    MessageBoxAnswerer answerer({QMessageBox::Ok, QMessageBox::No});
    showAboutBox(&m_window, launcher);

    QCOMPARE(answerer.seen().size(), 2);
    QCOMPARE(launcher.targets, QStringList());
}

void TestReportDialogs::aboutBoxYesWithoutBrowserWarns()
{
    QProcessEnvironment env = m_fixture->environment();
    env.insert(u"PATH"_s, QString());
    LinuxBrowserLauncher launcher(env);
    MessageBoxAnswerer answerer({QMessageBox::Ok, QMessageBox::Yes, QMessageBox::Ok});
    showAboutBox(&m_window, launcher);

    QCOMPARE(answerer.seen().size(), 3);
    QCOMPARE(answerer.seen().at(2).text, u"Could not find associated browser."_s);
    QCOMPARE(answerer.seen().at(2).icon, QMessageBox::Warning);
}

QTEST_MAIN(TestReportDialogs)
#include "tst_reportdialogs.moc"
