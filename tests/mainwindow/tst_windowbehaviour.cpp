#include "centreonscreen.h"
#include "centring.h"
#include "desktopintegration.h"
#include "dragbybody.h"

#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <cmath>

using namespace Qt::StringLiterals;

// ctest runs this on an X display of its own; by hand it runs offscreen. Never on
// the session's bus, whose notifier service would count as a tray.
[[maybe_unused]] static const bool kOwnScreen =
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent") &&
    (qEnvironmentVariableIsSet("CORVANE_OWN_DISPLAY") || qputenv("QT_QPA_PLATFORM", "offscreen"));

// A window with a label and a frame that drag it, and controls that must not.
class TestWindowBehaviour : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void centring_data();
    void centring();
    void body_data();
    void body();
    void trayEvents_data();
    void trayEvents();
    void minimiseHidesOnlyIntoATray();

private:
    QWidget m_window;
    DesktopIntegration *m_desktop = new DesktopIntegration(&m_window, &m_window);
};

void TestWindowBehaviour::initTestCase()
{
    const auto part = [](QWidget *widget, const QString &name, const QRect &where) {
        widget->setObjectName(name);
        widget->setGeometry(where);
        return widget;
    };
    QWidget *frame = part(new QGroupBox(u"Log File"_s, &m_window), u"frame"_s, {200, 10, 180, 150});
    part(new QCheckBox(u"Enabled"_s, frame), u"check box in the frame"_s, {10, 30, 160, 20});
    part(new QPushButton(u"&Start"_s, &m_window), u"button"_s, {10, 40, 80, 25});
    part(new QPushButton(u"S&top"_s, &m_window), u"disabled button"_s, {100, 40, 80, 25})
        ->setEnabled(false);
    auto *drag = new DragByBody(&m_window);
    for (QWidget *area :
         {&m_window, frame,
          part(new QLabel(u"Start IP"_s, &m_window), u"label"_s, {10, 10, 120, 20})})
        drag->watch(area);
    m_window.setGeometry(40, 50, 400, 300);
    m_window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_window));
}

void TestWindowBehaviour::centring_data()
{
    QTest::addColumn<QSizeF>("screen");
    QTest::addColumn<QSizeF>("window");
    QTest::addColumn<QPointF>("position");
    QTest::newRow("1024 x 768 in twips")
        << QSizeF(15360, 11520) << QSizeF(6660, 5490) << QPointF(4350, 2713.5);
    QTest::newRow("1024 x 768") << QSizeF(1024, 768) << QSizeF(444, 366) << QPointF(290, 180.9);
    QTest::newRow("larger than the screen")
        << QSizeF(1024, 768) << QSizeF(1100, 800) << QPointF(-38, -14.4);
    // Left is worked in single precision (2^24 + 1 is no float), top in double.
    QTest::newRow("precisions") << QSizeF(16777217, 16777217) << QSizeF(0, 0)
                                << QPointF(8388608, 7549747.65);
}

// Rows of the screen's own size also centre a real window, to whole pixels down.
void TestWindowBehaviour::centring()
{
    QFETCH(QSizeF, screen);
    QFETCH(QSizeF, window);
    QFETCH(QPointF, position);
    const CentredPosition centred =
        centredPosition(screen.width(), screen.height(), window.width(), window.height());
    QCOMPARE(QPointF(centred.left, centred.top), position);
    if (screen != m_window.screen()->geometry().size())
        return;
    QWidget real;
    real.resize(window.toSize());
    real.show();
    QVERIFY(QTest::qWaitForWindowExposed(&real));
    centreOnScreen(new QWidget(&real)); // a child stands for its window
    QCOMPARE(real.frameGeometry().topLeft(),
             QPoint(int(std::floor(position.x())), int(std::floor(position.y()))));
    QCOMPARE(real.size(), window.toSize());
}

void TestWindowBehaviour::body_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("move");
    QTest::addColumn<bool>("drags");
    QTest::addColumn<bool>("centres");
    QTest::newRow("label") << u"label"_s << Qt::LeftButton << 40 << true << true;
    QTest::newRow("background") << u"background"_s << Qt::LeftButton << 40 << true << true;
    QTest::newRow("frame") << u"frame"_s << Qt::LeftButton << 40 << true << true;
    QTest::newRow("small move") << u"label"_s << Qt::LeftButton << 1 << false << true;
    QTest::newRow("right button") << u"label"_s << Qt::RightButton << 40 << false << false;
    QTest::newRow("middle button") << u"background"_s << Qt::MiddleButton << 40 << false << false;
    QTest::newRow("button") << u"button"_s << Qt::LeftButton << 40 << false << false;
    QTest::newRow("disabled button")
        << u"disabled button"_s << Qt::LeftButton << 40 << false << false;
    QTest::newRow("check box in the frame")
        << u"check box in the frame"_s << Qt::LeftButton << 40 << false << false;
}

