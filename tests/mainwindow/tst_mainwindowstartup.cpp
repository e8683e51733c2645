// The main window's start-up and close sequences over the real settings file.
// Run as tst_mainwindowstartup_lab, the test sits in a network namespace with only
// loopback: name resolution fails there at once, and the machine has no
// address of its own.

#include "browserlauncher.h"
#include "centring.h"
#include "desktopintegration.h"
#include "dirlist.h"
#include "drivelist.h"
#include "echoprober.h"
#include "fakehostresolver.h"
#include "hostresolver.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "mainwindowfixture.h"
#include "mainwindowrules.h"
#include "qsettingsstore.h"
#include "widgetlookup.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

bool inLab()
{
    return qEnvironmentVariableIsSet("CORVANE_FORM1_LAB");
}

// The real store, with every call noted, and one key whose writes can be
// made to fail: the real file cannot refuse a single key.
class RecordingStore : public SettingsStore
{
public:
    QSettingsStore real;
    QStringList reads;
    QStringList writes;
    int flushes = 0;
    QString failingKey;

    QString readSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue) override
    {
        reads.append(application + u'/' + section + u'/' + key);
        return real.readSetting(application, section, key, defaultValue);
    }
    bool writeSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value) override
    {
        writes.append(application + u'/' + section + u'/' + key);
        if (key == failingKey)
            return false;
        return real.writeSetting(application, section, key, value);
    }
    bool flush() override
    {
        ++flushes;
        return real.flush();
    }
    QString lastError() const override { return real.lastError(); }
};

QString stored(const QString &key)
{
    QSettingsStore fresh;
    return fresh.readSetting(u"Corvane"_s, u"Options"_s, key, u"<missing>"_s);
}

void store(const QString &key, const QString &value)
{
    QSettingsStore fresh;
    QVERIFY(fresh.writeSetting(u"Corvane"_s, u"Options"_s, key, value));
    QVERIFY(fresh.flush());
}

QStringList keys(std::initializer_list<const char16_t *> names)
{
    QStringList result;
    for (const char16_t *name : names)
        result.append(u"Corvane/Options/"_s + QString::fromUtf16(name));
    return result;
}

} // namespace

class TestMainWindowStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyStoreGivesTheDefaults();
    void storedCheckValues_data();
    void storedCheckValues();
    void storedTextsAreHandedOverUnchanged();
    void storedFolder_data();
    void storedFolder();
    void parallelSetting_data();
    void parallelSetting();
    void failedWriteDoesNotStopTheOthers();
    void greyedBoxTurnsTwoStateWhenClicked();
    void failedNetworkCheck_data();
    void failedNetworkCheck();
    void captionWithoutOwnAddress();
    void commandLine_data();
    void commandLine();
    void endingWhileHiddenClosesLikeExit_data();
    void endingWhileHiddenClosesLikeExit();
    void minimisingWithoutTrayKeepsTheWindowMinimised();

private:
    std::unique_ptr<MainWindow> makeForm(SettingsStore &settings, HostResolver *resolver = nullptr);

    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<HostResolver> m_resolver;
    std::unique_ptr<BrowserLauncher> m_browser;
    QString m_settingsFile;
};

void TestMainWindowStartup::initTestCase()
{
    qputenv("CORVANE_CHECK_HOST", "localhost");
    m_prober = createSystemEchoProber();
    m_resolver = createSystemHostResolver();
    m_browser = createSystemBrowserLauncher();
    m_settingsFile = QSettingsStore::fileName(u"Corvane"_s);
    QVERIFY(!m_settingsFile.isEmpty());
    QVERIFY(m_settingsFile.startsWith(qEnvironmentVariable("XDG_CONFIG_HOME")));
}

void TestMainWindowStartup::init()
{
    QFile::remove(m_settingsFile);
    qputenv("CORVANE_CHECK_HOST", "localhost");
}

