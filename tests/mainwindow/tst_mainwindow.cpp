// The main window through its real controls, the keyboard and the mouse: what
// start-up restores and closing saves, how a run shows on the controls, the
// messages, the reports and the keys. The rules of a run are tested in
// tst_scansession, the settings values in tst_mainwindowparts.

#include "desktopintegration.h"
#include "dialoganswerer.h"
#include "dirlist.h"
#include "drivelist.h"
#include "ipaddressedit.h"
#include "ipv4address.h"
#include "mainwindowfixture.h"
#include "mainwindowrules.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_f = std::make_unique<MainWindowFixture>(); }
    void init() { m_f->reset(); }
    void cleanup();

    void startUpRestoresAndCloseSaves_data();
    void startUpRestoresAndCloseSaves();
    void failedNetworkCheckEndsBeforeAnything();
    void commandLineStartsARealScan_data();
    void commandLineStartsARealScan();
    void runShowsOnTheControls();
    void stopThenStartOrResume_data();
    void stopThenStartOrResume();
    void failuresAreTold_data();
    void failuresAreTold();
    void closingDuringARunEndsItAndSavesOnce();
    void copyPrintAndDoubleClickReadTheList();
    void escapeClosesFromAnyControl_data();
    void escapeClosesFromAnyControl();
    void buttonsOpenTheirWindows_data();
    void buttonsOpenTheirWindows();
    void endingWhileHiddenClosesLikeExit_data();
    void endingWhileHiddenClosesLikeExit();
    void minimisingWithoutTrayKeepsTheWindowBack();

private:
    void answerAll(const QString &start, const QString &stop);
    std::unique_ptr<MainWindowFixture> m_f;
};

