#include "centreonscreen.h"
#include "centring.h"
#include "dragbybody.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cmath>

using namespace Qt::StringLiterals;

// A window laid out like the main window's parts that matter here: labels
// and a frame that drag, and controls that must not.
class DragWindow : public QWidget
{
public:
    DragWindow()
    {
        setGeometry(40, 50, 400, 300);
        label = new QLabel(u"Start IP Number"_s, this);
        label->setGeometry(10, 10, 120, 20);
        frame = new QGroupBox(u"Log File"_s, this);
        frame->setGeometry(200, 10, 180, 150);
        inFrame = new QCheckBox(u"Enabled"_s, frame);
        inFrame->setGeometry(10, 30, 160, 20);
        button = new QPushButton(u"&Start"_s, this);
        button->setGeometry(10, 40, 80, 25);
        disabledButton = new QPushButton(u"S&top"_s, this);
        disabledButton->setGeometry(100, 40, 80, 25);
        disabledButton->setEnabled(false);
        checkBox = new QCheckBox(u"Domain Name"_s, this);
        checkBox->setGeometry(10, 80, 180, 20);
        field = new QFrame(this);
        field->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        field->setGeometry(10, 110, 150, 25);

        drag = new DragByBody(this);
        for (QWidget *area : std::initializer_list<QWidget *>{this, label, frame})
            drag->watch(area);
    }

    // Where a press lands for each named place, in that widget's coordinates.
    std::pair<QWidget *, QPoint> place(const QString &name)
    {
        if (name == u"label")
            return {label, QPoint(20, 10)};
        if (name == u"background")
            return {this, QPoint(100, 250)};
        if (name == u"frame")
            return {frame, QPoint(90, 120)};
        if (name == u"button")
            return {button, QPoint(40, 12)};
        if (name == u"disabled button")
            return {disabledButton, QPoint(40, 12)};
        if (name == u"check box beside its text")
            return {checkBox, QPoint(170, 10)};
        if (name == u"check box in the frame")
            return {inFrame, QPoint(150, 10)};
        if (name == u"field border")
            return {field, QPoint(0, 12)};
        return {nullptr, QPoint()};
    }

    QLabel *label;
    QGroupBox *frame;
    QCheckBox *inFrame;
    QPushButton *button;
    QPushButton *disabledButton;
    QCheckBox *checkBox;
    QFrame *field;
    DragByBody *drag;
};

class TestWindowBehaviour : public QObject
{
    Q_OBJECT

private slots:
    void centredPosition_data();
    void centredPosition();
    void centresOnScreen_data();
    void centresOnScreen();
    void dragging_data();
    void dragging();
    void smallMoveIsNoDrag();
    void doubleClickCentres_data();
    void doubleClickCentres();
};

void TestWindowBehaviour::centredPosition_data()
{
    QTest::addColumn<double>("screenWidth");
    QTest::addColumn<double>("screenHeight");
    QTest::addColumn<double>("windowWidth");
    QTest::addColumn<double>("windowHeight");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::newRow("1024 x 768 in twips")
        << 15360.0 << 11520.0 << 6660.0 << 5490.0 << 4350.0 << 2713.5;
    QTest::newRow("1024 x 768 in pixels") << 1024.0 << 768.0 << 444.0 << 366.0 << 290.0 << 180.9;
    QTest::newRow("half pixels are kept") << 1025.0 << 769.0 << 444.0 << 366.0 << 290.5 << 181.35;
    QTest::newRow("window as large as the screen")
        << 800.0 << 600.0 << 800.0 << 600.0 << 0.0 << 0.0;
    QTest::newRow("window larger than the screen")
        << 800.0 << 600.0 << 1000.0 << 700.0 << -100.0 << -45.0;
    // Left is worked in single precision: 2^24 + 1 is not a float.
    QTest::newRow("left in single precision")
        << 16777217.0 << 100.0 << 0.0 << 0.0 << 8388608.0 << 45.0;
    // Top is worked in double precision.
    QTest::newRow("top in double precision")
        << 100.0 << 16777217.0 << 0.0 << 0.0 << 50.0 << 7549747.65;
}

void TestWindowBehaviour::centredPosition()
{
    QFETCH(double, screenWidth);
    QFETCH(double, screenHeight);
    QFETCH(double, windowWidth);
    QFETCH(double, windowHeight);
    QFETCH(double, left);
    QFETCH(double, top);
    const CentredPosition position =
        ::centredPosition(screenWidth, screenHeight, windowWidth, windowHeight);
    QCOMPARE(position.left, left);
    QCOMPARE(position.top, top);
}

