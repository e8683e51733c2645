// Scan runs through the main window with the real prober on loopback.
//
// Run plainly, every address of 127.0.0.0/8 answers and no name is looked
// up. Run as tst_form1scan_lab, the test sits in its own network and mount
// namespaces where 127.0.1.0/24 is silent except .2, .5 and .7, and a hosts
// file names 127.0.1.2, .5 and .6; the cases that need silence or names run
// only there.

#include "browserlauncher.h"
#include "ccrpipaddress.h"
#include "dirlist.h"
#include "echoprober.h"
#include "fakeechoprober.h"
#include "fakehostresolver.h"
#include "form1.h"
#include "hostresolver.h"
#include "mainwindowrules.h"
#include "settingsstore.h"
#include "tst_form1helpers.h"

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

class tst_Form1Scan : public QObject
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
    std::unique_ptr<Form1> m_form;
    QTemporaryDir m_logDir;
};

void tst_Form1Scan::initTestCase()
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

void tst_Form1Scan::init()
{
    QFile::remove(logPath());
    // Only these cases bring a stand-in prober; the rest need echo requests.
    static const QList<QByteArrayView> withoutRealProber{"unavailableProberIsTold",
                                                         "getDomainRunsWithoutTheProber"};
    if (!m_prober->isAvailable() && !withoutRealProber.contains(QTest::currentTestFunction()))
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + m_prober->unavailableReason()));
}

void tst_Form1Scan::cleanup()
{
    m_form.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void tst_Form1Scan::openForm(int parallel, EchoProber *prober, HostResolver *resolver)
{
    m_settings->WriteSetting(u"Corvane"_s, u"Options"_s, u"Parallel"_s, QString::number(parallel));
    m_form = std::make_unique<Form1>(*m_settings, prober ? *prober : *m_prober,
                                     resolver ? *resolver : *m_resolver, *m_browser);
    m_form->setClock([] { return kNow; });
    QVERIFY(m_form->Form_Load(QString()));
    QCOMPARE(m_form->parallel(), parallel);
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QVERIFY(m_form->Dir1->setPath(m_logDir.path()));
    m_form->Text1->setText(u"ipnums.txt"_s);
    m_form->Check1->setChecked(false);
}

void tst_Form1Scan::setRange(const QString &start, const QString &stop)
{
    m_form->IP->setText(start);
    m_form->IP2->setText(stop);
    QCOMPARE(m_form->IP->Text(), start);
    QCOMPARE(m_form->IP2->Text(), stop);
}

void tst_Form1Scan::clickAndWait(QAbstractButton *button)
{
    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kRunTimeoutMs);
}

QStringList tst_Form1Scan::lines() const
{
    QStringList result;
    for (int row = 0; row < m_form->List1->count(); ++row)
        result.append(m_form->List1->item(row)->text());
    return result;
}

void tst_Form1Scan::pingRun_data()
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

void tst_Form1Scan::pingRun()
{
    QFETCH(bool, labOnly);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(bool, names);
    QFETCH(QStringList, expected);
    QFETCH(QString, startAfter);
    if (labOnly && !inLab())
        QSKIP("needs the loopback lab (tst_form1scan_lab)");

    openForm();
    setRange(start, stop);
    m_form->Check3->setChecked(names);
    clickAndWait(m_form->Command1);

    QCOMPARE(lines(), expected);
    QCOMPARE(m_form->ResultCount, expected.size());
    QCOMPARE(m_form->Label3->text(),
             expected.isEmpty() ? QString()
                                : QString::number(expected.size()) + u" pinged IP Numbers"_s);
    QCOMPARE(m_form->List1->toolTip(),
             names && !expected.isEmpty() ? u" Double-click on domain to load "_s : QString());
    QCOMPARE(m_form->Command5->isEnabled(), !expected.isEmpty());
    QCOMPARE(m_form->Command6->isEnabled(), !expected.isEmpty());
    QCOMPARE(m_form->IP->Text(), startAfter);
    QCOMPARE(m_form->IP2->Text(), stop);
    if (!expected.isEmpty())
        QCOMPARE(m_form->List1->currentRow(), expected.size() - 1);
    QVERIFY(!m_form->StopRequested);
    QVERIFY(!m_form->isRunning());
}

