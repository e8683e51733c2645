// The main window through its real controls, the keyboard and the mouse: what
// reaches the user. The rules of a run are tested in tst_scansession, the stored
// values in tst_settingsandfolders, the reports in tst_report.

#include "desktopintegration.h"
#include "dialoganswerer.h"
#include "drivelist.h"
#include "mainwindowfixture.h"
#include "mainwindowrules.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTimer>

const std::pair kWarning{u"Corvane"_s, QMessageBox::Warning};

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { m_f = std::make_unique<MainWindowFixture>(); }
    void init() { m_f->reset(); }
    void cleanup()
    {
        m_f->window.reset();
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void startUpRestoresAndCloseSaves_data();
    void startUpRestoresAndCloseSaves();
    void failedNetworkCheckEndsBeforeAnything();
    void runShowsOnTheControls();
    void stopThenStartOrResume_data();
    void stopThenStartOrResume();
    void keysAndButtons_data();
    void keysAndButtons();
    void quitDuringARunWhileHiddenCloses();
    void minimisingWithoutTrayKeepsTheWindowBack();

private:
    IpAddressEdit *startField() const { return m_f->ui<IpAddressEdit>("startAddressEdit"); }
    std::unique_ptr<MainWindowFixture> m_f;
};

void TestMainWindow::startUpRestoresAndCloseSaves_data()
{
    QTest::addColumn<QString>("stored");    // key|value|key|value ...
    QTest::addColumn<QStringList>("shown"); // start, stop, file, folder; saved back at close
    QTest::addColumn<QList<int>>("boxes");  // Enabled, Overwrite check states
    const QString home = QDir::homePath(), temp = QDir::tempPath();
    const QStringList defaults{u"0.0.0.0"_s, u"255.255.255.255"_s, u"ipnums.txt"_s};
    const QList<int> ticked{Qt::Checked, Qt::Checked};
    QTest::newRow("an empty store gives the defaults")
        << QString() << defaults + QStringList{home} << ticked;
    QTest::newRow("stored texts unchanged, a greyed and an unchecked box")
        << u"Start|010.000.001.254|Stop|10.0.2.255|File||Enabled|2|Overwrite| 0 |Path|"_s + temp
        << QStringList{u"010.000.001.254"_s, u"10.0.2.255"_s, QString(), temp}
        << QList<int>{Qt::PartiallyChecked, Qt::Unchecked};
    QTest::newRow("a deleted folder: the root of its drive; box texts that are no state")
        << u"Path|%1/gone|Enabled|abc|Overwrite|5"_s.arg(home)
        << defaults + QStringList{QStorageInfo(home).rootPath()} << ticked;
}

void TestMainWindow::startUpRestoresAndCloseSaves()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, shown);
    QFETCH(QList<int>, boxes);
    const QStringList keyValues = stored.split(u'|');
    for (qsizetype i = 0; i + 1 < keyValues.size(); i += 2)
        m_f->store(keyValues.at(i), keyValues.at(i + 1));
    QVERIFY(m_f->open());
    MainWindow *w = m_f->window.get();
    auto *enabled = m_f->ui<QCheckBox>("logEnabledCheck");
    QCOMPARE((QStringList{startField()->text(), m_f->ui<IpAddressEdit>("stopAddressEdit")->text(),
                          m_f->ui<QLineEdit>("logFileEdit")->text(),
                          m_f->ui<DirList>("folderTree")->path()}),
             shown);
    QCOMPARE(m_f->ui<DriveList>("driveCombo")->drive(), QStorageInfo(shown.at(3)).rootPath());
    QCOMPARE(
        (QList<int>{enabled->checkState(), m_f->ui<QCheckBox>("overwriteCheck")->checkState()}),
        boxes);
    QCOMPARE(w->windowTitle(), windowCaption(IpAddressEdit::ownIpNumber()));
    QVERIFY(w->desktopIntegration()->isTrayIconShown());
    QVERIFY(startField()->isAncestorOf(QApplication::focusWidget()));
    for (const char *off : {"stopButton", "resumeButton", "copyButton", "printButton"})
        QVERIFY2(!m_f->ui(off)->isEnabled(), off);
    QVERIFY(m_f->ui<QRadioButton>("pingModeButton")->isChecked());
    QCOMPARE(MainWindowFixture::stored(u"Start"_s), // nothing is written at start-up
             stored.startsWith(u"Start"_s) ? shown.at(0) : u"<missing>"_s);
    // A greyed box turns two-state once clicked.
    if (boxes.at(0) == Qt::PartiallyChecked)
        QTest::mouseClick(enabled, Qt::LeftButton);
    QCOMPARE(enabled->checkState(), Qt::Checked);
    QVERIFY(!enabled->isTristate());
    QSignalSpy closed(w, &MainWindow::unloaded);
    QVERIFY(w->close());
    QCloseEvent again; // the close sequence runs once, however often the window is closed
    QCoreApplication::sendEvent(w, &again);
    QCOMPARE(closed.count(), 1);
    QVERIFY(!w->desktopIntegration()->isTrayIconShown());
    QStringList saved;
    for (const char *key : {"Start", "Stop", "File", "Path", "Enabled", "Overwrite"})
        saved.append(MainWindowFixture::stored(QString::fromLatin1(key)));
    QCOMPARE(saved, shown + QStringList({u"1"_s, boxes[1] == Qt::Unchecked ? u"0"_s : u"1"_s}));
}

