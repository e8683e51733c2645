// Scan runs through the main window with the real prober on loopback.
//
// Run plainly, every address of 127.0.0.0/8 answers and no name is looked
// up. Run as tst_mainwindowscan_lab, the test sits in its own network and mount
// namespaces where 127.0.1.0/24 is silent except .2, .5 and .7, and a hosts
// file names 127.0.1.2, .5 and .6; the cases that need silence or names run
// only there.

#include "browserlauncher.h"
#include "dirlist.h"
#include "echoprober.h"
#include "fakeechoprober.h"
#include "fakehostresolver.h"
#include "hostresolver.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "mainwindowfixture.h"
#include "mainwindowrules.h"
#include "settingsstore.h"
#include "widgetlookup.h"

#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kNow(QDate(2026, 12, 5), QTime(15, 26, 8));
const QString kStamp = u"12/05/26 03:26:08 pm"_s;
constexpr int kRunTimeoutMs = 30000;

bool inLab()
{
    return qEnvironmentVariableIsSet("CORVANE_FORM1_LAB");
}

QString pingLine(const QString &address, const QString &name = QString())
{
    if (name.isNull())
        return QString(address + u'\t' + kStamp);
    return QString(address + u'\t' + name + u'\t' + kStamp);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

class TestMainWindowScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void pingRun_data();
    void pingRun();
    void getDomainRun_data();
    void getDomainRun();
    void controlsDuringAndAfterARun();
    void stopThenResumeInTheLab();
    void focusOnStartMakesTheNextRunFresh_data();
    void focusOnStartMakesTheNextRunFresh();
    void resumeBeforeAnyStopIsAFreshRun();
    void getDomainWithTheNameBoxUnticked();
    void namesThenNoNamesClearsTheToolTip();
    void logFile_data();
    void logFile();
    void logFailureIsToldOnce_data();
    void logFailureIsToldOnce();
    void listStartsAnewWhenFull_data();
    void listStartsAnewWhenFull();
    void counterGroupsThousands();
    void unavailableProberIsTold();
    void getDomainRunsWithoutTheProber();
    void closingDuringARunEndsItAndSavesOnce();
    void copyAndPrintReportTheList();
    void doubleClickOpensTheDomainOnlyWithNames();

private:
    void openForm(int parallel = kDefaultParallel, EchoProber *prober = nullptr,
                  HostResolver *resolver = nullptr);
    void setRange(const QString &start, const QString &stop);
    void clickAndWait(QAbstractButton *button);
    QStringList lines() const;
    QString logPath() const { return m_logDir.path() + u"/ipnums.txt"_s; }

    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<HostResolver> m_resolver;
    std::unique_ptr<BrowserLauncher> m_browser;
    std::unique_ptr<MainWindow> m_form;
    QTemporaryDir m_logDir;
};

void TestMainWindowScan::initTestCase()
{
    qputenv("CORVANE_CHECK_HOST", "localhost");
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    m_settings = createSystemSettingsStore();
    m_prober = createSystemEchoProber();
    m_resolver = createSystemHostResolver();
    QVERIFY(m_logDir.isValid());
    // The browser is a stand-in that notes its arguments.
    const QString browser = m_logDir.path() + u"/browser.sh"_s;
    writeFile(browser, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0-args.tmp\" && mv \"$0-args.tmp\" " +
                           QFile::encodeName(m_logDir.path()) + "/browser-args\n");
    QVERIFY(QFile::setPermissions(browser, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("BROWSER", QFile::encodeName(browser));
    m_browser = createSystemBrowserLauncher();
}

void TestMainWindowScan::init()
{
    QFile::remove(logPath());
    // Only these cases bring a stand-in prober; the rest need echo requests.
    static const QList<QByteArrayView> withoutRealProber{"unavailableProberIsTold",
                                                         "getDomainRunsWithoutTheProber"};
    if (!m_prober->isAvailable() && !withoutRealProber.contains(QTest::currentTestFunction()))
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + m_prober->unavailableReason()));
}