void tst_Form1Scan::getDomainRun_data()
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

void tst_Form1Scan::getDomainRun()
{
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QFETCH(QStringList, expected);
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");

    openForm();
    setRange(start, stop);
    m_form->Option2->click();
    QVERIFY(m_form->Check3->isChecked());
    clickAndWait(m_form->Command1);

    QCOMPARE(lines(), expected);
    QCOMPARE(m_form->Label3->text(), expected.isEmpty()
                                         ? QString()
                                         : QString::number(expected.size()) + u" domain names"_s);
    QCOMPARE(m_form->List1->toolTip(),
             expected.isEmpty() ? QString() : u" Double-click on domain to load "_s);
    QVERIFY2(m_form->Check3->isEnabled(), "a run's end enables every control");
    QCOMPARE(m_form->IP->Text(), stop);
}

void tst_Form1Scan::controlsDuringAndAfterARun()
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
    const QList<QWidget *> all{
        m_form->IP,        m_form->IP2,       m_form->Option1,  m_form->Option2,  m_form->Check1,
        m_form->Check2,    m_form->Check3,    m_form->Command1, m_form->Command2, m_form->Command3,
        m_form->Command4,  m_form->Command5,  m_form->Command6, m_form->Command7, m_form->Command9,
        m_form->Command11, m_form->Command12, m_form->Frame1,   m_form->Text1,    m_form->Dir1,
        m_form->List1,     m_form->Label3};
    connect(m_form->List1->model(), &QAbstractItemModel::rowsInserted, this, [&] {
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
        QTimer::singleShot(0, m_form->Command2,
                           [this] { QTest::mouseClick(m_form->Command2, Qt::LeftButton); });
    });
    clickAndWait(m_form->Command1);

    QVERIFY(during.taken);
    QVERIFY(during.running);
    const QList<QWidget *> enabledDuring{m_form->Command2, m_form->List1, m_form->Label3};
    QCOMPARE(during.enabled, enabledDuring);
    QCOMPARE(during.focus, m_form->Command2);
    QVERIFY(during.hourglass);

    // Stopped: everything but Stop is enabled again, Resume included.
    QVERIFY(m_form->StopRequested);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    for (QWidget *w : all)
        QCOMPARE(w->isEnabled(), w != m_form->Command2);
}

void tst_Form1Scan::stopThenResumeInTheLab()
{
    if (!inLab())
        QSKIP("needs the loopback lab (tst_form1scan_lab)");
    openForm(1);
    setRange(u"127.0.1.2"_s, u"127.0.1.7"_s);
    m_form->Check1->setChecked(true);
    m_form->Check2->setChecked(true);
    writeFile(logPath(), "earlier run\r\n");

    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    // 127.0.1.3 is silent: Stop lands while its probe waits.
    connect(
        m_form->List1->model(), &QAbstractItemModel::rowsInserted, this,
        [this] {
            QTimer::singleShot(0, m_form->Command2,
                               [this] { QTest::mouseClick(m_form->Command2, Qt::LeftButton); });
        },
        Qt::SingleShotConnection);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(lines(), QStringList{pingLine(u"127.0.1.2"_s)});
    QCOMPARE(m_form->IP->Text(), u"127.0.1.3"_s);
    QCOMPARE(m_form->Label3->text(), u"1 pinged IP Numbers"_s);
    QCOMPARE(readFile(logPath()), QByteArray("127.0.1.2      12/05/26 03:26:08 pm\r\n"));

    clickAndWait(m_form->Command3);
    QCOMPARE(lines(), (QStringList{pingLine(u"127.0.1.2"_s), pingLine(u"127.0.1.5"_s),
                                   pingLine(u"127.0.1.7"_s)}));
    QCOMPARE(m_form->Label3->text(), u"3 pinged IP Numbers"_s);
    QCOMPARE(readFile(logPath()), QByteArray("127.0.1.2      12/05/26 03:26:08 pm\r\n"
                                             "127.0.1.5      12/05/26 03:26:08 pm\r\n"
                                             "127.0.1.7      12/05/26 03:26:08 pm\r\n"));
}

