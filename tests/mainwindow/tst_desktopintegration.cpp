#include "desktopintegration.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

// The tray icon's clicks come from the desktop; here the icon's own
// activated() signal stands in for them.
class TestDesktopIntegration : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void iconAndToolTip();
    void menuItems();
    void menuItemsAskTheWindow();
    void trayEventsWhileShownDoNothing_data();
    void trayEventsWhileShownDoNothing();
    void trayEventsWhileMinimised_data();
    void trayEventsWhileMinimised();
    void messagesOtherThanTheThreeDoNothing_data();
    void messagesOtherThanTheThreeDoNothing();
    void withoutTrayTheWindowStaysMinimised();

private:
    void activate(QSystemTrayIcon::ActivationReason reason);

    QWidget *m_window = nullptr;
    DesktopIntegration *m_desktop = nullptr;
};

void TestDesktopIntegration::init()
{
    m_window = new QWidget;
    m_window->resize(200, 100);
    m_desktop = new DesktopIntegration(m_window, m_window);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestDesktopIntegration::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestDesktopIntegration::activate(QSystemTrayIcon::ActivationReason reason)
{
    auto *tray = m_desktop->findChild<QSystemTrayIcon *>();
    QVERIFY(tray);
    emit tray->activated(reason);
}

void TestDesktopIntegration::iconAndToolTip()
{
    QCOMPARE(m_desktop->toolTip(), u" Corvane "_s);
    auto *tray = m_desktop->findChild<QSystemTrayIcon *>();
    QVERIFY(tray);
    QCOMPARE(tray->toolTip(), u" Corvane "_s);
    QVERIFY(tray->contextMenu() == nullptr);

    const QList<QSize> sizes = m_desktop->icon().availableSizes();
    QVERIFY(sizes.contains(QSize(32, 32)));
    QVERIFY(sizes.contains(QSize(16, 16)));
    for (const int size : {16, 32}) {
        const QImage image = m_desktop->icon().pixmap(size, size).toImage();
        // Drawn, not empty: the middle is opaque, a corner is clear.
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    }
    QCOMPARE(tray->icon().availableSizes(), sizes);
}

void TestDesktopIntegration::menuItems()
{
    QMenu *menu = m_desktop->menu();
    QCOMPARE(menu->objectName(), u"mnu_1"_s);
    QCOMPARE(menu->title(), u"&Options"_s);
    const QList<QAction *> actions = menu->actions();
    QCOMPARE(actions.size(), 2);
    QCOMPARE(actions.at(0), m_desktop->restoreAction());
    QCOMPARE(actions.at(0)->objectName(), u"mPopRestore"_s);
    QCOMPARE(actions.at(0)->text(), u"&Restore"_s);
    QCOMPARE(actions.at(1), m_desktop->exitAction());
    QCOMPARE(actions.at(1)->objectName(), u"mPopExit"_s);
    QCOMPARE(actions.at(1)->text(), u"&Exit"_s);
    QVERIFY(!menu->isVisible());
}

void TestDesktopIntegration::menuItemsAskTheWindow()
{
    QSignalSpy restore(m_desktop, &DesktopIntegration::restoreRequested);
    QSignalSpy exit(m_desktop, &DesktopIntegration::exitRequested);
    m_desktop->restoreAction()->trigger();
    QCOMPARE(restore.size(), 1);
    QCOMPARE(exit.size(), 0);
    m_desktop->exitAction()->trigger();
    QCOMPARE(restore.size(), 1);
    QCOMPARE(exit.size(), 1);
}

void TestDesktopIntegration::trayEventsWhileShownDoNothing_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::newRow("left click") << QSystemTrayIcon::Trigger;
    QTest::newRow("double-click") << QSystemTrayIcon::DoubleClick;
    QTest::newRow("right click") << QSystemTrayIcon::Context;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick;
}

void TestDesktopIntegration::trayEventsWhileShownDoNothing()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QSignalSpy restore(m_desktop, &DesktopIntegration::restoreRequested);
    QSignalSpy exit(m_desktop, &DesktopIntegration::exitRequested);
    activate(reason);
    QCoreApplication::processEvents();
    QCOMPARE(restore.size(), 0);
    QCOMPARE(exit.size(), 0);
    QVERIFY(!m_desktop->menu()->isVisible());
    QVERIFY(m_window->isVisible());
}

void TestDesktopIntegration::trayEventsWhileMinimised_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("restores");
    QTest::addColumn<bool>("menuShown");
    QTest::newRow("left click") << QSystemTrayIcon::Trigger << true << 1 << false;
    QTest::newRow("double-click") << QSystemTrayIcon::DoubleClick << true << 1 << false;
    QTest::newRow("right click opens the menu") << QSystemTrayIcon::Context << true << 0 << true;
    QTest::newRow("middle click") << QSystemTrayIcon::MiddleClick << true << 0 << false;
    QTest::newRow("left click, minimised but shown")
        << QSystemTrayIcon::Trigger << false << 1 << false;
}

void TestDesktopIntegration::trayEventsWhileMinimised()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, hidden);
    QFETCH(int, restores);
    QFETCH(bool, menuShown);
    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    if (hidden)
        m_window->hide();

    QSignalSpy restore(m_desktop, &DesktopIntegration::restoreRequested);
    QSignalSpy exit(m_desktop, &DesktopIntegration::exitRequested);
    activate(reason);
    QCOMPARE(restore.size(), restores);
    QCOMPARE(exit.size(), 0);
    QCOMPARE(m_desktop->menu()->isVisible(), menuShown);
    // The tray only asks; the window stays as it was until it acts.
    QCOMPARE(m_window->isHidden(), hidden);
    QVERIFY(m_window->isMinimized());

    if (menuShown) {
        m_desktop->menu()->close();
        activate(QSystemTrayIcon::Context);
        QVERIFY(m_desktop->menu()->isVisible());
        m_desktop->exitAction()->trigger();
        QCOMPARE(exit.size(), 1);
    }
}

void TestDesktopIntegration::messagesOtherThanTheThreeDoNothing_data()
{
    QTest::addColumn<int>("message");
    for (const int message : {0, 512, 513, 516, 520})
        QTest::addRow("message %d", message) << message;
}

void TestDesktopIntegration::messagesOtherThanTheThreeDoNothing()
{
    QFETCH(int, message);
    m_window->showMinimized();
    QTRY_VERIFY(m_window->isMinimized());
    m_window->hide();
    QSignalSpy restore(m_desktop, &DesktopIntegration::restoreRequested);
    m_desktop->handleTrayMessage(message);
    QCOMPARE(restore.size(), 0);
    QVERIFY(!m_desktop->menu()->isVisible());

    m_desktop->handleTrayMessage(DesktopIntegration::kLeftButtonUp);
    QCOMPARE(restore.size(), 1);
}

void TestDesktopIntegration::withoutTrayTheWindowStaysMinimised()
{
    // The offscreen platform has no notification area.
    QVERIFY(!m_desktop->isTrayAvailable());
    m_desktop->showTrayIcon();
    QVERIFY(!m_desktop->minimiseHidesWindow());
    m_desktop->removeTrayIcon();
    QVERIFY(!m_desktop->isTrayIconShown());
    QVERIFY(!m_desktop->minimiseHidesWindow());
}

QTEST_MAIN(TestDesktopIntegration)
#include "tst_desktopintegration.moc"