void TestMainWindowStartup::cleanup()
{
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

std::unique_ptr<MainWindow> TestMainWindowStartup::makeForm(SettingsStore &settings,
                                                            HostResolver *resolver)
{
    return std::make_unique<MainWindow>(settings, *m_prober, resolver ? *resolver : *m_resolver,
                                        *m_browser);
}

void TestMainWindowStartup::emptyStoreGivesTheDefaults()
{
    RecordingStore settings;
    auto form = makeForm(settings);
    QSignalSpy unloaded(form.get(), &MainWindow::unloaded);
    QVERIFY(form->startUp(QString()));

    QVERIFY(form->isVisible());
    QVERIFY(!form->isRunning());
    QCOMPARE(child<IpAddressEdit>(form, "startAddressEdit")->text(), u"0.0.0.0"_s);
    QCOMPARE(child<IpAddressEdit>(form, "stopAddressEdit")->text(), u"255.255.255.255"_s);
    QCOMPARE(child<QLineEdit>(form, "logFileEdit")->text(), u"ipnums.txt"_s);
    QCOMPARE(child<QCheckBox>(form, "logEnabledCheck")->checkState(), Qt::Checked);
    QCOMPARE(child<QCheckBox>(form, "overwriteCheck")->checkState(), Qt::Checked);
    QCOMPARE(child<DirList>(form, "folderTree")->path(), QDir::homePath());
    QCOMPARE(child<DriveList>(form, "driveCombo")->drive(),
             QStorageInfo(QDir::homePath()).rootPath());
    QCOMPARE(form->parallel(), kDefaultParallel);
    QCOMPARE(child<QListWidget>(form, "resultList")->count(), 0);
    QCOMPARE(form->windowTitle(), windowCaption(IpAddressEdit::ownIpNumber()));
    QVERIFY(form->desktopIntegration()->isTrayIconShown());

    // Read once each, at start; nothing written while the window is open.
    QCOMPARE(settings.reads,
             keys({u"Path", u"File", u"Start", u"Stop", u"Enabled", u"Overwrite", u"Parallel"}));
    QVERIFY(settings.writes.isEmpty());
    QVERIFY(!QFile::exists(m_settingsFile));

    QVERIFY(form->close());
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!form->desktopIntegration()->isTrayIconShown());
    QCOMPARE(settings.writes,
             keys({u"Start", u"Stop", u"Path", u"File", u"Enabled", u"Overwrite"}));
    QCOMPARE(settings.flushes, 1);
    QCOMPARE(settings.reads.size(), 7);
    QCOMPARE(stored(u"Start"_s), u"0.0.0.0"_s);
    QCOMPARE(stored(u"Stop"_s), u"255.255.255.255"_s);
    QCOMPARE(stored(u"Path"_s), QDir::homePath());
    QCOMPARE(stored(u"File"_s), u"ipnums.txt"_s);
    QCOMPARE(stored(u"Enabled"_s), u"1"_s);
    QCOMPARE(stored(u"Overwrite"_s), u"1"_s);
    QCOMPARE(stored(u"Parallel"_s), u"<missing>"_s);

    // The close sequence runs once, however often the window is closed.
    form->close();
    QCOMPARE(unloaded.count(), 1);
    QCOMPARE(settings.writes.size(), 6);
}

void TestMainWindowStartup::storedCheckValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Qt::CheckState>("state");
    QTest::addColumn<QString>("written");

    QTest::newRow("0 unchecks") << u"0"_s << Qt::Unchecked << u"0"_s;
    QTest::newRow("1 checks") << u"1"_s << Qt::Checked << u"1"_s;
    QTest::newRow("2 greys") << u"2"_s << Qt::PartiallyChecked << u"2"_s;
    QTest::newRow("spaces around") << u" 0 "_s << Qt::Unchecked << u"0"_s;
    QTest::newRow("1.5 rounds to greyed") << u"1.5"_s << Qt::PartiallyChecked << u"2"_s;
    QTest::newRow("0.5 rounds to unchecked") << u"0.5"_s << Qt::Unchecked << u"0"_s;
    QTest::newRow("letters leave it checked") << u"abc"_s << Qt::Checked << u"1"_s;
    QTest::newRow("5 leaves it checked") << u"5"_s << Qt::Checked << u"1"_s;
    QTest::newRow("empty text leaves it checked") << QString() << Qt::Checked << u"1"_s;
}