void tst_Form1Scan::focusOnStartMakesTheNextRunFresh_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Tab onto Start") << 0;
    QTest::newRow("mouse press on Start") << 1;
}

void tst_Form1Scan::focusOnStartMakesTheNextRunFresh()
{
    QFETCH(int, how);
    openForm(1);
    setRange(u"127.0.2.1"_s, u"127.0.200.250"_s);
    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    connect(
        m_form->List1->model(), &QAbstractItemModel::rowsInserted, this,
        [this] {
            QTimer::singleShot(0, m_form->Command2,
                               [this] { QTest::mouseClick(m_form->Command2, Qt::LeftButton); });
        },
        Qt::SingleShotConnection);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, kRunTimeoutMs);
    QVERIFY(m_form->StopRequested);
    const QString resumeAt = m_form->IP->Text();

    if (how == 0) {
        m_form->IP->setFocus(Qt::TabFocusReason);
        // Tab out of the start field's last box lands on Start.
        for (int i = 0; i < 5 && QApplication::focusWidget() != m_form->Command1; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), m_form->Command1);
        QVERIFY(!m_form->StopRequested);
        // Shorten the range so the fresh run ends by itself.
        m_form->IP2->setText(resumeAt);
        clickAndWait(m_form->Command3);
    } else {
        m_form->IP2->setText(resumeAt);
        clickAndWait(m_form->Command1);
    }
    QCOMPARE(lines(), QStringList{pingLine(resumeAt)});
    QCOMPARE(m_form->ResultCount, 1);
    QCOMPARE(m_form->Label3->text(), u"1 pinged IP Numbers"_s);
}

void tst_Form1Scan::resumeBeforeAnyStopIsAFreshRun()
{
    openForm();
    setRange(u"127.0.2.1"_s, u"127.0.2.3"_s);
    m_form->Check1->setChecked(true);
    m_form->Check2->setChecked(true);
    clickAndWait(m_form->Command1);
    QCOMPARE(lines().size(), 3);

    clickAndWait(m_form->Command3);
    QCOMPARE(lines(), QStringList{pingLine(u"127.0.2.3"_s)});
    QCOMPARE(m_form->Label3->text(), u"1 pinged IP Numbers"_s);
    QCOMPARE(readFile(logPath()), QByteArray("127.0.2.3      12/05/26 03:26:08 pm\r\n"));
}

void tst_Form1Scan::getDomainWithTheNameBoxUnticked()
{
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");
    openForm();
    setRange(u"127.0.1.1"_s, u"127.0.1.6"_s);
    m_form->Option2->click();
    clickAndWait(m_form->Command1);
    QCOMPARE(lines().size(), 3);

    QVERIFY(m_form->Check3->isEnabled());
    m_form->Check3->setChecked(false);
    setRange(u"127.0.1.1"_s, u"127.0.1.6"_s);
    clickAndWait(m_form->Command1);
    QCOMPARE(lines(), QStringList());
    QCOMPARE(m_form->Label3->text(), QString());
    QCOMPARE(m_form->List1->toolTip(), QString());
    QVERIFY(!m_form->Command5->isEnabled());
    QVERIFY(!m_form->Command6->isEnabled());
}

void tst_Form1Scan::namesThenNoNamesClearsTheToolTip()
{
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");
    openForm();
    setRange(u"127.0.1.2"_s, u"127.0.1.2"_s);
    m_form->Check3->setChecked(true);
    clickAndWait(m_form->Command1);
    QCOMPARE(m_form->List1->toolTip(), u" Double-click on domain to load "_s);

    m_form->Check3->setChecked(false);
    clickAndWait(m_form->Command1);
    QCOMPARE(lines(), QStringList{pingLine(u"127.0.1.2"_s)});
    QCOMPARE(m_form->List1->toolTip(), QString());
}

void tst_Form1Scan::logFile_data()
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