void TestMainWindowScan::cleanup()
{
    m_form.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestMainWindowScan::openForm(int parallel, EchoProber *prober, HostResolver *resolver)
{
    m_settings->writeSetting(u"Corvane"_s, u"Options"_s, u"Parallel"_s, QString::number(parallel));
    m_form = std::make_unique<MainWindow>(*m_settings, prober ? *prober : *m_prober,
                                          resolver ? *resolver : *m_resolver, *m_browser);
    m_form->setClock([] { return kNow; });
    QVERIFY(m_form->startUp(QString()));
    QCOMPARE(m_form->parallel(), parallel);
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QVERIFY(child<DirList>(m_form, "folderTree")->setPath(m_logDir.path()));
    child<QLineEdit>(m_form, "logFileEdit")->setText(u"ipnums.txt"_s);
    child<QCheckBox>(m_form, "logEnabledCheck")->setChecked(false);
}

void TestMainWindowScan::setRange(const QString &start, const QString &stop)
{
    child<IpAddressEdit>(m_form, "startAddressEdit")->setText(start);
    child<IpAddressEdit>(m_form, "stopAddressEdit")->setText(stop);
    QCOMPARE(child<IpAddressEdit>(m_form, "startAddressEdit")->text(), start);
    QCOMPARE(child<IpAddressEdit>(m_form, "stopAddressEdit")->text(), stop);
}

void TestMainWindowScan::clickAndWait(QAbstractButton *button)
{
    QSignalSpy finished(m_form.get(), &MainWindow::runFinished);
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kRunTimeoutMs);
}

QStringList TestMainWindowScan::lines() const
{
    QStringList result;
    for (int row = 0; row < child<QListWidget>(m_form, "resultList")->count(); ++row)
        result.append(child<QListWidget>(m_form, "resultList")->item(row)->text());
    return result;
}

void TestMainWindowScan::pingRun_data()
{
    QTest::addColumn<bool>("labOnly");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<bool>("names");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("startAfter");

    QTest::newRow("three answering")
        << false << u"127.0.2.1"_s << u"127.0.2.3"_s << false
        << QStringList{pingLine(u"127.0.2.1"_s), pingLine(u"127.0.2.2"_s), pingLine(u"127.0.2.3"_s)}
        << u"127.0.2.3"_s;
    QTest::newRow("start equals stop") << false << u"127.0.2.9"_s << u"127.0.2.9"_s << false
                                       << QStringList{pingLine(u"127.0.2.9"_s)} << u"127.0.2.9"_s;
    QTest::newRow("stop below start handles the start only")
        << false << u"127.0.2.9"_s << u"127.0.2.2"_s << false
        << QStringList{pingLine(u"127.0.2.9"_s)} << u"127.0.2.9"_s;
    QTest::newRow("blank stop handles the start only")
        << false << u"127.0.2.9"_s << QString() << false << QStringList{pingLine(u"127.0.2.9"_s)}
        << u"127.0.2.9"_s;
    QTest::newRow("blank start lists nothing and ends")
        << false << QString() << u"127.0.2.3"_s << false << QStringList() << QString();
    QTest::newRow("carry into the third octet")
        << false << u"127.0.2.254"_s << u"127.0.3.1"_s << false
        << QStringList{pingLine(u"127.0.2.254"_s), pingLine(u"127.0.2.255"_s),
                       pingLine(u"127.0.3.0"_s), pingLine(u"127.0.3.1"_s)}
        << u"127.0.3.1"_s;
    QTest::newRow("leading zeros are decimal and kept as typed")
        << false << u"127.000.002.010"_s << u"127.0.2.11"_s << false
        << QStringList{pingLine(u"127.000.002.010"_s), pingLine(u"127.000.002.11"_s)}
        << u"127.000.002.11"_s;
    QTest::newRow("only the middle answers")
        << true << u"127.0.1.1"_s << u"127.0.1.3"_s << false
        << QStringList{pingLine(u"127.0.1.2"_s)} << u"127.0.1.3"_s;
    QTest::newRow("nothing answers")
        << true << u"127.0.1.8"_s << u"127.0.1.12"_s << false << QStringList() << u"127.0.1.12"_s;
    QTest::newRow("names, silent named address left out")
        << true << u"127.0.1.1"_s << u"127.0.1.7"_s << true
        << QStringList{pingLine(u"127.0.1.2"_s, u"two.corvane.test"_s),
                       pingLine(u"127.0.1.5"_s, u"five.corvane.test"_s),
                       pingLine(u"127.0.1.7"_s, u""_s)}
        << u"127.0.1.7"_s;
    QTest::newRow("answering without a name")
        << true << u"127.0.2.1"_s << u"127.0.2.1"_s << true
        << QStringList{u"127.0.2.1\t\t"_s + kStamp} << u"127.0.2.1"_s;
}