void TestMainWindowStartup::storedCheckValues()
{
    QFETCH(QString, text);
    QFETCH(Qt::CheckState, state);
    QFETCH(QString, written);

    store(u"Enabled"_s, text);
    store(u"Overwrite"_s, text);
    QSettingsStore settings;
    auto form = makeForm(settings);
    QVERIFY(form->startUp(QString()));
    QCOMPARE(child<QCheckBox>(form, "logEnabledCheck")->checkState(), state);
    QCOMPARE(child<QCheckBox>(form, "overwriteCheck")->checkState(), state);
    QVERIFY(form->close());
    QCOMPARE(stored(u"Enabled"_s), written);
    QCOMPARE(stored(u"Overwrite"_s), written);
}

void TestMainWindowStartup::storedTextsAreHandedOverUnchanged()
{
    store(u"Start"_s, u"010.000.001.254"_s);
    store(u"Stop"_s, u"10.0.2.255"_s);
    store(u"File"_s, QString());
    QSettingsStore settings;
    auto form = makeForm(settings);
    QVERIFY(form->startUp(QString()));
    QCOMPARE(child<IpAddressEdit>(form, "startAddressEdit")->text(), u"010.000.001.254"_s);
    QCOMPARE(child<IpAddressEdit>(form, "stopAddressEdit")->text(), u"10.0.2.255"_s);
    QCOMPARE(child<QLineEdit>(form, "logFileEdit")->text(), QString());

    child<QLineEdit>(form, "logFileEdit")->setText(u"scan log.txt"_s);
    QVERIFY(form->close());
    QCOMPARE(stored(u"Start"_s), u"010.000.001.254"_s);
    QCOMPARE(stored(u"Stop"_s), u"10.0.2.255"_s);
    QCOMPARE(stored(u"File"_s), u"scan log.txt"_s);
}

void TestMainWindowStartup::storedFolder_data()
{
    QTest::addColumn<QString>("under");
    QTest::addColumn<bool>("exists");

    // The lab mounts a second file system for the cases of another drive.
    const QString otherDrive = qEnvironmentVariable("CORVANE_FORM1_OTHER_DRIVE");
    QTest::newRow("existing folder") << QDir::tempPath() << true;
    QTest::newRow("existing folder on another drive") << otherDrive << true;
    QTest::newRow("deleted folder") << QDir::tempPath() << false;
    QTest::newRow("deleted folder on another drive") << otherDrive << false;
}

void TestMainWindowStartup::storedFolder()
{
    QFETCH(QString, under);
    QFETCH(bool, exists);
    if (under.isEmpty())
        QSKIP("needs the second drive of the lab (tst_mainwindowstartup_lab)");

    QTemporaryDir parent(under + u"/mainwindow-XXXXXX"_s);
    QVERIFY(parent.isValid());
    const QString folder = parent.path() + u"/logs"_s;
    if (exists)
        QVERIFY(QDir().mkpath(folder));
    store(u"Path"_s, folder);

    QSettingsStore settings;
    auto form = makeForm(settings);
    const QString driveBefore = child<DriveList>(form, "driveCombo")->drive();
    const QString folderBefore = child<DirList>(form, "folderTree")->path();
    QVERIFY(form->startUp(QString()));

    const QString drive = QStorageInfo(parent.path()).rootPath();
    QCOMPARE(child<DriveList>(form, "driveCombo")->drive(), drive);
    QString expected = folder;
    if (!exists) {
        // The folder list stays where it was, or at the root of the drive
        // that choosing the stored path's drive moved it to.
        expected = drive == driveBefore ? folderBefore : drive;
    }
    QCOMPARE(child<DirList>(form, "folderTree")->path(), expected);
    QVERIFY(form->close());
    QCOMPARE(stored(u"Path"_s), expected);
}

void TestMainWindowStartup::parallelSetting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("parallel");
    QTest::newRow("missing") << QString() << kDefaultParallel;
    QTest::newRow("chosen") << u"64"_s << 64;
    QTest::newRow("upper limit") << u"4096"_s << 4096;
    QTest::newRow("zero") << u"0"_s << kDefaultParallel;
    QTest::newRow("garbage") << u"lots"_s << kDefaultParallel;
}

void TestMainWindowStartup::parallelSetting()
{
    QFETCH(QString, text);
    QFETCH(int, parallel);
    if (!text.isNull())
        store(u"Parallel"_s, text);
    QSettingsStore settings;
    auto form = makeForm(settings);
    QVERIFY(form->startUp(QString()));
    QCOMPARE(form->parallel(), parallel);
    QVERIFY(form->close());
    QCOMPARE(stored(u"Parallel"_s), text.isNull() ? u"<missing>"_s : text);
}

