// The main window's rules: stored numbers, the command line, the caption,
// centring, the result list's tab stops, and dragging and centring by the
// window's body. The tray itself is driven under a real tray in tests/e2e.

#include "centreonscreen.h"
#include "centring.h"
#include "dragbybody.h"
#include "ipaddresstext.h"
#include "mainwindowrules.h"
#include "mainwindowsettings.h"
#include "resultlistdelegate.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void settingValues_data();
    void settingValues();
    void dottedOctets_data();
    void dottedOctets();
    void textsAndCommandLine();
    void centring_data();
    void centring();
    void tabStops_data();
    void tabStops();
    void body_data();
    void body();

private:
    QWidget m_window;
};

// What counts as a number and its rounding are checked against strtod by a fuzzer.
void TestMainWindowRules::settingValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("state"); // -1: no check state
    QTest::addColumn<int>("parallel");
    QTest::newRow("0 unchecks, Parallel below its range") << u"0"_s << 0 << kDefaultParallel;
    QTest::newRow("spaces around") << u"  1  "_s << 2 << 1;
    QTest::newRow("plus sign greys") << u"+2"_s << 1 << 2;
    QTest::newRow("hexadecimal") << u"0x1"_s << -1 << kDefaultParallel;
    QTest::newRow("Parallel at its limit") << u"4096"_s << -1 << 4096;
    QTest::newRow("Parallel beyond its limit") << u"4097"_s << -1 << kDefaultParallel;
}

void TestMainWindowRules::settingValues()
{
    QFETCH(QString, text);
    QFETCH(int, state);
    QFETCH(int, parallel);
    const std::optional<Qt::CheckState> checkState = checkStateFromSetting(text);
    QCOMPARE(checkState ? int(*checkState) : -1, state);
    if (checkState)
        QCOMPARE(checkStateSettingText(*checkState), text.trimmed().remove(u'+'));
    QCOMPARE(parallelFromSetting(text), parallel);
}

// The address field's text: four octets of up to three digits each, 0 to 255, kept as written.
void TestMainWindowRules::dottedOctets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("octets"); // joined by "|"; empty: not an address
    QTest::newRow("leading zeros kept") << u"010.000.001.255"_s << u"010|000|001|255"_s;
    for (const char *bad :
         {"1..3.4", "1.2.3.0004", "1.2.256.4", "1.2.3.4.5", "1.2.3", "1.2.+3.a", " 1.2.3.4"})
        QTest::newRow(bad) << QString::fromLatin1(bad) << QString();
}

void TestMainWindowRules::dottedOctets()
{
    QFETCH(QString, text);
    QFETCH(QString, octets);
    const auto split = splitDottedOctets(text);
    QCOMPARE(split ? QStringList(split->begin(), split->end()).join(u'|') : QString(), octets);
}

void TestMainWindowRules::textsAndCommandLine()
{
    QVERIFY(!commandLineStartsScan(joinCommandLine({QString(), u"/p"_s, QString()})));
    QVERIFY(commandLineStartsScan(joinCommandLine({u"/p"_s, u"now"_s})));
    QCOMPARE(windowCaption(u"192.0.2.2"_s), u"Corvane            Your IP Number is 192.0.2.2"_s);
    QCOMPARE(windowCaption(QString()), u"Corvane            Your IP Number is N/A"_s);
    qputenv("CORVANE_CHECK_HOST", "name.invalid");
    QCOMPARE(networkCheckHostName(), u"name.invalid"_s);
    qputenv("CORVANE_CHECK_HOST", "");
    QCOMPARE(networkCheckHostName(), u"www.debian.org"_s);
}

void TestMainWindowRules::centring_data()
{
    QTest::addColumn<QRectF>("screenAndWindow"); // screen size, window size
    QTest::addColumn<QPointF>("position");
    QTest::newRow("1024 x 768 in twips")
        << QRectF(15360, 11520, 6660, 5490) << QPointF(4350, 2713.5);
    QTest::newRow("larger than the screen") << QRectF(1024, 768, 1100, 800) << QPointF(-38, -14.4);
    // Left is worked in single precision (2^24 + 1 is no float), top in double.
    QTest::newRow("precisions") << QRectF(16777217, 16777217, 0, 0) << QPointF(8388608, 7549747.65);
}

void TestMainWindowRules::centring()
{
    QFETCH(QRectF, screenAndWindow);
    QFETCH(QPointF, position);
    const QRectF &r = screenAndWindow;
    const CentredPosition centred = centredPosition(r.x(), r.y(), r.width(), r.height());
    QCOMPARE(QPointF(centred.left, centred.top), position);
}

// A field starts at the next stop after the text before it, also when that text is empty.
void TestMainWindowRules::tabStops_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<QList<int>>("stops");
    QTest::addColumn<int>("next");
    const QList<int> two{105, 450};
    QTest::newRow("short field goes to the first stop") << 80 << two << 105;
    QTest::newRow("exactly on a stop goes to the next") << 105 << two << 450;
    QTest::newRow("past the last stop repeats its interval") << 460 << two << 795;
    QTest::newRow("single stop repeats its width") << 120 << QList<int>{100} << 200;
    QTest::newRow("no stops leaves the position") << 42 << QList<int>() << 42;
}

void TestMainWindowRules::tabStops()
{
    QFETCH(int, x);
    QFETCH(QList<int>, stops);
    QFETCH(int, next);
    QCOMPARE(ResultListDelegate::nextTabStop(x, stops), next);
    QCOMPARE(ResultListDelegate::fieldPositions(u"a\t\tb\t"_s, QFontMetrics(QFont()), {105, 450}),
             (QList<int>{0, 105, 450, 795}));
}

// A window with a label and a frame that drag and centre it, and controls that must not.
void TestMainWindowRules::initTestCase()
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

void TestMainWindowRules::body_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<int>("move");
    QTest::addColumn<bool>("drags");
    QTest::addColumn<bool>("centres");
    for (const char *place : {"label", "background", "frame"})
        QTest::newRow(place) << QString::fromLatin1(place) << Qt::LeftButton << 40 << true << true;
    QTest::newRow("small move") << u"label"_s << Qt::LeftButton << 1 << false << true;
    QTest::newRow("right button") << u"background"_s << Qt::RightButton << 40 << false << false;
    for (const char *place : {"button", "disabled button", "check box in the frame"})
        QTest::newRow(place) << QString::fromLatin1(place) << Qt::LeftButton << 40 << false
                             << false;
}

// A press and a move, then a double-click, on one place of the window.
void TestMainWindowRules::body()
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

QTEST_MAIN(TestMainWindowRules)
#include "tst_mainwindowrules.moc"