void TestMainWindowScan::pingRun()
{
    QFETCH(bool, labOnly);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(bool, names);
    QFETCH(QStringList, expected);
    QFETCH(QString, startAfter);
    if (labOnly && !inLab())
        QSKIP("needs the loopback lab (tst_mainwindowscan_lab)");

    openForm();
    setRange(start, stop);
    child<QCheckBox>(m_form, "namesCheck")->setChecked(names);
    clickAndWait(child<QPushButton>(m_form, "startButton"));

    QCOMPARE(lines(), expected);
    QCOMPARE(m_form->m_resultCount, expected.size());
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(),
             expected.isEmpty() ? QString()
                                : QString::number(expected.size()) + u" pinged IP Numbers"_s);
    QCOMPARE(child<QListWidget>(m_form, "resultList")->toolTip(),
             names && !expected.isEmpty() ? u" Double-click on domain to load "_s : QString());
    QCOMPARE(child<QPushButton>(m_form, "copyButton")->isEnabled(), !expected.isEmpty());
    QCOMPARE(child<QPushButton>(m_form, "printButton")->isEnabled(), !expected.isEmpty());
    QCOMPARE(child<IpAddressEdit>(m_form, "startAddressEdit")->text(), startAfter);
    QCOMPARE(child<IpAddressEdit>(m_form, "stopAddressEdit")->text(), stop);
    if (!expected.isEmpty())
        QCOMPARE(child<QListWidget>(m_form, "resultList")->currentRow(), expected.size() - 1);
    QVERIFY(!m_form->m_stopRequested);
    QVERIFY(!m_form->isRunning());
}

void TestMainWindowScan::getDomainRun_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("named addresses only, silent or not")
        << u"127.0.1.1"_s << u"127.0.1.9"_s
        << QStringList{u"127.0.1.2\ttwo.corvane.test"_s, u"127.0.1.5\tfive.corvane.test"_s,
                       u"127.0.1.6\tsix.corvane.test"_s};
    QTest::newRow("no names in the range") << u"127.0.2.1"_s << u"127.0.2.20"_s << QStringList();
}

void TestMainWindowScan::getDomainRun()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(QStringList, expected);
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");

    openForm();
    setRange(start, stop);
    child<QRadioButton>(m_form, "domainModeButton")->click();
    QVERIFY(child<QCheckBox>(m_form, "namesCheck")->isChecked());
    clickAndWait(child<QPushButton>(m_form, "startButton"));

    QCOMPARE(lines(), expected);
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(),
             expected.isEmpty() ? QString()
                                : QString::number(expected.size()) + u" domain names"_s);
    QCOMPARE(child<QListWidget>(m_form, "resultList")->toolTip(),
             expected.isEmpty() ? QString() : u" Double-click on domain to load "_s);
    QVERIFY2(child<QCheckBox>(m_form, "namesCheck")->isEnabled(),
             "a run's end enables every control");
    QCOMPARE(child<IpAddressEdit>(m_form, "startAddressEdit")->text(), stop);
}

void TestMainWindowScan::controlsDuringAndAfterARun()
{
    // One address at a time over a long range: the run is still going when
    // its first lines reach the list.
    openForm(1);
    setRange(u"127.0.2.1"_s, u"127.0.200.250"_s);

    struct Snapshot
    {
        bool taken = false;
        bool running = false;
        QList<QWidget *> enabled;
        QWidget *focus = nullptr;
        bool hourglass = false;
    } during;
    const QList<QWidget *> all{child<IpAddressEdit>(m_form, "startAddressEdit"),
                               child<IpAddressEdit>(m_form, "stopAddressEdit"),
                               child<QRadioButton>(m_form, "pingModeButton"),
                               child<QRadioButton>(m_form, "domainModeButton"),
                               child<QCheckBox>(m_form, "logEnabledCheck"),
                               child<QCheckBox>(m_form, "overwriteCheck"),
                               child<QCheckBox>(m_form, "namesCheck"),
                               child<QPushButton>(m_form, "startButton"),
                               child<QPushButton>(m_form, "stopButton"),
                               child<QPushButton>(m_form, "resumeButton"),
                               child<QPushButton>(m_form, "exitButton"),
                               child<QPushButton>(m_form, "copyButton"),
                               child<QPushButton>(m_form, "printButton"),
                               child<QPushButton>(m_form, "aboutButton"),
                               child<QPushButton>(m_form, "listButton"),
                               child<QPushButton>(m_form, "findAddressButton"),
                               child<QPushButton>(m_form, "findNameButton"),
                               child<QGroupBox>(m_form, "logGroup"),
                               child<QLineEdit>(m_form, "logFileEdit"),
                               child<DirList>(m_form, "folderTree"),
                               child<QListWidget>(m_form, "resultList"),
                               child<QLabel>(m_form, "statusLabel")};
    connect(child<QListWidget>(m_form, "resultList")->model(), &QAbstractItemModel::rowsInserted,
            this, [&] {
                if (during.taken)
                    return;
                during.taken = true;
                during.running = m_form->isRunning();
                for (QWidget *w : all) {
                    if (w->isEnabled())
                        during.enabled.append(w);
                }
                during.focus = QApplication::focusWidget();
                during.hourglass = QApplication::overrideCursor() &&
                                   QApplication::overrideCursor()->shape() == Qt::WaitCursor;
                QTimer::singleShot(0, child<QPushButton>(m_form, "stopButton"), [this] {
                    QTest::mouseClick(child<QPushButton>(m_form, "stopButton"), Qt::LeftButton);
                });
            });
    clickAndWait(child<QPushButton>(m_form, "startButton"));

    QVERIFY(during.taken);
    QVERIFY(during.running);
    const QList<QWidget *> enabledDuring{child<QPushButton>(m_form, "stopButton"),
                                         child<QListWidget>(m_form, "resultList"),
                                         child<QLabel>(m_form, "statusLabel")};
    QCOMPARE(during.enabled, enabledDuring);
    QCOMPARE(during.focus, child<QPushButton>(m_form, "stopButton"));
    QVERIFY(during.hourglass);

    // Stopped: everything but Stop is enabled again, Resume included.
    QVERIFY(m_form->m_stopRequested);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    for (QWidget *w : all)
        QCOMPARE(w->isEnabled(), w != child<QPushButton>(m_form, "stopButton"));
}

