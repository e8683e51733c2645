#include "iplistrules.h"

#include <QTest>

Q_DECLARE_METATYPE(IPListKeyAction)

class TestIPListRules : public QObject
{
    Q_OBJECT

private slots:
    void keyAction_data();
    void keyAction();
    void virtualKeyCode_data();
    void virtualKeyCode();
    void nextCell_data();
    void nextCell();
};

void TestIPListRules::keyAction_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<IPListKeyAction>("action");

    const Qt::KeyboardModifiers none;
    const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier;
    const Qt::KeyboardModifiers alt = Qt::AltModifier;
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    using A = IPListKeyAction;

    QTest::newRow("Esc closes") << int(Qt::Key_Escape) << none << A::Close;
    QTest::newRow("Shift+Esc closes") << int(Qt::Key_Escape) << shift << A::Close;
    QTest::newRow("Ctrl+Alt+Shift+Esc closes")
        << int(Qt::Key_Escape) << (shift | ctrl | alt) << A::Close;
    QTest::newRow("F5 refreshes") << int(Qt::Key_F5) << none << A::Refresh;
    QTest::newRow("Shift+F4 refreshes") << int(Qt::Key_F4) << shift << A::Refresh;
    QTest::newRow("Ctrl+F3 refreshes") << int(Qt::Key_F3) << ctrl << A::Refresh;
    QTest::newRow("Ctrl+Shift+F2 refreshes") << int(Qt::Key_F2) << (ctrl | shift) << A::Refresh;
    QTest::newRow("Alt+F1 refreshes") << int(Qt::Key_F1) << alt << A::Refresh;
    QTest::newRow("Shift+Alt+keypad slash refreshes")
        << int(Qt::Key_Slash) << (shift | alt | keypad) << A::Refresh;
    QTest::newRow("Ctrl+Alt+keypad point refreshes")
        << int(Qt::Key_Period) << (ctrl | alt | keypad) << A::Refresh;
    QTest::newRow("Meta does not count")
        << int(Qt::Key_F5) << Qt::KeyboardModifiers(Qt::MetaModifier) << A::Refresh;
    QTest::newRow("F6 is not available") << int(Qt::Key_F6) << none << A::FeatureNotAvailable;
    QTest::newRow("Shift+F5 is not available")
        << int(Qt::Key_F5) << shift << A::FeatureNotAvailable;
    QTest::newRow("Ctrl+F4 is not available") << int(Qt::Key_F4) << ctrl << A::FeatureNotAvailable;
    QTest::newRow("Ctrl+F5 does nothing") << int(Qt::Key_F5) << ctrl << A::None;
    QTest::newRow("Alt+F5 does nothing") << int(Qt::Key_F5) << alt << A::None;
    QTest::newRow("F4 does nothing") << int(Qt::Key_F4) << none << A::None;
    QTest::newRow("F7 does nothing") << int(Qt::Key_F7) << none << A::None;
    QTest::newRow("slash on the main keys does nothing")
        << int(Qt::Key_Slash) << (shift | alt) << A::None;
    QTest::newRow("letter does nothing") << int(Qt::Key_T) << (shift | ctrl | alt) << A::None;
    QTest::newRow("Enter does nothing") << int(Qt::Key_Return) << none << A::None;
    QTest::newRow("Tab does nothing") << int(Qt::Key_Tab) << none << A::None;
    QTest::newRow("unknown key does nothing")
        << int(Qt::Key_LaunchMail) << (shift | ctrl | alt) << A::None;
}

void TestIPListRules::keyAction()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QTEST(KeyActionFor(VirtualKeyCode(key, modifiers), ShiftState(modifiers)), "action");
}

void TestIPListRules::virtualKeyCode_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("code");
    const Qt::KeyboardModifiers none;
    const Qt::KeyboardModifiers keypad = Qt::KeypadModifier;
    QTest::newRow("F1") << int(Qt::Key_F1) << none << 112;
    QTest::newRow("F12") << int(Qt::Key_F12) << none << 123;
    QTest::newRow("F24") << int(Qt::Key_F24) << none << 135;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << none << 27;
    QTest::newRow("letter") << int(Qt::Key_Q) << none << 81;
    QTest::newRow("digit") << int(Qt::Key_7) << none << 55;
    QTest::newRow("keypad digit") << int(Qt::Key_7) << keypad << 103;
    QTest::newRow("keypad star") << int(Qt::Key_Asterisk) << keypad << 106;
    QTest::newRow("keypad minus") << int(Qt::Key_Minus) << keypad << 109;
    QTest::newRow("keypad F-key keeps its code") << int(Qt::Key_F5) << keypad << 116;
    QTest::newRow("main minus has none") << int(Qt::Key_Minus) << none << 0;
    QTest::newRow("arrow") << int(Qt::Key_Down) << none << 40;
}

void TestIPListRules::virtualKeyCode()
{
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QTEST(VirtualKeyCode(key, modifiers), "code");
}

void TestIPListRules::nextCell_data()
{
    QTest::addColumn<GridCell>("from");
    QTest::addColumn<bool>("moves");
    QTest::addColumn<GridCell>("to");
    QTest::newRow("IP Number to description") << GridCell{4, 0} << true << GridCell{4, 1};
    QTest::newRow("description to marker") << GridCell{4, 1} << true << GridCell{4, 2};
    QTest::newRow("marker to next row") << GridCell{4, 2} << true << GridCell{5, 0};
    QTest::newRow("second last row wraps") << GridCell{98, 2} << true << GridCell{99, 0};
    QTest::newRow("last cell stays") << GridCell{99, 2} << false << GridCell{};
    QTest::newRow("last row still moves right") << GridCell{99, 0} << true << GridCell{99, 1};
}

void TestIPListRules::nextCell()
{
    QFETCH(GridCell, from);
    QFETCH(bool, moves);
    QFETCH(GridCell, to);
    const std::optional<GridCell> next = NextCellAfter(from, 100);
    QCOMPARE(next.has_value(), moves);
    if (moves)
        QCOMPARE(*next, to);
}

QTEST_GUILESS_MAIN(TestIPListRules)
#include "tst_iplistrules.moc"