void TestMainWindow::cleanup()
{
    m_f->window.reset();
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

void TestMainWindow::answerAll(const QString &start, const QString &stop)
{
    for (quint32 a = *parseIPv4Address(start); a <= *parseIPv4Address(stop); ++a)
        m_f->prober->answering.insert(a);
    m_f->ui<IpAddressEdit>("startAddressEdit")->setText(start);
    m_f->ui<IpAddressEdit>("stopAddressEdit")->setText(stop);
}

void TestMainWindow::startUpRestoresAndCloseSaves_data()
{
    QTest::addColumn<QStringList>("stored");  // key, value, key, value ...
    QTest::addColumn<QStringList>("shown");   // start, stop, file, folder
    QTest::addColumn<QList<int>>("boxes");    // Enabled, Overwrite check states
    QTest::addColumn<QStringList>("written"); // Enabled, Overwrite

    const QString home = QDir::homePath();
    QTest::newRow("an empty store gives the defaults")
        << QStringList() << QStringList{u"0.0.0.0"_s, u"255.255.255.255"_s, u"ipnums.txt"_s, home}
        << QList<int>{Qt::Checked, Qt::Checked} << QStringList{u"1"_s, u"1"_s};
    QTest::newRow("stored texts unchanged, a greyed and an unchecked box")
        << QStringList{u"Start"_s,     u"010.000.001.254"_s,
                       u"Stop"_s,      u"10.0.2.255"_s,
                       u"File"_s,      QString(),
                       u"Path"_s,      QDir::tempPath(),
                       u"Enabled"_s,   u"2"_s,
                       u"Overwrite"_s, u" 0 "_s}
        << QStringList{u"010.000.001.254"_s, u"10.0.2.255"_s, QString(), QDir::tempPath()}
        << QList<int>{Qt::PartiallyChecked, Qt::Unchecked} << QStringList{u"2"_s, u"0"_s};
    // A folder that is gone leaves the list at the root of its drive.
    QTest::newRow("a deleted folder and texts a box cannot take")
        << QStringList{u"Path"_s, home + u"/gone-folder"_s, u"Enabled"_s,
                       u"abc"_s,  u"Overwrite"_s,           u"5"_s}
        << QStringList{u"0.0.0.0"_s, u"255.255.255.255"_s, u"ipnums.txt"_s,
                       QStorageInfo(home).rootPath()}
        << QList<int>{Qt::Checked, Qt::Checked} << QStringList{u"1"_s, u"1"_s};
}

void TestMainWindow::startUpRestoresAndCloseSaves()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, shown);
    QFETCH(QList<int>, boxes);
    QFETCH(QStringList, written);
    for (qsizetype i = 0; i + 1 < stored.size(); i += 2)
        m_f->store(stored.at(i), stored.at(i + 1));
    QVERIFY(m_f->open());
    MainWindow *w = m_f->window.get();

    QCOMPARE(m_f->ui<IpAddressEdit>("startAddressEdit")->text(), shown.at(0));
    QCOMPARE(m_f->ui<IpAddressEdit>("stopAddressEdit")->text(), shown.at(1));
    QCOMPARE(m_f->ui<QLineEdit>("logFileEdit")->text(), shown.at(2));
    QCOMPARE(m_f->ui<DirList>("folderTree")->path(), shown.at(3));
    QCOMPARE(m_f->ui<DriveList>("driveCombo")->drive(), QStorageInfo(shown.at(3)).rootPath());
    QCOMPARE(int(m_f->ui<QCheckBox>("logEnabledCheck")->checkState()), boxes.at(0));
    QCOMPARE(int(m_f->ui<QCheckBox>("overwriteCheck")->checkState()), boxes.at(1));
    QCOMPARE(w->windowTitle(), windowCaption(IpAddressEdit::ownIpNumber()));
    QVERIFY(w->desktopIntegration()->isTrayIconShown());
    QVERIFY(m_f->ui<IpAddressEdit>("startAddressEdit")->isAncestorOf(QApplication::focusWidget()));
    for (const char *off : {"stopButton", "resumeButton", "copyButton", "printButton"})
        QVERIFY2(!m_f->ui<QPushButton>(off)->isEnabled(), off);
    QVERIFY(m_f->ui<QRadioButton>("pingModeButton")->isChecked());
    QCOMPARE(MainWindowFixture::stored(u"Start"_s),
             stored.contains(u"Start"_s) ? shown.at(0) : u"<missing>"_s);

    // A greyed box turns two-state once clicked.
    if (boxes.at(0) == Qt::PartiallyChecked) {
        QTest::mouseClick(m_f->ui<QCheckBox>("logEnabledCheck"), Qt::LeftButton);
        QTest::mouseClick(m_f->ui<QCheckBox>("logEnabledCheck"), Qt::LeftButton);
        QTest::mouseClick(m_f->ui<QCheckBox>("logEnabledCheck"), Qt::LeftButton);
        QCOMPARE(m_f->ui<QCheckBox>("logEnabledCheck")->checkState(), Qt::Checked);
        written[0] = u"1"_s;
    }
    QSignalSpy closed(w, &MainWindow::unloaded);
    QVERIFY(w->close());
    QCOMPARE(closed.count(), 1);
    QVERIFY(!w->desktopIntegration()->isTrayIconShown());
    QCOMPARE(MainWindowFixture::stored(u"Start"_s), shown.at(0));
    QCOMPARE(MainWindowFixture::stored(u"Stop"_s), shown.at(1));
    QCOMPARE(MainWindowFixture::stored(u"File"_s), shown.at(2));
    QCOMPARE(MainWindowFixture::stored(u"Path"_s), shown.at(3));
    QCOMPARE(MainWindowFixture::stored(u"Enabled"_s), written.at(0));
    QCOMPARE(MainWindowFixture::stored(u"Overwrite"_s), written.at(1));
    // The close sequence runs once, however often the window is closed.
    w->close();
    QCOMPARE(closed.count(), 1);
}

void TestMainWindow::failedNetworkCheckEndsBeforeAnything()
{
    m_f->resolver->forward.clear();
    DialogAnswerer answerer;
    m_f->window = std::make_unique<MainWindow>(*m_f->settings, *m_f->prober, *m_f->resolver,
                                               *createSystemBrowserLauncher());
    QVERIFY(!m_f->window->startUp(QString()));
    QCOMPARE(answerer.texts(),
             QStringList{u"You must connect to the internet before using Corvane."_s});
    QCOMPARE(answerer.seen().at(0).title, u"Corvane"_s);
    QCOMPARE(answerer.seen().at(0).icon, QMessageBox::Warning);
    QVERIFY(!m_f->window->isVisible());
    QVERIFY(!m_f->window->desktopIntegration()->isTrayIconShown());
    m_f->window->close();
    QVERIFY(!QFile::exists(QSettingsStore::fileName(u"Corvane"_s)));
}