void TestMainWindowScan::stopThenResumeInTheLab()
{
    if (!inLab())
        QSKIP("needs the loopback lab (tst_mainwindowscan_lab)");
    openForm(1);
    setRange(u"127.0.1.2"_s, u"127.0.1.7"_s);
    child<QCheckBox>(m_form, "logEnabledCheck")->setChecked(true);
    child<QCheckBox>(m_form, "overwriteCheck")->setChecked(true);
    writeFile(logPath(), "earlier run\r\n");

    QSignalSpy finished(m_form.get(), &MainWindow::runFinished);
    // 127.0.1.3 is silent: Stop lands while its probe waits.
    connect(
        child<QListWidget>(m_form, "resultList")->model(), &QAbstractItemModel::rowsInserted, this,
        [this] {
            QTimer::singleShot(0, child<QPushButton>(m_form, "stopButton"), [this] {
                QTest::mouseClick(child<QPushButton>(m_form, "stopButton"), Qt::LeftButton);
            });
        },
        Qt::SingleShotConnection);
    QTest::mouseClick(child<QPushButton>(m_form, "startButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(lines(), QStringList{pingLine(u"127.0.1.2"_s)});
    QCOMPARE(child<IpAddressEdit>(m_form, "startAddressEdit")->text(), u"127.0.1.3"_s);
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), u"1 pinged IP Numbers"_s);
    QCOMPARE(readFile(logPath()), QByteArray("127.0.1.2      12/05/26 03:26:08 pm\r\n"));

    clickAndWait(child<QPushButton>(m_form, "resumeButton"));
    QCOMPARE(lines(), (QStringList{pingLine(u"127.0.1.2"_s), pingLine(u"127.0.1.5"_s),
                                   pingLine(u"127.0.1.7"_s)}));
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), u"3 pinged IP Numbers"_s);
    QCOMPARE(readFile(logPath()), QByteArray("127.0.1.2      12/05/26 03:26:08 pm\r\n"
                                             "127.0.1.5      12/05/26 03:26:08 pm\r\n"
                                             "127.0.1.7      12/05/26 03:26:08 pm\r\n"));
}

void TestMainWindowScan::focusOnStartMakesTheNextRunFresh_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Tab onto Start") << 0;
    QTest::newRow("mouse press on Start") << 1;
}

