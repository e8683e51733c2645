#include "centreonscreen.h"
#include "dragbybody.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

// A window with a label and a frame that drag and centre it, and controls
// that must not. The tray itself is driven under a real tray in tests/e2e.
class TestWindowBehaviour : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void body_data();
    void body();

private:
    QWidget m_window;
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
    QTest::newRow("right button") << u"background"_s << Qt::RightButton << 40 << false << false;
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

QTEST_MAIN(TestWindowBehaviour)
#include "tst_windowbehaviour.moc"