void tst_Form1Scan::logFile()
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
        QSKIP("needs the loopback lab (tst_form1scan_lab)");

    if (before != "<missing>")
        writeFile(logPath(), before);
    openForm();
    setRange(start, stop);
    m_form->Check1->setCheckState(enabled);
    m_form->Check2->setChecked(overwrite);
    m_form->Text1->setText(nameText);
    if (getDomain)
        m_form->Option2->click();
    clickAndWait(m_form->Command1);

    QCOMPARE(readFile(logPath()), after);
    QCOMPARE(m_form->Text1->text(),
             nameText.trimmed().isEmpty() && enabled != Qt::Checked ? nameText : nameAfter);
}

void tst_Form1Scan::logFailureIsToldOnce_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("reasonPart");

    QTest::newRow("disk full") << u"/dev"_s << u"full"_s << u"/dev/full"_s;
    QTest::newRow("name is a folder") << QString() << u"sub"_s << u"sub"_s;
}

void tst_Form1Scan::logFailureIsToldOnce()
{
    QFETCH(QString, folder);
    QFETCH(QString, fileName);
    QFETCH(QString, reasonPart);

    openForm();
    if (folder.isEmpty()) {
        QVERIFY(QDir(m_logDir.path()).mkpath(fileName));
        folder = m_logDir.path();
    }
    QVERIFY(m_form->Dir1->setPath(folder));
    m_form->Text1->setText(fileName);
    m_form->Check1->setChecked(true);
    m_form->Check2->setChecked(false);
    setRange(u"127.0.2.1"_s, u"127.0.2.3"_s);

    MessageBoxAnswerer seen(QMessageBox::Ok);
    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
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

void tst_Form1Scan::listStartsAnewWhenFull_data()
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

void tst_Form1Scan::listStartsAnewWhenFull()
{
    QFETCH(int, capacity);
    QFETCH(QString, stop);
    QFETCH(QStringList, expected);

    openForm();
    QCOMPARE(m_form->resultListCapacity(), kResultListCapacity);
    m_form->setResultListCapacity(capacity);
    setRange(u"127.0.2.1"_s, stop);
    clickAndWait(m_form->Command1);
    QCOMPARE(lines(), expected);
    QCOMPARE(m_form->ResultCount, expected.size());
    QCOMPARE(m_form->Label3->text(), QString::number(expected.size()) + u" pinged IP Numbers"_s);
    QCOMPARE(m_form->List1->currentRow(), expected.size() - 1);
}

void tst_Form1Scan::counterGroupsThousands()
{
    openForm();
    setRange(u"127.0.4.1"_s, u"127.0.7.250"_s);
    clickAndWait(m_form->Command1);
    QCOMPARE(m_form->List1->count(), 1018);
    QCOMPARE(m_form->Label3->text(), u"1,018 pinged IP Numbers"_s);
    // The last line is selected and scrolled into view.
    QCOMPARE(m_form->List1->currentRow(), 1017);
    QTRY_VERIFY(m_form->List1->viewport()->rect().intersects(
        m_form->List1->visualItemRect(m_form->List1->item(1017))));
    QVERIFY(!m_form->List1->viewport()->rect().intersects(
        m_form->List1->visualItemRect(m_form->List1->item(0))));
}

void tst_Form1Scan::unavailableProberIsTold()
{
    FakeEchoProber prober;
    prober.available = false;
    openForm(kDefaultParallel, &prober);
    setRange(u"127.0.2.1"_s, u"127.0.2.3"_s);
    m_form->List1->addItem(u"kept line"_s);

    MessageBoxAnswerer seen(QMessageBox::Ok);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    QTRY_VERIFY(seen.shown());
    QCOMPARE(seen.title, u"Corvane"_s);
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QVERIFY2(seen.text.contains(prober.unavailableReason()), qPrintable(seen.text));
    QVERIFY(!m_form->isRunning());
    QVERIFY(m_form->Command1->isEnabled());
    QVERIFY(!m_form->Command2->isEnabled());
    QCOMPARE(lines(), QStringList{u"kept line"_s});
    QVERIFY(prober.sent.isEmpty());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void tst_Form1Scan::getDomainRunsWithoutTheProber()
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
    m_form->Option2->click();
    clickAndWait(m_form->Command1);
    QCOMPARE(lines(), QStringList{u"127.0.2.2\ttwo.example"_s});
    QCOMPARE(m_form->Label3->text(), u"1 domain names"_s);
    QVERIFY(prober.sent.isEmpty());
}

void tst_Form1Scan::closingDuringARunEndsItAndSavesOnce()
{
    openForm(1);
    setRange(u"127.0.2.1"_s, u"127.0.200.250"_s);
    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    QSignalSpy unloaded(m_form.get(), &Form1::unloaded);
    QTest::mouseClick(m_form->Command1, Qt::LeftButton);
    QTRY_VERIFY(m_form->List1->count() > 0);
    QVERIFY(m_form->isRunning());

    QVERIFY(m_form->close());
    QVERIFY(!m_form->isRunning());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(unloaded.count(), 1);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(m_form->StopRequested);
    const QString savedStart =
        m_settings->ReadSetting(u"Corvane"_s, u"Options"_s, u"Start"_s, QString());
    QCOMPARE(savedStart, m_form->IP->Text());
    QVERIFY(savedStart != u"127.0.200.250"_s);

    // The run's own late end changes nothing any more.
    const int linesAtClose = m_form->List1->count();
    QTest::qWait(200);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_form->List1->count(), linesAtClose);
    m_form->close();
    QCOMPARE(unloaded.count(), 1);
}