void TestMainWindow::commandLineStartsARealScan_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("scans");
    QTest::newRow("/p with spaces around starts nothing") << u" /p "_s << false;
    QTest::newRow("a word starts a scan") << u" x "_s << true;
}

void TestMainWindow::commandLineStartsARealScan()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, scans);
    const std::unique_ptr<EchoProber> real = createSystemEchoProber();
    if (scans && !real->isAvailable())
        QSKIP(qPrintable(u"echo requests cannot be sent here: "_s + real->unavailableReason()));
    m_f->store(u"Start"_s, u"127.0.0.1"_s);
    m_f->store(u"Stop"_s, u"127.0.0.2"_s);
    m_f->store(u"Enabled"_s, u"0"_s);
    QVERIFY(m_f->open(commandLine, real.get()));
    QCOMPARE(m_f->window->isRunning(), scans);
    QTRY_VERIFY_WITH_TIMEOUT(!m_f->window->isRunning(), 10000);
    const QStringList both{u"127.0.0.1\t12/05/26 03:26:08 pm"_s,
                           u"127.0.0.2\t12/05/26 03:26:08 pm"_s};
    QCOMPARE(m_f->lines(), scans ? both : QStringList());
}

void TestMainWindow::runShowsOnTheControls()
{
    QVERIFY(m_f->open());
    answerAll(u"10.0.0.1"_s, u"10.0.0.3"_s);
    m_f->resolver->reverse.insert(u"10.0.0.1"_s, u"one.example"_s);
    m_f->prober->delay = [](quint32) { return 30; };
    QVERIFY(m_f->ui<DirList>("folderTree")->setPath(m_f->path()));
    m_f->ui<QLineEdit>("logFileEdit")->setText(u" "_s);
    m_f->ui<QCheckBox>("logEnabledCheck")->setCheckState(Qt::PartiallyChecked);
    m_f->ui<QCheckBox>("namesCheck")->setChecked(true);

    QStringList enabledDuring;
    QWidget *focusDuring = nullptr;
    connect(m_f->ui<IpAddressEdit>("startAddressEdit"), &IpAddressEdit::textChanged, this, [&] {
        if (!m_f->window->isRunning() || focusDuring)
            return;
        focusDuring = QApplication::focusWidget();
        QVERIFY(QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        for (QWidget *w : m_f->window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (w->isEnabled())
                enabledDuring.append(w->objectName());
    });
    m_f->clickAndWait("startButton");
    QCOMPARE(enabledDuring.join(u' '),
             u"startLabel stopLabel stopButton resultList statusLabel mnu_1"_s);
    QCOMPARE(focusDuring, m_f->ui<QPushButton>("stopButton"));
    // A greyed "Enabled" is not ticked: no log, and the blank name stays.
    QCOMPARE(m_f->ui<QLineEdit>("logFileEdit")->text(), u" "_s);
    QVERIFY(!QFile::exists(m_f->path() + u"/ipnums.txt"_s));
    QCOMPARE(m_f->lines().size(), 3);
    QCOMPARE(m_f->ui<QListWidget>("resultList")->currentRow(), 2);
    QCOMPARE(m_f->ui<QLabel>("statusLabel")->text(), u"3 pinged IP Numbers"_s);
    QCOMPARE(m_f->ui<QListWidget>("resultList")->toolTip(), u" Double-click on domain to load "_s);
    QCOMPARE(m_f->ui<IpAddressEdit>("startAddressEdit")->text(), u"10.0.0.3"_s);
    for (QWidget *w : m_f->window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QCOMPARE(w->isEnabled(), w != m_f->ui<QPushButton>("stopButton"));

    // Get Domain ticks and locks "Domain Name"; a run's end unlocks it. A
    // ticked "Enabled" with a blank name logs to the default name.
    m_f->ui<QRadioButton>("domainModeButton")->click();
    QVERIFY(!m_f->ui<QCheckBox>("namesCheck")->isEnabled());
    m_f->ui<QCheckBox>("logEnabledCheck")->setCheckState(Qt::Checked);
    m_f->ui<IpAddressEdit>("startAddressEdit")->setText(u"10.0.0.1"_s);
    m_f->clickAndWait("startButton");
    QCOMPARE(m_f->lines(), QStringList{u"10.0.0.1\tone.example"_s});
    QCOMPARE(m_f->ui<QLineEdit>("logFileEdit")->text(), u"ipnums.txt"_s);
    QCOMPARE(readFile(m_f->path() + u"/ipnums.txt"_s), "10.0.0.1   one.example\r\n");
    QVERIFY(m_f->ui<QCheckBox>("namesCheck")->isEnabled());
    m_f->ui<QCheckBox>("namesCheck")->setChecked(false);
    m_f->ui<QRadioButton>("pingModeButton")->click();
    m_f->clickAndWait("startButton");
    QCOMPARE(m_f->ui<QListWidget>("resultList")->toolTip(), QString());
}

void TestMainWindow::stopThenStartOrResume_data()
{
    QTest::addColumn<int>("then"); // 0 Resume, 1 Tab onto Start, 2 click Start
    QTest::newRow("Resume continues the run") << 0;
    QTest::newRow("Tab onto Start, then Resume, is a fresh run") << 1;
    QTest::newRow("a click on Start is a fresh run") << 2;
}

void TestMainWindow::stopThenStartOrResume()
{
    QFETCH(int, then);
    m_f->store(u"Parallel"_s, u"1"_s);
    QVERIFY(m_f->open());
    m_f->ui<QCheckBox>("logEnabledCheck")->setChecked(false);
    answerAll(u"10.0.0.1"_s, u"10.0.2.255"_s);
    m_f->prober->delay = [](quint32) { return 5; };
    QSignalSpy finished(m_f->window.get(), &MainWindow::runFinished);
    connect(
        m_f->ui<QListWidget>("resultList")->model(), &QAbstractItemModel::rowsInserted, this,
        [this] {
            QTimer::singleShot(0, m_f->ui<QPushButton>("stopButton"), [this] {
                QTest::mouseClick(m_f->ui<QPushButton>("stopButton"), Qt::LeftButton);
            });
        },
        Qt::SingleShotConnection);
    QTest::mouseClick(m_f->ui<QPushButton>("startButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    const QStringList before = m_f->lines();
    const QString resumeAt = m_f->ui<IpAddressEdit>("startAddressEdit")->text();
    QVERIFY(resumeAt != u"10.0.2.255"_s);
    m_f->ui<IpAddressEdit>("stopAddressEdit")->setText(resumeAt);

    if (then == 1) {
        m_f->ui<IpAddressEdit>("startAddressEdit")->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 5 && QApplication::focusWidget() != m_f->ui<QPushButton>("startButton");
             ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    m_f->clickAndWait(then == 2 ? "startButton" : "resumeButton");
    const QString last = resumeAt + u"\t12/05/26 03:26:08 pm"_s;
    QCOMPARE(m_f->lines(), then == 0 ? before + QStringList{last} : QStringList{last});
    QCOMPARE(m_f->ui<QLabel>("statusLabel")->text(),
             QString::number(m_f->lines().size()) + u" pinged IP Numbers"_s);
}

void TestMainWindow::failuresAreTold_data()
{
    QTest::addColumn<bool>("echoAvailable");
    QTest::addColumn<QString>("textPart");
    QTest::newRow("no echo requests") << false << u"echo requests are not allowed"_s;
    QTest::newRow("a log that cannot be written") << true << u"/dev/full"_s;
}

void TestMainWindow::failuresAreTold()
{
    QFETCH(bool, echoAvailable);
    QFETCH(QString, textPart);
    QVERIFY(m_f->open());
    m_f->prober->available = echoAvailable;
    answerAll(u"10.0.0.1"_s, u"10.0.0.2"_s);
    QVERIFY(m_f->ui<DirList>("folderTree")->setPath(u"/dev"_s));
    m_f->ui<QLineEdit>("logFileEdit")->setText(u"full"_s);
    DialogAnswerer answerer;
    QTest::mouseClick(m_f->ui<QPushButton>("startButton"), Qt::LeftButton);
    QTRY_COMPARE(answerer.seen().size(), 1);
    QVERIFY2(answerer.texts().at(0).contains(textPart), qPrintable(answerer.texts().at(0)));
    QCOMPARE(answerer.seen().at(0).title, u"Corvane"_s);
    QCOMPARE(answerer.seen().at(0).icon, QMessageBox::Warning);
    QVERIFY(answerer.seen().at(0).beeped);
    QVERIFY(!answerer.seen().at(0).waitCursor);
    QCOMPARE(m_f->lines().size(), echoAvailable ? 2 : 0);
    QVERIFY(!m_f->window->isRunning());
    QVERIFY(m_f->ui<QPushButton>("startButton")->isEnabled());
}

void TestMainWindow::closingDuringARunEndsItAndSavesOnce()
{
    m_f->store(u"Parallel"_s, u"1"_s);
    QVERIFY(m_f->open());
    answerAll(u"10.0.0.1"_s, u"10.0.2.255"_s);
    m_f->prober->delay = [](quint32) { return 5; };
    QSignalSpy finished(m_f->window.get(), &MainWindow::runFinished);
    QSignalSpy unloaded(m_f->window.get(), &MainWindow::unloaded);
    QTest::mouseClick(m_f->ui<QPushButton>("startButton"), Qt::LeftButton);
    QTRY_VERIFY(!m_f->lines().isEmpty());
    QVERIFY(m_f->window->close());
    QVERIFY(!m_f->window->isRunning());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(unloaded.count(), 1);
    const QString savedStart = MainWindowFixture::stored(u"Start"_s);
    QCOMPARE(savedStart, m_f->ui<IpAddressEdit>("startAddressEdit")->text());
    QVERIFY(savedStart != u"10.0.2.255"_s);
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
}

void TestMainWindow::copyPrintAndDoubleClickReadTheList()
{
    QVERIFY(m_f->open());
    answerAll(u"10.0.0.1"_s, u"10.0.0.2"_s);
    m_f->resolver->reverse.insert(u"10.0.0.1"_s, u"one.example"_s);
    m_f->ui<QCheckBox>("namesCheck")->setChecked(true);
    m_f->ui<QCheckBox>("logEnabledCheck")->setChecked(false);
    m_f->clickAndWait("startButton");

    QTest::mouseClick(m_f->ui<QPushButton>("copyButton"), Qt::LeftButton);
    const QString copied = QGuiApplication::clipboard()->text();
    QVERIFY2(copied.contains(u"10.0.0.1\tone.example\t12/05/26 03:26:08 pm\r\n10.0.0.2\t\t"_s),
             qPrintable(copied));
    QCOMPARE(m_f->ui<QLabel>("statusLabel")->text(),
             QString::number(copied.size()) + u" bytes copied to the clipboard."_s);
    // The printers of the machine that runs the tests are out of reach.
    QVERIFY2(QPrinterInfo::defaultPrinter().isNull(),
             qPrintable(QPrinterInfo::defaultPrinter().printerName()));
    QTest::mouseClick(m_f->ui<QPushButton>("printButton"), Qt::LeftButton);
    QCOMPARE(m_f->ui<QLabel>("statusLabel")->text(), u"Report printed."_s);

    auto *list = m_f->ui<QListWidget>("resultList");
    const QPoint onFirst(10, list->visualItemRect(list->item(0)).center().y());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onFirst);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onFirst);
    QTRY_COMPARE(readFile(m_f->browserRecord()), QByteArray("one.example\n"));
}

void TestMainWindow::escapeClosesFromAnyControl_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name :
         {"logFileEdit", "startAddressEdit", "listButton", "resultList", "overwriteCheck"})
        QTest::newRow(name) << QString::fromLatin1(name);
    QTest::newRow("Alt+E presses Exit") << QString();
}

void TestMainWindow::escapeClosesFromAnyControl()
{
    QFETCH(QString, name);
    QVERIFY(m_f->open());
    QSignalSpy unloaded(m_f->window.get(), &MainWindow::unloaded);
    if (!name.isEmpty())
        m_f->window->findChild<QWidget *>(name)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), name.isEmpty() ? Qt::Key_E : Qt::Key_Escape,
                    name.isEmpty() ? Qt::AltModifier : Qt::NoModifier);
    QTRY_COMPARE(unloaded.count(), 1);
    QVERIFY(!m_f->window->isVisible());
}