void TestMainWindow::failedNetworkCheckEndsBeforeAnything()
{
    m_f->resolver->forward.clear();
    DialogAnswerer answerer;
    QVERIFY(!m_f->open());
    QCOMPARE(answerer.texts(),
             QStringList{u"You must connect to the internet before using Corvane."_s});
    QCOMPARE(std::pair(answerer.seen().at(0).title, answerer.seen().at(0).icon), kWarning);
    QVERIFY(!m_f->window->isVisible());
    QVERIFY(!m_f->window->desktopIntegration()->isTrayIconShown());
    m_f->window->close();
    QVERIFY(!QFile::exists(QSettingsStore::fileName(u"Corvane"_s)));
}

void TestMainWindow::runShowsOnTheControls()
{
    QVERIFY(m_f->open());
    m_f->answerAll(u"10.0.0.1"_s, u"10.0.0.3"_s);
    m_f->resolver->reverse.insert(u"10.0.0.2"_s, u"two.example"_s);
    m_f->prober->delay = [](quint32) { return 30; };
    const QString logs = m_f->path() + u"/logs"_s, log = logs + u"/ipnums.txt"_s;
    QVERIFY(QDir().mkpath(logs) && m_f->ui<DirList>("folderTree")->setPath(logs));
    m_f->ui<QLineEdit>("logFileEdit")->setText(u" "_s);
    m_f->ui<QCheckBox>("logEnabledCheck")->setCheckState(Qt::PartiallyChecked);
    m_f->ui<QCheckBox>("namesCheck")->setChecked(true);
    auto *list = m_f->ui<QListView>("resultList");

    QStringList enabledDuring;
    QWidget *focusDuring = nullptr;
    connect(startField(), &IpAddressEdit::textChanged, this, [&] {
        if (!m_f->window->isRunning() || focusDuring)
            return;
        focusDuring = QApplication::focusWidget();
        QVERIFY(QApplication::overrideCursor()->shape() == Qt::WaitCursor);
        for (QWidget *w : m_f->window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            if (w->isEnabled())
                enabledDuring.append(w->objectName());
    });
    QVERIFY(m_f->run());
    QCOMPARE(enabledDuring.join(u' '),
             u"startLabel stopLabel stopButton resultList statusLabel mnu_1"_s);
    QCOMPARE(focusDuring, m_f->ui("stopButton"));
    // A greyed "Enabled" is not ticked: no log, and the blank name stays.
    QCOMPARE(m_f->ui<QLineEdit>("logFileEdit")->text(), u" "_s);
    QVERIFY(!QFile::exists(log));
    const QStringList three = pingLines({u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.3"_s},
                                        {QString(), u"two.example"_s, QString()});
    QCOMPARE(m_f->lines(), three);
    QCOMPARE(list->currentIndex().row(), 2);
    QCOMPARE(m_f->counter(), u"3 pinged IP Numbers"_s);
    QCOMPARE(list->toolTip(), u" Double-click on domain to load "_s);
    QCOMPARE(startField()->text(), u"10.0.0.3"_s);
    for (QWidget *w : m_f->window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        QCOMPARE(w->isEnabled(), w != m_f->ui("stopButton"));

    // Copy, Print and the double-click read the lines the list shows.
    QTest::mouseClick(m_f->ui("copyButton"), Qt::LeftButton);
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied,
             u"12/05/26 03:26 pm\r\n\r\n"_s + three.join(u"\r\n"_s) + u"\r\n\r\n3 IP Numbers"_s);
    QCOMPARE(m_f->counter(), QString::number(copied.size()) + u" bytes copied to the clipboard."_s);
    // The printers of the machine that runs the tests are out of reach.
    QVERIFY2(QPrinterInfo::defaultPrinter().isNull(),
             qPrintable(QPrinterInfo::defaultPrinter().printerName()));
    QTest::mouseClick(m_f->ui("printButton"), Qt::LeftButton);
    QCOMPARE(m_f->counter(), u"Report printed."_s);
    const QPoint onSecond(10, list->visualRect(list->model()->index(1, 0)).center().y());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onSecond);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onSecond);
    QTRY_COMPARE(readFile(m_f->browserRecord()), QByteArray("two.example\n"));

    // Get Domain ticks and locks "Domain Name"; a run's end unlocks it. A ticked
    // "Enabled" with a blank name logs to the default name, each line before it shows.
    m_f->ui<QRadioButton>("domainModeButton")->click();
    QVERIFY(!m_f->ui<QCheckBox>("namesCheck")->isEnabled());
    m_f->ui<QCheckBox>("logEnabledCheck")->setCheckState(Qt::Checked);
    startField()->setText(u"10.0.0.1"_s);
    QByteArray logWhenShown;
    connect(
        list->model(), &QAbstractItemModel::rowsInserted, this,
        [&] { logWhenShown = readFile(log); }, Qt::SingleShotConnection);
    QVERIFY(m_f->run());
    QCOMPARE(m_f->lines(), QStringList{u"10.0.0.2\ttwo.example"_s});
    QCOMPARE(m_f->ui<QLineEdit>("logFileEdit")->text(), u"ipnums.txt"_s);
    QCOMPARE(logWhenShown, "10.0.0.2   two.example\r\n");
    QVERIFY(m_f->ui<QCheckBox>("namesCheck")->isEnabled());

    // A log that fails is told once the run has ended, after the beep; the list is whole.
    QVERIFY(QDir(logs).removeRecursively());
    m_f->ui<QRadioButton>("pingModeButton")->click();
    startField()->setText(u"10.0.0.1"_s);
    DialogAnswerer told;
    QVERIFY(m_f->run());
    QTRY_COMPARE(told.texts(),
                 QStringList{u"The log file could not be written:\nCannot open "_s + log +
                             u": No such file or directory\n\nThe results of this "
                             u"run are in the result list."_s});
    QCOMPARE(std::pair(told.seen().at(0).title, told.seen().at(0).icon), kWarning);
    QVERIFY(told.seen().at(0).beeped && !told.seen().at(0).waitCursor);
    QVERIFY(!QFileInfo::exists(logs)); // a deleted folder is not made again
    QCOMPARE(m_f->lines(), three);
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
    m_f->answerAll(u"10.0.0.1"_s, u"10.0.2.255"_s);
    m_f->prober->delay = [](quint32) { return 5; };
    QAbstractButton *stop = m_f->ui("stopButton");
    connect(
        m_f->ui<QListView>("resultList")->model(), &QAbstractItemModel::rowsInserted, this,
        [stop] {
            QTimer::singleShot(0, stop, [stop] { QTest::mouseClick(stop, Qt::LeftButton); });
        },
        Qt::SingleShotConnection);
    QVERIFY(m_f->run());
    const QStringList before = m_f->lines();
    const QString resumeAt = startField()->text();
    QVERIFY(resumeAt != u"10.0.2.255"_s);
    m_f->ui<IpAddressEdit>("stopAddressEdit")->setText(resumeAt);
    if (then == 1) {
        startField()->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 5 && QApplication::focusWidget() != m_f->ui("startButton"); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QVERIFY(m_f->run(then == 2 ? "startButton" : "resumeButton"));
    const QStringList last = pingLines({resumeAt});
    QCOMPARE(m_f->lines(), then == 0 ? before + last : last);
}

void TestMainWindow::keysAndButtons_data()
{
    QTest::addColumn<QString>("control");   // with the focus for Esc, empty for Alt+E, else clicked
    QTest::addColumn<QStringList>("shown"); // a box's title, a prompt's text; empty: closes
    QTest::newRow("Esc closes") << u"logFileEdit"_s << QStringList();
    QTest::newRow("Alt+E presses Exit") << QString() << QStringList();
    QTest::newRow("List") << u"listButton"_s << QStringList{u"Corvane - IP Number List"_s};
    QTest::newRow("IP asks for a name")
        << u"findAddressButton"_s << QStringList{u"Enter domain name (example: example.com)"_s};
    QTest::newRow("Domain asks for a number")
        << u"findNameButton"_s << QStringList{u"Enter IP Number (example: 192.0.2.1)"_s};
    QTest::newRow("About") << u"aboutButton"_s
                           << QStringList{u"Corvane - About Box"_s, u"Corvane"_s};
}

void TestMainWindow::keysAndButtons()
{
    QFETCH(QString, control);
    QFETCH(QStringList, shown);
    QVERIFY(m_f->open());
    QSignalSpy unloaded(m_f->window.get(), &MainWindow::unloaded);
    if (shown.isEmpty()) {
        if (!control.isEmpty())
            m_f->window->findChild<QWidget *>(control)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), control.isEmpty() ? Qt::Key_E : Qt::Key_Escape,
                        control.isEmpty() ? Qt::AltModifier : Qt::NoModifier);
        QTRY_COMPARE(unloaded.count(), 1);
        return;
    }
    DialogAnswerer answerer({QMessageBox::Ok, QMessageBox::No});
    QStringList seen;
    QTimer closeList; // the IP Number List, which the answerer leaves alone
    connect(&closeList, &QTimer::timeout, this, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (dialog && dialog->inherits("IpListWindow")) {
            seen.append(dialog->windowTitle());
            dialog->reject();
        }
    });
    closeList.start(50);
    QTest::mouseClick(m_f->window->findChild<QPushButton *>(control), Qt::LeftButton);
    for (const SeenDialog &dialog : answerer.seen())
        seen.append(dialog.buttons ? dialog.title : dialog.text);
    QCOMPARE(seen, shown);
    QCOMPARE(unloaded.count(), 0);
}

