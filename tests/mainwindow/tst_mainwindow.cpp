// The main window through its real controls, the keyboard and the mouse. The
// rules of a run are tested in tst_scansession, the settings values in tst_mainwindowparts.

#include "desktopintegration.h"
#include "dialoganswerer.h"
#include "drivelist.h"
#include "mainwindowfixture.h"
#include "mainwindowrules.h"

#include <QAction>
#include <QClipboard>
#include <QInputDialog>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QStorageInfo>
#include <QTimer>

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
    void endingClosesLikeExit_data();
    void endingClosesLikeExit();
    void minimisingWithoutTrayKeepsTheWindowBack();

private:
    std::unique_ptr<MainWindowFixture> m_f;
};

void TestMainWindow::startUpRestoresAndCloseSaves_data()
{
    QTest::addColumn<QStringList>("stored"); // key, value, key, value ...
    QTest::addColumn<QStringList>("shown");  // start, stop, file, folder
    QTest::addColumn<QList<int>>("boxes");   // Enabled, Overwrite check states
    const QString home = QDir::homePath(), temp = QDir::tempPath();
    const QStringList defaults{u"0.0.0.0"_s, u"255.255.255.255"_s, u"ipnums.txt"_s};
    const QList<int> ticked{Qt::Checked, Qt::Checked};
    QTest::newRow("an empty store gives the defaults")
        << QStringList() << defaults + QStringList{home} << ticked;
    QTest::newRow("stored texts unchanged, a greyed and an unchecked box")
        << QString(u"Start|010.000.001.254|Stop|10.0.2.255|File||Path|"_s + temp +
                   u"|Enabled|2|Overwrite| 0 "_s)
               .split(u'|')
        << QStringList{u"010.000.001.254"_s, u"10.0.2.255"_s, QString(), temp}
        << QList<int>{Qt::PartiallyChecked, Qt::Unchecked};
    // A folder that is gone leaves the list at the root of its drive.
    QTest::newRow("a deleted folder and texts a box cannot take")
        << QStringList{u"Path"_s, home + u"/gone"_s, u"Enabled"_s, u"abc"_s, u"Overwrite"_s, u"5"_s}
        << defaults + QStringList{QStorageInfo(home).rootPath()} << ticked;
}