void TestMainWindowStartup::failedWriteDoesNotStopTheOthers()
{
    RecordingStore settings;
    settings.failingKey = u"Path"_s;
    auto form = makeForm(settings);
    QVERIFY(form->startUp(QString()));
    child<IpAddressEdit>(form, "startAddressEdit")->setText(u"127.0.0.9"_s);
    child<QCheckBox>(form, "overwriteCheck")->setChecked(false);
    QVERIFY(form->close());
    QCOMPARE(settings.writes,
             keys({u"Start", u"Stop", u"Path", u"File", u"Enabled", u"Overwrite"}));
    QCOMPARE(stored(u"Start"_s), u"127.0.0.9"_s);
    QCOMPARE(stored(u"Path"_s), u"<missing>"_s);
    QCOMPARE(stored(u"File"_s), u"ipnums.txt"_s);
    QCOMPARE(stored(u"Overwrite"_s), u"0"_s);
}

void TestMainWindowStartup::greyedBoxTurnsTwoStateWhenClicked()
{
    store(u"Enabled"_s, u"2"_s);
    QSettingsStore settings;
    auto form = makeForm(settings);
    QVERIFY(form->startUp(QString()));
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QCOMPARE(child<QCheckBox>(form, "logEnabledCheck")->checkState(), Qt::PartiallyChecked);

    QList<Qt::CheckState> states;
    for (int i = 0; i < 4; ++i) {
        QTest::mouseClick(child<QCheckBox>(form, "logEnabledCheck"), Qt::LeftButton);
        states.append(child<QCheckBox>(form, "logEnabledCheck")->checkState());
    }
    QCOMPARE(states,
             (QList<Qt::CheckState>{Qt::Checked, Qt::Unchecked, Qt::Checked, Qt::Unchecked}));
    QVERIFY(form->close());
    QCOMPARE(stored(u"Enabled"_s), u"0"_s);
}

void TestMainWindowStartup::failedNetworkCheck_data()
{
    QTest::addColumn<bool>("realResolver");
    QTest::newRow("the real resolver without a network") << true;
    QTest::newRow("a resolver answering ERROR") << false;
}

void TestMainWindowStartup::failedNetworkCheck()
{
    QFETCH(bool, realResolver);
    if (realResolver && !inLab())
        QSKIP("a failing lookup may only be asked without a network (tst_mainwindowstartup_lab)");

    qputenv("CORVANE_CHECK_HOST", "name.invalid");
    FakeHostResolver failing;
    RecordingStore settings;
    auto form = makeForm(settings, realResolver ? nullptr : &failing);
    QSignalSpy unloaded(form.get(), &MainWindow::unloaded);

    MessageBoxAnswerer box(QMessageBox::Ok);
    QVERIFY(!form->startUp(QString()));
    QVERIFY(box.shown());
    QCOMPARE(box.title, u"Corvane"_s);
    QCOMPARE(box.text, u"You must connect to the internet before using Corvane."_s);
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    if (!realResolver)
        QCOMPARE(failing.forwardAsked(), QStringList{u"name.invalid"_s});

    QVERIFY(!form->isVisible());
    QVERIFY(!form->desktopIntegration()->isTrayIconShown());
    QVERIFY(settings.reads.isEmpty());
    form->close();
    form.reset();
    QVERIFY(settings.writes.isEmpty());
    QVERIFY(!QFile::exists(m_settingsFile));
}

void TestMainWindowStartup::captionWithoutOwnAddress()
{
    if (!inLab())
        QSKIP("needs a machine without an address of its own (tst_mainwindowstartup_lab)");
    QSettingsStore settings;
    auto form = makeForm(settings);
    QVERIFY(form->startUp(QString()));
    QCOMPARE(form->windowTitle(), u"Corvane            Your IP Number is N/A"_s);
}

void TestMainWindowStartup::commandLine_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("scans");

    QTest::newRow("empty") << QString() << false;
    QTest::newRow("/p") << u"/p"_s << false;
    QTest::newRow("/p with spaces around") << u" /p "_s << false;
    QTest::newRow("/P") << u"/P"_s << true;
    QTest::newRow("a word") << u"x"_s << true;
    QTest::newRow("a word with spaces around") << u" x "_s << true;
}