void TestMainWindow::buttonsOpenTheirWindows_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("List") << u"listButton"_s << QStringList{u"Corvane - IP Number List"_s};
    QTest::newRow("IP") << u"findAddressButton"_s << QStringList{u"Corvane"_s};
    QTest::newRow("Domain") << u"findNameButton"_s << QStringList{u"Corvane"_s};
    QTest::newRow("About") << u"aboutButton"_s
                           << QStringList{u"Corvane - About Box"_s, u"Corvane"_s};
}

void TestMainWindow::buttonsOpenTheirWindows()
{
    QFETCH(QString, button);
    QFETCH(QStringList, titles);
    QVERIFY(m_f->open());
    DialogAnswerer answerer({QMessageBox::Ok, QMessageBox::No});
    QStringList seen;
    QTimer closeList;
    connect(&closeList, &QTimer::timeout, this, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            dialog && !qobject_cast<QMessageBox *>(dialog) &&
            !qobject_cast<QInputDialog *>(dialog)) {
            seen.append(dialog->windowTitle());
            dialog->reject();
        }
    });
    closeList.start(50);
    QTest::mouseClick(m_f->window->findChild<QPushButton *>(button), Qt::LeftButton);
    for (const SeenDialog &dialog : answerer.seen())
        seen.append(dialog.title);
    QCOMPARE(seen, titles);
}