void TestWindowBehaviour::centresOnScreen_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("small window") << QSize(300, 200);
    QTest::newRow("odd sizes") << QSize(301, 203);
    QTest::newRow("larger than the screen") << QSize(5000, 4000);
}

void TestWindowBehaviour::centresOnScreen()
{
    QFETCH(QSize, size);
    QWidget window;
    window.resize(size);
    window.move(3, 7);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QRect screen = window.screen()->geometry();
    const QSize outer = window.frameGeometry().size();

    centreOnScreen(&window);
    // A child stands for its window.
    auto *child = new QWidget(&window);
    centreOnScreen(child);

    const QPoint expected(
        screen.left() + static_cast<int>(std::floor((screen.width() - outer.width()) / 2.0)),
        screen.top() + static_cast<int>(std::floor((screen.height() - outer.height()) * 0.45)));
    QCOMPARE(window.frameGeometry().topLeft(), expected);
    QCOMPARE(window.size(), size);
}

void TestWindowBehaviour::dragging_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("drags");
    QTest::newRow("left on a label") << u"label"_s << Qt::LeftButton << true;
    QTest::newRow("left on the background") << u"background"_s << Qt::LeftButton << true;
    QTest::newRow("left on the frame") << u"frame"_s << Qt::LeftButton << true;
    QTest::newRow("right on a label") << u"label"_s << Qt::RightButton << false;
    QTest::newRow("middle on the background") << u"background"_s << Qt::MiddleButton << false;
    QTest::newRow("left on a button") << u"button"_s << Qt::LeftButton << false;
    QTest::newRow("left on a disabled button") << u"disabled button"_s << Qt::LeftButton << false;
    QTest::newRow("left beside a check box's text")
        << u"check box beside its text"_s << Qt::LeftButton << false;
    QTest::newRow("left on a check box in the frame")
        << u"check box in the frame"_s << Qt::LeftButton << false;
    QTest::newRow("left on a field's border") << u"field border"_s << Qt::LeftButton << false;
}

void TestWindowBehaviour::dragging()
{
    QFETCH(QString, place);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, drags);
    DragWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    const auto [widget, at] = window.place(place);
    QVERIFY(widget);

    QTest::mousePress(widget, button, {}, at);
    QTest::mouseMove(widget, at + QPoint(40, 30));
    QTest::mouseRelease(widget, button, {}, at + QPoint(40, 30));
    QCOMPARE(window.pos(), drags ? start + QPoint(40, 30) : start);
}

void TestWindowBehaviour::smallMoveIsNoDrag()
{
    DragWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    QTest::mousePress(window.label, Qt::LeftButton, {}, QPoint(20, 10));
    QTest::mouseMove(window.label, QPoint(21, 10));
    QTest::mouseRelease(window.label, Qt::LeftButton, {}, QPoint(21, 10));
    QCOMPARE(window.pos(), start);
}

void TestWindowBehaviour::doubleClickCentres_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<bool>("centres");
    QTest::newRow("label") << u"label"_s << Qt::LeftButton << true;
    QTest::newRow("background") << u"background"_s << Qt::LeftButton << true;
    QTest::newRow("frame") << u"frame"_s << Qt::LeftButton << true;
    QTest::newRow("right double-click") << u"label"_s << Qt::RightButton << false;
    QTest::newRow("button") << u"button"_s << Qt::LeftButton << false;
    QTest::newRow("check box in the frame")
        << u"check box in the frame"_s << Qt::LeftButton << false;
    QTest::newRow("field border") << u"field border"_s << Qt::LeftButton << false;
}

void TestWindowBehaviour::doubleClickCentres()
{
    QFETCH(QString, place);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, centres);
    DragWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    centreOnScreen(&window);
    const QPoint centred = window.pos();
    window.move(centred + QPoint(-33, 21));
    const QPoint moved = window.pos();
    const auto [widget, at] = window.place(place);

    QTest::mouseClick(widget, button, {}, at);
    QTest::mouseDClick(widget, button, {}, at);
    QCOMPARE(window.pos(), centres ? centred : moved);
}

QTEST_MAIN(TestWindowBehaviour)
#include "tst_windowbehaviour.moc"