// The session manager's last word (XSMP "Die") is a Quit event: the window,
// hidden in the tray, still ends its run and keeps where it got to.
void TestMainWindow::quitDuringARunWhileHiddenCloses()
{
    m_f->store(u"Parallel"_s, u"1"_s);
    QVERIFY(m_f->open());
    QSignalSpy finished(m_f->window.get(), &MainWindow::runFinished);
    QSignalSpy unloaded(m_f->window.get(), &MainWindow::unloaded);
    m_f->answerAll(u"10.0.0.1"_s, u"10.0.2.255"_s);
    m_f->prober->delay = [](quint32) { return 5; };
    QTest::mouseClick(m_f->ui("startButton"), Qt::LeftButton);
    QTRY_VERIFY(!m_f->lines().isEmpty());
    m_f->window->hide();
    QTimer::singleShot(0, qApp, [] {
        QEvent quit(QEvent::Quit);
        QCoreApplication::sendEvent(qApp, &quit);
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(unloaded.count(), 1);
    const QString saved = MainWindowFixture::stored(u"Start"_s);
    QCOMPARE(saved, startField()->text());
    QVERIFY(saved != u"10.0.0.1"_s && saved != u"10.0.2.255"_s);
}

void TestMainWindow::minimisingWithoutTrayKeepsTheWindowBack()
{
    QVERIFY(m_f->open());
    MainWindow *w = m_f->window.get();
    if (w->desktopIntegration()->minimiseHidesWindow())
        QSKIP("this desktop has a tray");
    // Centred when first shown, and again when back, wherever it was moved.
    const QPoint centred = w->pos();
    w->move(centred + QPoint(37, 23));
    w->showMinimized();
    QTRY_VERIFY(w->isMinimized());
    QTest::qWait(50); // without a tray a hidden window could not come back
    QVERIFY(w->isVisible());
    w->desktopIntegration()->handleTrayMessage(DesktopIntegration::kLeftButtonUp);
    QTRY_VERIFY(!w->isMinimized());
    QTRY_COMPARE(w->pos(), centred);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