void TestMainWindowScan::focusOnStartMakesTheNextRunFresh()
{
    QFETCH(int, how);
    openForm(1);
    setRange(u"127.0.2.1"_s, u"127.0.200.250"_s);
    QSignalSpy finished(m_form.get(), &MainWindow::runFinished);
    connect(
        child<QListWidget>(m_form, "resultList")->model(), &QAbstractItemModel::rowsInserted, this,
        [this] {
            QTimer::singleShot(0, child<QPushButton>(m_form, "stopButton"), [this] {
                QTest::mouseClick(child<QPushButton>(m_form, "stopButton"), Qt::LeftButton);
            });
        },
        Qt::SingleShotConnection);
    QTest::mouseClick(child<QPushButton>(m_form, "startButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kRunTimeoutMs);
    QVERIFY(m_form->m_stopRequested);
    const QString resumeAt = child<IpAddressEdit>(m_form, "startAddressEdit")->text();

    if (how == 0) {
        child<IpAddressEdit>(m_form, "startAddressEdit")->setFocus(Qt::TabFocusReason);
        // Tab out of the start field's last box lands on Start.
        for (int i = 0;
             i < 5 && QApplication::focusWidget() != child<QPushButton>(m_form, "startButton"); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), child<QPushButton>(m_form, "startButton"));
        QVERIFY(!m_form->m_stopRequested);
        // Shorten the range so the fresh run ends by itself.
        child<IpAddressEdit>(m_form, "stopAddressEdit")->setText(resumeAt);
        clickAndWait(child<QPushButton>(m_form, "resumeButton"));
    } else {
        child<IpAddressEdit>(m_form, "stopAddressEdit")->setText(resumeAt);
        clickAndWait(child<QPushButton>(m_form, "startButton"));
    }
    QCOMPARE(lines(), QStringList{pingLine(resumeAt)});
    QCOMPARE(m_form->m_resultCount, 1);
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), u"1 pinged IP Numbers"_s);
}

void TestMainWindowScan::resumeBeforeAnyStopIsAFreshRun()
{
    openForm();
    setRange(u"127.0.2.1"_s, u"127.0.2.3"_s);
    child<QCheckBox>(m_form, "logEnabledCheck")->setChecked(true);
    child<QCheckBox>(m_form, "overwriteCheck")->setChecked(true);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(lines().size(), 3);

    clickAndWait(child<QPushButton>(m_form, "resumeButton"));
    QCOMPARE(lines(), QStringList{pingLine(u"127.0.2.3"_s)});
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), u"1 pinged IP Numbers"_s);
    QCOMPARE(readFile(logPath()), QByteArray("127.0.2.3      12/05/26 03:26:08 pm\r\n"));
}

void TestMainWindowScan::getDomainWithTheNameBoxUnticked()
{
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");
    openForm();
    setRange(u"127.0.1.1"_s, u"127.0.1.6"_s);
    child<QRadioButton>(m_form, "domainModeButton")->click();
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(lines().size(), 3);

    QVERIFY(child<QCheckBox>(m_form, "namesCheck")->isEnabled());
    child<QCheckBox>(m_form, "namesCheck")->setChecked(false);
    setRange(u"127.0.1.1"_s, u"127.0.1.6"_s);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(lines(), QStringList());
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), QString());
    QCOMPARE(child<QListWidget>(m_form, "resultList")->toolTip(), QString());
    QVERIFY(!child<QPushButton>(m_form, "copyButton")->isEnabled());
    QVERIFY(!child<QPushButton>(m_form, "printButton")->isEnabled());
}

void TestMainWindowScan::namesThenNoNamesClearsTheToolTip()
{
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");
    openForm();
    setRange(u"127.0.1.2"_s, u"127.0.1.2"_s);
    child<QCheckBox>(m_form, "namesCheck")->setChecked(true);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(child<QListWidget>(m_form, "resultList")->toolTip(),
             u" Double-click on domain to load "_s);

    child<QCheckBox>(m_form, "namesCheck")->setChecked(false);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(lines(), QStringList{pingLine(u"127.0.1.2"_s)});
    QCOMPARE(child<QListWidget>(m_form, "resultList")->toolTip(), QString());
}