// A press and a move, then a double-click, on one place of the window.
void TestWindowBehaviour::body()
{
    QFETCH(QString, place);
    QFETCH(Qt::MouseButton, button);
    QFETCH(int, move);
    QFETCH(bool, drags);
    QFETCH(bool, centres);
    auto *widget = place == u"background" ? &m_window : m_window.findChild<QWidget *>(place);
    // Beside a check box's text the press reaches the frame below it.
    const QPoint at = place == u"background" ? QPoint(100, 250) : QPoint(widget->width() - 10, 10);
    centreOnScreen(&m_window);
    const QPoint centred = m_window.pos();
    m_window.move(centred - QPoint(33, 21));
    const QPoint start = m_window.pos();
    QTest::mousePress(widget, button, {}, at);
    QTest::mouseMove(widget, at + QPoint(move, move));
    QTest::mouseRelease(widget, button, {}, at + QPoint(move, move));
    const QPoint moved = drags ? start + QPoint(move, move) : start;
    QCOMPARE(m_window.pos(), moved);
    QTest::mouseClick(widget, button, {}, at);
    QTest::mouseDClick(widget, button, {}, at);
    QCOMPARE(m_window.pos(), centres ? centred : moved);
}

void TestWindowBehaviour::trayEvents_data()
{
    QTest::addColumn<QSystemTrayIcon::ActivationReason>("reason");
    QTest::addColumn<bool>("minimised");
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<int>("restores");
    QTest::addColumn<bool>("menu");
    using Tray = QSystemTrayIcon;
    QTest::newRow("left click, shown") << Tray::Trigger << false << false << 0 << false;
    QTest::newRow("right click, shown") << Tray::Context << false << false << 0 << false;
    QTest::newRow("left click, in the tray") << Tray::Trigger << true << true << 1 << false;
    QTest::newRow("double-click, in the tray") << Tray::DoubleClick << true << true << 1 << false;
    QTest::newRow("right click, in the tray") << Tray::Context << true << true << 0 << true;
    QTest::newRow("middle click, in the tray") << Tray::MiddleClick << true << true << 0 << false;
    QTest::newRow("left click, minimised") << Tray::Trigger << true << false << 1 << false;
}

// The icon's clicks come from the desktop; its activated() signal stands in for them.
void TestWindowBehaviour::trayEvents()
{
    QFETCH(QSystemTrayIcon::ActivationReason, reason);
    QFETCH(bool, minimised);
    QFETCH(bool, hidden);
    QFETCH(int, restores);
    QFETCH(bool, menu);
    m_window.showNormal();
    if (minimised)
        m_window.showMinimized();
    m_window.setHidden(hidden);
    QSignalSpy restore(m_desktop, &DesktopIntegration::restoreRequested);
    QSignalSpy exit(m_desktop, &DesktopIntegration::exitRequested);
    emit m_desktop->findChild<QSystemTrayIcon *>()->activated(reason);
    QTRY_COMPARE(m_desktop->menu()->isVisible(), menu);
    QCOMPARE(m_window.isHidden(), hidden); // the window itself acts on the requests
    if (menu) {
        m_desktop->restoreAction()->trigger();
        m_desktop->exitAction()->trigger();
        m_desktop->menu()->close();
    }
    QCOMPARE(restore.size(), restores + int(menu));
    QCOMPARE(exit.size(), int(menu));
}

// Minimised, the window hides only where the tray icon can bring it back: a
// tray (trayer, started here) is there and no modal window holds its clicks.
void TestWindowBehaviour::minimiseHidesOnlyIntoATray()
{
    auto *tray = m_desktop->findChild<QSystemTrayIcon *>();
    QCOMPARE(tray->toolTip(), u" Corvane "_s);
    QCOMPARE(tray->icon().availableSizes(), (QList<QSize>{{32, 32}, {16, 16}}));
    const QImage face = tray->icon().pixmap(32).toImage(); // drawn: an opaque disc
    QVERIFY(qAlpha(face.pixel(16, 16)) == 255 && qAlpha(face.pixel(0, 0)) == 0);
    QStringList items{m_desktop->menu()->objectName()};
    for (const QAction *action : m_desktop->menu()->actions())
        items.append(action->objectName() + u' ' + action->text());
    QCOMPARE(items, (QStringList{u"mnu_1"_s, u"mPopRestore &Restore"_s, u"mPopExit &Exit"_s}));
    m_desktop->showTrayIcon();
    QVERIFY(!m_desktop->minimiseHidesWindow());
    if (QGuiApplication::platformName() != u"xcb")
        QSKIP("a tray needs an X display of the test's own (ctest runs it under Xvfb)");
    QProcess trayer;
    trayer.start(u"trayer"_s, {});
    QTRY_VERIFY_WITH_TIMEOUT(m_desktop->isTrayAvailable(), 20000);
    QTRY_VERIFY(m_desktop->minimiseHidesWindow());
    QDialog modal(&m_window);
    modal.setModal(true);
    modal.show();
    QVERIFY(!m_desktop->minimiseHidesWindow());
    modal.close();
    QVERIFY(m_desktop->minimiseHidesWindow());
    m_desktop->removeTrayIcon();
    QVERIFY(!m_desktop->minimiseHidesWindow());
    trayer.terminate();
    QVERIFY(trayer.waitForFinished());
}

QTEST_MAIN(TestWindowBehaviour)
#include "tst_windowbehaviour.moc"