void TestMainWindow::startUpRestoresAndCloseSaves()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, shown);
    QFETCH(QList<int>, boxes);
    for (qsizetype i = 0; i + 1 < stored.size(); i += 2)
        m_f->store(stored.at(i), stored.at(i + 1));
    QVERIFY(m_f->open());
    MainWindow *w = m_f->window.get();
    auto *enabled = m_f->ui<QCheckBox>("logEnabledCheck");
    auto *overwrite = m_f->ui<QCheckBox>("overwriteCheck");
    QCOMPARE((QStringList{m_f->ui<IpAddressEdit>("startAddressEdit")->text(),
                          m_f->ui<IpAddressEdit>("stopAddressEdit")->text(),
                          m_f->ui<QLineEdit>("logFileEdit")->text(),
                          m_f->ui<DirList>("folderTree")->path()}),
             shown);
    QCOMPARE(m_f->ui<DriveList>("driveCombo")->drive(), QStorageInfo(shown.at(3)).rootPath());
    QCOMPARE((QList<int>{enabled->checkState(), overwrite->checkState()}), boxes);
    QCOMPARE(w->windowTitle(), windowCaption(IpAddressEdit::ownIpNumber()));
    QVERIFY(w->desktopIntegration()->isTrayIconShown());
    QVERIFY(m_f->ui<IpAddressEdit>("startAddressEdit")->isAncestorOf(QApplication::focusWidget()));
    for (const char *off : {"stopButton", "resumeButton", "copyButton", "printButton"})
        QVERIFY2(!m_f->ui(off)->isEnabled(), off);
    QVERIFY(m_f->ui<QRadioButton>("pingModeButton")->isChecked());
    QCOMPARE(MainWindowFixture::stored(u"Start"_s),
             stored.contains(u"Start"_s) ? shown.at(0) : u"<missing>"_s);
    // A greyed box turns two-state once clicked.
    if (boxes.at(0) == Qt::PartiallyChecked)
        QTest::mouseClick(enabled, Qt::LeftButton);
    QCOMPARE(enabled->checkState(), Qt::Checked);
    QVERIFY(!enabled->isTristate());
    QSignalSpy closed(w, &MainWindow::unloaded);
    QVERIFY(w->close());
    w->close(); // the close sequence runs once, however often the window is closed
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
    QCOMPARE(answerer.seen().at(0).title, u"Corvane"_s);
    QCOMPARE(answerer.seen().at(0).icon, QMessageBox::Warning);
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
    QVERIFY(m_f->ui<DirList>("folderTree")->setPath(m_f->path()));
    m_f->ui<QLineEdit>("logFileEdit")->setText(u" "_s);
    m_f->ui<QCheckBox>("logEnabledCheck")->setCheckState(Qt::PartiallyChecked);
    m_f->ui<QCheckBox>("namesCheck")->setChecked(true);
    auto *list = m_f->ui<QListView>("resultList");

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
    QVERIFY(m_f->run());
    QCOMPARE(enabledDuring.join(u' '),
             u"startLabel stopLabel stopButton resultList statusLabel mnu_1"_s);
    QCOMPARE(focusDuring, m_f->ui("stopButton"));
    // A greyed "Enabled" is not ticked: no log, and the blank name stays.
    QCOMPARE(m_f->ui<QLineEdit>("logFileEdit")->text(), u" "_s);
    QVERIFY(!QFile::exists(m_f->path() + u"/ipnums.txt"_s));
    const QStringList three = pingLines({u"10.0.0.1"_s, u"10.0.0.2"_s, u"10.0.0.3"_s},
                                        {QString(), u"two.example"_s, QString()});
    QCOMPARE(m_f->lines(), three);
    QCOMPARE(list->currentIndex().row(), 2);
    QCOMPARE(m_f->counter(), u"3 pinged IP Numbers"_s);
    QCOMPARE(list->toolTip(), u" Double-click on domain to load "_s);
    QCOMPARE(m_f->ui<IpAddressEdit>("startAddressEdit")->text(), u"10.0.0.3"_s);
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

    // A full list starts anew with the line that did not fit.
    m_f->window->setResultListCapacity(2);
    m_f->ui<IpAddressEdit>("startAddressEdit")->setText(u"10.0.0.1"_s);
    QVERIFY(m_f->run());
    QCOMPARE(m_f->lines(), QStringList{u"10.0.0.3\t\t"_s + kStamp});
    QCOMPARE(m_f->counter(), u"1 pinged IP Numbers"_s);
    QCOMPARE(list->currentIndex().row(), 0);

    // Get Domain ticks and locks "Domain Name"; a run's end unlocks it. A
    // ticked "Enabled" with a blank name logs to the default name.
    m_f->ui<QRadioButton>("domainModeButton")->click();
    QVERIFY(!m_f->ui<QCheckBox>("namesCheck")->isEnabled());
    m_f->ui<QCheckBox>("logEnabledCheck")->setCheckState(Qt::Checked);
    m_f->ui<IpAddressEdit>("startAddressEdit")->setText(u"10.0.0.1"_s);
    QVERIFY(m_f->run());
    QCOMPARE(m_f->lines(), QStringList{u"10.0.0.2\ttwo.example"_s});
    QCOMPARE(m_f->ui<QLineEdit>("logFileEdit")->text(), u"ipnums.txt"_s);
    QCOMPARE(readFile(m_f->path() + u"/ipnums.txt"_s), "10.0.0.2   two.example\r\n");
    QVERIFY(m_f->ui<QCheckBox>("namesCheck")->isEnabled());
    m_f->ui<QCheckBox>("namesCheck")->setChecked(false);
    m_f->ui<QRadioButton>("pingModeButton")->click();
    QVERIFY(m_f->run());
    QCOMPARE(list->toolTip(), QString());
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
    connect(
        m_f->ui<QListView>("resultList")->model(), &QAbstractItemModel::rowsInserted, this,
        [this] {
            QTimer::singleShot(0, m_f->ui("stopButton"), [this] {
                QTest::mouseClick(m_f->ui("stopButton"), Qt::LeftButton);
            });
        },
        Qt::SingleShotConnection);
    QVERIFY(m_f->run());
    const QStringList before = m_f->lines();
    const QString resumeAt = m_f->ui<IpAddressEdit>("startAddressEdit")->text();
    QVERIFY(resumeAt != u"10.0.2.255"_s);
    m_f->ui<IpAddressEdit>("stopAddressEdit")->setText(resumeAt);
    if (then == 1) {
        m_f->ui<IpAddressEdit>("startAddressEdit")->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 5 && QApplication::focusWidget() != m_f->ui("startButton"); ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QVERIFY(m_f->run(then == 2 ? "startButton" : "resumeButton"));
    const QStringList last = pingLines({resumeAt});
    QCOMPARE(m_f->lines(), then == 0 ? before + last : last);
    QCOMPARE(m_f->counter(), QString::number(m_f->lines().size()) + u" pinged IP Numbers"_s);
}