void TestMainWindowScan::logFile_data()
{
    QTest::addColumn<bool>("labOnly");
    QTest::addColumn<Qt::CheckState>("enabled");
    QTest::addColumn<bool>("overwrite");
    QTest::addColumn<QString>("nameText");
    QTest::addColumn<bool>("getDomain");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("nameAfter");

    const QByteArray two = "127.0.2.1      12/05/26 03:26:08 pm\r\n"
                           "127.0.2.2      12/05/26 03:26:08 pm\r\n";
    QTest::newRow("fresh run overwrites")
        << false << Qt::Checked << true << u"ipnums.txt"_s << false << u"127.0.2.1"_s
        << u"127.0.2.2"_s << QByteArray("old line\r\n") << two << u"ipnums.txt"_s;
    QTest::newRow("without overwrite appends")
        << false << Qt::Checked << false << u"ipnums.txt"_s << false << u"127.0.2.1"_s
        << u"127.0.2.2"_s << QByteArray("old line\r\n") << QByteArray("old line\r\n") + two
        << u"ipnums.txt"_s;
    QTest::newRow("created when missing")
        << false << Qt::Checked << false << u"ipnums.txt"_s << false << u"127.0.2.1"_s
        << u"127.0.2.2"_s << QByteArray("<missing>") << two << u"ipnums.txt"_s;
    QTest::newRow("empty name box takes the default name")
        << false << Qt::Checked << true << QString() << false << u"127.0.2.1"_s << u"127.0.2.2"_s
        << QByteArray("<missing>") << two << u"ipnums.txt"_s;
    QTest::newRow("blank name box takes the default name")
        << false << Qt::Checked << true << u"   "_s << false << u"127.0.2.1"_s << u"127.0.2.2"_s
        << QByteArray("<missing>") << two << u"ipnums.txt"_s;
    QTest::newRow("logging off writes nothing")
        << false << Qt::Unchecked << true << u"ipnums.txt"_s << false << u"127.0.2.1"_s
        << u"127.0.2.2"_s << QByteArray("<missing>") << QByteArray("<missing>") << u"ipnums.txt"_s;
    QTest::newRow("greyed Enabled is not ticked")
        << false << Qt::PartiallyChecked << true << u"ipnums.txt"_s << false << u"127.0.2.1"_s
        << u"127.0.2.2"_s << QByteArray("old line\r\n") << QByteArray("old line\r\n")
        << u"ipnums.txt"_s;
    QTest::newRow("no answer still empties the file")
        << true << Qt::Checked << true << u"ipnums.txt"_s << false << u"127.0.1.8"_s
        << u"127.0.1.9"_s << QByteArray("old line\r\n") << QByteArray() << u"ipnums.txt"_s;
    QTest::newRow("domain lines") << true << Qt::Checked << true << u"ipnums.txt"_s << true
                                  << u"127.0.1.1"_s << u"127.0.1.5"_s << QByteArray()
                                  << QByteArray("127.0.1.2   two.corvane.test\r\n"
                                                "127.0.1.5   five.corvane.test\r\n")
                                  << u"ipnums.txt"_s;
}

void TestMainWindowScan::logFile()
{
    QFETCH(bool, labOnly);
    QFETCH(Qt::CheckState, enabled);
    QFETCH(bool, overwrite);
    QFETCH(QString, nameText);
    QFETCH(bool, getDomain);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, nameAfter);
    if (labOnly && !inLab())
        QSKIP("needs the loopback lab (tst_mainwindowscan_lab)");

    if (before != "<missing>")
        writeFile(logPath(), before);
    openForm();
    setRange(start, stop);
    child<QCheckBox>(m_form, "logEnabledCheck")->setCheckState(enabled);
    child<QCheckBox>(m_form, "overwriteCheck")->setChecked(overwrite);
    child<QLineEdit>(m_form, "logFileEdit")->setText(nameText);
    if (getDomain)
        child<QRadioButton>(m_form, "domainModeButton")->click();
    clickAndWait(child<QPushButton>(m_form, "startButton"));

    QCOMPARE(readFile(logPath()), after);
    QCOMPARE(child<QLineEdit>(m_form, "logFileEdit")->text(),
             nameText.trimmed().isEmpty() && enabled != Qt::Checked ? nameText : nameAfter);
}

void TestMainWindowScan::logFailureIsToldOnce_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("reasonPart");

    QTest::newRow("disk full") << u"/dev"_s << u"full"_s << u"/dev/full"_s;
    QTest::newRow("name is a folder") << QString() << u"sub"_s << u"sub"_s;
}