void TestMainWindow::endingWhileHiddenClosesLikeExit_data()
{
    QTest::addColumn<bool>("sessionEnds");
    QTest::newRow("tray menu Exit") << false;
    QTest::newRow("the session ends the program") << true;
}

void TestMainWindow::endingWhileHiddenClosesLikeExit()
{
    QFETCH(bool, sessionEnds);
    QVERIFY(m_f->open());
    QSignalSpy unloaded(m_f->window.get(), &MainWindow::unloaded);
    m_f->ui<IpAddressEdit>("startAddressEdit")->setText(u"127.0.0.7"_s);
    m_f->window->hide();
    if (sessionEnds) {
        // The session manager's last word (XSMP "Die") is a Quit event.
        QTimer::singleShot(0, qApp, [] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
        });
        QCOMPARE(QCoreApplication::exec(), 0);
    } else {
        m_f->window->desktopIntegration()->exitAction()->trigger();
    }
    QCOMPARE(unloaded.count(), 1);
    QCOMPARE(MainWindowFixture::stored(u"Start"_s), u"127.0.0.7"_s);
}

void TestMainWindow::minimisingWithoutTrayKeepsTheWindowBack()
{
    QVERIFY(m_f->open());
    MainWindow *w = m_f->window.get();
    if (w->desktopIntegration()->minimiseHidesWindow())
        QSKIP("this desktop has a tray");
    // Centred when first shown, and again when back, wherever it was moved.
    QTest::qWait(50);
    const QPoint centred = w->pos();
    w->move(centred + QPoint(37, 23));
    w->showMinimized();
    QTRY_VERIFY(w->isMinimized());
    QTest::qWait(50);
    QVERIFY2(w->isVisible(), "without a tray a hidden window could not come back");
    w->desktopIntegration()->handleTrayMessage(DesktopIntegration::kLeftButtonUp);
    QTRY_VERIFY(!w->isMinimized());
    QTRY_COMPARE(w->pos(), centred);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