void TestMainWindow::keysAndButtons_data()
{
    QTest::addColumn<QString>("focus");      // the control with the focus; empty: Alt+E
    QTest::addColumn<QStringList>("titles"); // of the windows the button opens
    for (const char *name : {"logFileEdit", "startAddressEdit", "resultList"})
        QTest::addRow("Esc on %s closes", name) << QString::fromLatin1(name) << QStringList();
    QTest::newRow("Alt+E presses Exit") << QString() << QStringList();
    QTest::newRow("List") << u"listButton"_s << QStringList{u"Corvane - IP Number List"_s};
    QTest::newRow("IP") << u"findAddressButton"_s << QStringList{u"Corvane"_s};
    QTest::newRow("Domain") << u"findNameButton"_s << QStringList{u"Corvane"_s};
    QTest::newRow("About") << u"aboutButton"_s
                           << QStringList{u"Corvane - About Box"_s, u"Corvane"_s};
}

void TestMainWindow::keysAndButtons()
{
    QFETCH(QString, focus);
    QFETCH(QStringList, titles);
    QVERIFY(m_f->open());
    QSignalSpy unloaded(m_f->window.get(), &MainWindow::unloaded);
    if (titles.isEmpty()) {
        if (!focus.isEmpty())
            m_f->window->findChild<QWidget *>(focus)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), focus.isEmpty() ? Qt::Key_E : Qt::Key_Escape,
                        focus.isEmpty() ? Qt::AltModifier : Qt::NoModifier);
        QTRY_COMPARE(unloaded.count(), 1);
        QVERIFY(!m_f->window->isVisible());
        return;
    }
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
    QTest::mouseClick(m_f->window->findChild<QPushButton *>(focus), Qt::LeftButton);
    for (const SeenDialog &dialog : answerer.seen())
        seen.append(dialog.title);
    QCOMPARE(seen, titles);
    QCOMPARE(unloaded.count(), 0);
}

void TestMainWindow::endingClosesLikeExit_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("tray menu Exit while hidden") << 0;
    QTest::newRow("the session ends the program while hidden") << 1;
    QTest::newRow("closing during a run ends it and saves once") << 2;
}

void TestMainWindow::endingClosesLikeExit()
{
    QFETCH(int, how);
    m_f->store(u"Parallel"_s, u"1"_s);
    QVERIFY(m_f->open());
    QSignalSpy finished(m_f->window.get(), &MainWindow::runFinished);
    QSignalSpy unloaded(m_f->window.get(), &MainWindow::unloaded);
    m_f->ui<IpAddressEdit>("startAddressEdit")->setText(u"127.0.0.7"_s);
    if (how == 2) {
        m_f->answerAll(u"10.0.0.1"_s, u"10.0.2.255"_s);
        m_f->prober->delay = [](quint32) { return 5; };
        QTest::mouseClick(m_f->ui("startButton"), Qt::LeftButton);
        QTRY_VERIFY(!m_f->lines().isEmpty());
        QVERIFY(m_f->window->close());
        QVERIFY(!m_f->window->isRunning());
        QTest::qWait(100); // nothing of the run comes after
    } else if (m_f->window->hide(); how == 1) {
        // The session manager's last word (XSMP "Die") is a Quit event.
        QTimer::singleShot(0, qApp, [] {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
        });
        QCOMPARE(QCoreApplication::exec(), 0);
    } else {
        m_f->window->desktopIntegration()->exitAction()->trigger();
    }
    QCOMPARE(finished.count(), how == 2 ? 1 : 0);
    QCOMPARE(unloaded.count(), 1);
    const QString saved = MainWindowFixture::stored(u"Start"_s);
    QCOMPARE(saved, m_f->ui<IpAddressEdit>("startAddressEdit")->text());
    QVERIFY(saved != (how == 2 ? u"10.0.2.255"_s : u"0.0.0.0"_s));
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