void TestMainWindowScan::logFailureIsToldOnce()
{
    QFETCH(QString, folder);
    QFETCH(QString, fileName);
    QFETCH(QString, reasonPart);

    openForm();
    if (folder.isEmpty()) {
        QVERIFY(QDir(m_logDir.path()).mkpath(fileName));
        folder = m_logDir.path();
    }
    QVERIFY(child<DirList>(m_form, "folderTree")->setPath(folder));
    child<QLineEdit>(m_form, "logFileEdit")->setText(fileName);
    child<QCheckBox>(m_form, "logEnabledCheck")->setChecked(true);
    child<QCheckBox>(m_form, "overwriteCheck")->setChecked(false);
    setRange(u"127.0.2.1"_s, u"127.0.2.3"_s);

    MessageBoxAnswerer seen(QMessageBox::Ok);
    QSignalSpy finished(m_form.get(), &MainWindow::runFinished);
    QTest::mouseClick(child<QPushButton>(m_form, "startButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(seen.shown(), kRunTimeoutMs);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(seen.title, u"Corvane"_s);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY2(seen.text.contains(reasonPart), qPrintable(seen.text));
    QVERIFY(seen.text.contains(u"result list"_s));
    QCOMPARE(lines().size(), 3);

    // Exactly one box: no second one follows.
    QTest::qWait(200);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestMainWindowScan::listStartsAnewWhenFull_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("three lines, five results")
        << 3 << u"127.0.2.5"_s << QStringList{pingLine(u"127.0.2.4"_s), pingLine(u"127.0.2.5"_s)};
    QTest::newRow("one line, three results")
        << 1 << u"127.0.2.3"_s << QStringList{pingLine(u"127.0.2.3"_s)};
    QTest::newRow("exactly full is not reset")
        << 3 << u"127.0.2.3"_s
        << QStringList{pingLine(u"127.0.2.1"_s), pingLine(u"127.0.2.2"_s),
                       pingLine(u"127.0.2.3"_s)};
}

void TestMainWindowScan::listStartsAnewWhenFull()
{
    QFETCH(int, capacity);
    QFETCH(QString, stop);
    QFETCH(QStringList, expected);

    openForm();
    QCOMPARE(m_form->resultListCapacity(), kResultListCapacity);
    m_form->setResultListCapacity(capacity);
    setRange(u"127.0.2.1"_s, stop);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(lines(), expected);
    QCOMPARE(m_form->m_resultCount, expected.size());
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(),
             QString::number(expected.size()) + u" pinged IP Numbers"_s);
    QCOMPARE(child<QListWidget>(m_form, "resultList")->currentRow(), expected.size() - 1);
}

void TestMainWindowScan::counterGroupsThousands()
{
    openForm();
    setRange(u"127.0.4.1"_s, u"127.0.7.250"_s);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(child<QListWidget>(m_form, "resultList")->count(), 1018);
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), u"1,018 pinged IP Numbers"_s);
    // The last line is selected and scrolled into view.
    QCOMPARE(child<QListWidget>(m_form, "resultList")->currentRow(), 1017);
    QTRY_VERIFY(child<QListWidget>(m_form, "resultList")
                    ->viewport()
                    ->rect()
                    .intersects(child<QListWidget>(m_form, "resultList")
                                    ->visualItemRect(
                                        child<QListWidget>(m_form, "resultList")->item(1017))));
    QVERIFY(
        !child<QListWidget>(m_form, "resultList")
             ->viewport()
             ->rect()
             .intersects(child<QListWidget>(m_form, "resultList")
                             ->visualItemRect(child<QListWidget>(m_form, "resultList")->item(0))));
}

void TestMainWindowScan::unavailableProberIsTold()
{
    FakeEchoProber prober;
    prober.available = false;
    openForm(kDefaultParallel, &prober);
    setRange(u"127.0.2.1"_s, u"127.0.2.3"_s);
    child<QListWidget>(m_form, "resultList")->addItem(u"kept line"_s);

    MessageBoxAnswerer seen(QMessageBox::Ok);
    QTest::mouseClick(child<QPushButton>(m_form, "startButton"), Qt::LeftButton);
    QTRY_VERIFY(seen.shown());
    QCOMPARE(seen.title, u"Corvane"_s);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY2(seen.text.contains(prober.unavailableReason()), qPrintable(seen.text));
    QVERIFY(!m_form->isRunning());
    QVERIFY(child<QPushButton>(m_form, "startButton")->isEnabled());
    QVERIFY(!child<QPushButton>(m_form, "stopButton")->isEnabled());
    QCOMPARE(lines(), QStringList{u"kept line"_s});
    QVERIFY(prober.sent.isEmpty());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestMainWindowScan::getDomainRunsWithoutTheProber()
{
    // Names from a stand-in resolver: outside the lab no reverse lookup may
    // leave the machine.
    FakeEchoProber prober;
    prober.available = false;
    FakeHostResolver resolver;
    resolver.forward.insert(u"localhost"_s, u"127.0.0.1"_s);
    resolver.reverse.insert(u"127.0.2.2"_s, u"two.example"_s);
    openForm(kDefaultParallel, &prober, &resolver);
    setRange(u"127.0.2.1"_s, u"127.0.2.3"_s);
    child<QRadioButton>(m_form, "domainModeButton")->click();
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    QCOMPARE(lines(), QStringList{u"127.0.2.2\ttwo.example"_s});
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), u"1 domain names"_s);
    QVERIFY(prober.sent.isEmpty());
}