void tst_Form1Scan::copyAndPrintReportTheList()
{
    openForm();
    setRange(u"127.0.2.1"_s, u"127.0.2.2"_s);
    clickAndWait(m_form->Command1);

    QTest::mouseClick(m_form->Command5, Qt::LeftButton);
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY2(copied.contains(u"\r\n\r\n"_s + pingLine(u"127.0.2.1"_s) + u"\r\n"_s +
                             pingLine(u"127.0.2.2"_s) + u"\r\n\r\n2 IP Numbers"_s),
             qPrintable(copied));
    QCOMPARE(m_form->Label3->text(),
             QString::number(copied.size()) + u" bytes copied to the clipboard."_s);

    // The printers of the machine that runs the tests are out of reach.
    QVERIFY2(QPrinterInfo::defaultPrinter().isNull(),
             qPrintable(QPrinterInfo::defaultPrinter().printerName()));
    QTest::mouseClick(m_form->Command6, Qt::LeftButton);
    QCOMPARE(m_form->Label3->text(), u"Report printed."_s);
}

void tst_Form1Scan::doubleClickOpensTheDomainOnlyWithNames()
{
    if (!inLab())
        QSKIP("reverse lookups must stay inside the loopback lab");
    const QString record = m_logDir.path() + u"/browser-args"_s;
    QFile::remove(record);
    MessageBoxAnswerer unexpected(QMessageBox::Ok);

    openForm();
    QSignalSpy doubleClicks(m_form->List1, &QListWidget::itemDoubleClicked);
    // A double-click as the mouse makes it: a click, then the second press.
    // The line is wider than the list: aim at its visible start.
    const auto doubleClickFirstLine = [this] {
        const QPoint onLine(10, m_form->List1->visualItemRect(m_form->List1->item(0)).center().y());
        QTest::mouseClick(m_form->List1->viewport(), Qt::LeftButton, {}, onLine, 20);
        QTest::mouseDClick(m_form->List1->viewport(), Qt::LeftButton, {}, onLine, 20);
    };

    setRange(u"127.0.1.2"_s, u"127.0.1.2"_s);
    m_form->Check3->setChecked(false);
    clickAndWait(m_form->Command1);
    doubleClickFirstLine();
    QCOMPARE(doubleClicks.count(), 1);
    // A started browser would have written its record well within this.
    QTest::qWait(1000);
    QVERIFY2(!QFile::exists(record), "a list without names opened the browser");

    m_form->Check3->setChecked(true);
    clickAndWait(m_form->Command1);
    doubleClickFirstLine();
    QCOMPARE(doubleClicks.count(), 2);
    QTRY_VERIFY(QFile::exists(record));
    QCOMPARE(readFile(record), QByteArray("two.corvane.test\n"));
    QVERIFY2(!unexpected.shown(), qPrintable(unexpected.text));
}

QTEST_MAIN(tst_Form1Scan)
#include "tst_form1scan.moc"