void TestMainWindowStartup::commandLine()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, scans);
    if (scans && !m_prober->isAvailable())
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + m_prober->unavailableReason()));

    store(u"Start"_s, u"127.0.0.1"_s);
    store(u"Stop"_s, u"127.0.0.2"_s);
    store(u"Enabled"_s, u"0"_s);
    QSettingsStore settings;
    auto form = makeForm(settings);
    QSignalSpy finished(form.get(), &MainWindow::runFinished);
    QVERIFY(form->startUp(commandLine));
    QVERIFY(form->isVisible());
    QCOMPARE(form->isRunning(), scans);
    if (scans) {
        QTRY_COMPARE(finished.count(), 1);
        QCOMPARE(child<QListWidget>(form, "resultList")->count(), 2);
        QVERIFY(
            child<QListWidget>(form, "resultList")->item(0)->text().startsWith(u"127.0.0.1\t"_s));
        QCOMPARE(child<IpAddressEdit>(form, "startAddressEdit")->text(), u"127.0.0.2"_s);
    } else {
        QCOMPARE(finished.count(), 0);
        QCOMPARE(child<IpAddressEdit>(form, "startAddressEdit")->text(), u"127.0.0.1"_s);
    }
}

void TestMainWindowStartup::endingWhileHiddenClosesLikeExit_data()
{
    QTest::addColumn<bool>("sessionEnds");
    QTest::newRow("tray menu Exit") << false;
    QTest::newRow("session manager ends the program") << true;
}

void TestMainWindowStartup::endingWhileHiddenClosesLikeExit()
{
    QFETCH(bool, sessionEnds);
    QSettingsStore settings;
    auto form = makeForm(settings);
    QSignalSpy unloaded(form.get(), &MainWindow::unloaded);
    QVERIFY(form->startUp(QString()));
    child<IpAddressEdit>(form, "startAddressEdit")->setText(u"127.0.0.7"_s);
    // Hidden in the tray, as minimising leaves it.
    form->hide();
    if (sessionEnds) {
        // The session manager's last word to the program (XSMP "Die") is a
        // Quit event to the application, which ends the event loop.
        QTimer::singleShot(0, qApp, [] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
        });
        QCOMPARE(QCoreApplication::exec(), 0);
    } else {
        form->desktopIntegration()->exitAction()->trigger();
    }
    QVERIFY(!form->isVisible());
    QCOMPARE(unloaded.count(), 1);
    QCOMPARE(stored(u"Start"_s), u"127.0.0.7"_s);
    QVERIFY(!form->desktopIntegration()->isTrayIconShown());
}

void TestMainWindowStartup::minimisingWithoutTrayKeepsTheWindowMinimised()
{
    QSettingsStore settings;
    auto form = makeForm(settings);
    QVERIFY(form->startUp(QString()));
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    if (form->desktopIntegration()->minimiseHidesWindow())
        QSKIP("this desktop has a tray");

    const QRect screen = form->screen()->geometry();
    const QSize outer = form->frameGeometry().size();
    const CentredPosition centre =
        centredPosition(screen.width(), screen.height(), outer.width(), outer.height());
    const auto isCentred = [&] {
        return qAbs(form->frameGeometry().left() - (screen.left() + centre.left)) <= 1 &&
               qAbs(form->frameGeometry().top() - (screen.top() + centre.top)) <= 1;
    };
    QTRY_VERIFY(isCentred());

    form->move(form->pos() + QPoint(37, 23));
    QVERIFY(!isCentred());
    form->showMinimized();
    QTRY_VERIFY(form->isMinimized());
    QTest::qWait(50);
    QVERIFY2(form->isVisible(), "without a tray a hidden window could not come back");

    // Back from the tray: normal and centred again.
    form->desktopIntegration()->handleTrayMessage(DesktopIntegration::kLeftButtonUp);
    QTRY_VERIFY(!form->isMinimized());
    QVERIFY(form->isVisible());
    QTRY_VERIFY(isCentred());
}

QTEST_MAIN(TestMainWindowStartup)
#include "tst_mainwindowstartup.moc"