void TestMainWindowScan::closingDuringARunEndsItAndSavesOnce()
{
    openForm(1);
    setRange(u"127.0.2.1"_s, u"127.0.200.250"_s);
    QSignalSpy finished(m_form.get(), &MainWindow::runFinished);
    QSignalSpy unloaded(m_form.get(), &MainWindow::unloaded);
    QTest::mouseClick(child<QPushButton>(m_form, "startButton"), Qt::LeftButton);
    QTRY_VERIFY(child<QListWidget>(m_form, "resultList")->count() > 0);
    QVERIFY(m_form->isRunning());

    QVERIFY(m_form->close());
    QVERIFY(!m_form->isRunning());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(unloaded.count(), 1);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(m_form->m_stopRequested);
    const QString savedStart =
        m_settings->readSetting(u"Corvane"_s, u"Options"_s, u"Start"_s, QString());
    QCOMPARE(savedStart, child<IpAddressEdit>(m_form, "startAddressEdit")->text());
    QVERIFY(savedStart != u"127.0.200.250"_s);

    // The run's own late end changes nothing any more.
    const int linesAtClose = child<QListWidget>(m_form, "resultList")->count();
    QTest::qWait(200);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(child<QListWidget>(m_form, "resultList")->count(), linesAtClose);
    m_form->close();
    QCOMPARE(unloaded.count(), 1);
}

void TestMainWindowScan::copyAndPrintReportTheList()
{
    openForm();
    setRange(u"127.0.2.1"_s, u"127.0.2.2"_s);
    clickAndWait(child<QPushButton>(m_form, "startButton"));

    QTest::mouseClick(child<QPushButton>(m_form, "copyButton"), Qt::LeftButton);
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY2(copied.contains(u"\r\n\r\n"_s + pingLine(u"127.0.2.1"_s) + u"\r\n"_s +
                             pingLine(u"127.0.2.2"_s) + u"\r\n\r\n2 IP Numbers"_s),
             qPrintable(copied));
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(),
             QString::number(copied.size()) + u" bytes copied to the clipboard."_s);

    // The printers of the machine that runs the tests are out of reach.
    QVERIFY2(QPrinterInfo::defaultPrinter().isNull(),
             qPrintable(QPrinterInfo::defaultPrinter().printerName()));
    QTest::mouseClick(child<QPushButton>(m_form, "printButton"), Qt::LeftButton);
    QCOMPARE(child<QLabel>(m_form, "statusLabel")->text(), u"Report printed."_s);
}

void TestMainWindowScan::doubleClickOpensTheDomainOnlyWithNames()
{
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");
    const QString record = m_logDir.path() + u"/browser-args"_s;
    QFile::remove(record);
    MessageBoxAnswerer unexpected(QMessageBox::Ok);

    openForm();
    QSignalSpy doubleClicks(child<QListWidget>(m_form, "resultList"),
                            &QListWidget::itemDoubleClicked);
    // A double-click as the mouse makes it: a click, then the second press.
    // The line is wider than the list: aim at its visible start.
    const auto doubleClickFirstLine = [this] {
        const QPoint onLine(10,
                            child<QListWidget>(m_form, "resultList")
                                ->visualItemRect(child<QListWidget>(m_form, "resultList")->item(0))
                                .center()
                                .y());
        QTest::mouseClick(child<QListWidget>(m_form, "resultList")->viewport(), Qt::LeftButton, {},
                          onLine, 20);
        QTest::mouseDClick(child<QListWidget>(m_form, "resultList")->viewport(), Qt::LeftButton, {},
                           onLine, 20);
    };

    setRange(u"127.0.1.2"_s, u"127.0.1.2"_s);
    child<QCheckBox>(m_form, "namesCheck")->setChecked(false);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    doubleClickFirstLine();
    QCOMPARE(doubleClicks.count(), 1);
    // A started browser would have written its record well within this.
    QTest::qWait(1000);
    QVERIFY2(!QFile::exists(record), "a list without names opened the browser");

    child<QCheckBox>(m_form, "namesCheck")->setChecked(true);
    clickAndWait(child<QPushButton>(m_form, "startButton"));
    doubleClickFirstLine();
    QCOMPARE(doubleClicks.count(), 2);
    QTRY_VERIFY(QFile::exists(record));
    QCOMPARE(readFile(record), QByteArray("two.corvane.test\n"));
    QVERIFY2(!unexpected.shown(), qPrintable(unexpected.text));
}

QTEST_MAIN(TestMainWindowScan)
#include "tst_mainwindowscan.moc"
