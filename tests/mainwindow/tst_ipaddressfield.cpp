#include "ipaddressedit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QStringList boxTexts(const IpAddressEdit &field)
{
    QStringList texts;
    for (int i = 0; i < 4; ++i)
        texts.append(field.octetBox(i)->text());
    return texts;
}

int focusedBox(const IpAddressEdit &field)
{
    for (int i = 0; i < 4; ++i) {
        if (field.octetBox(i)->hasFocus())
            return i;
    }
    return -1;
}

// Types each character where the keyboard focus is at that moment, as a
// person at the keyboard would.
void typeText(const QString &text)
{
    for (const QChar ch : text) {
        QWidget *target = QApplication::focusWidget();
        QVERIFY(target);
        QTest::keyClick(target, ch.toLatin1());
    }
}

void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget();
    QVERIFY(target);
    QTest::keyClick(target, key, modifiers);
}

} // namespace

class TestIPAddressField : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writtenTextReadsBack_data();
    void writtenTextReadsBack();
    void oddTextLeavesFieldEmpty_data();
    void oddTextLeavesFieldEmpty();
    void typing_data();
    void typing();
    void keypadCommaMovesOn();
    void backspaceInEmptyBoxGoesBack();
    void arrowsCrossBoxEdges();
    void tabLeavesTheField();
    void partlyFilledFieldShowsWhatItReads();
    void pasting_data();
    void pasting();
    void contextMenuPastesWholeAddress();
    void disabledFieldTakesNoInput();
    void textChangedOncePerChange();

private:
    QWidget *m_window = nullptr;
    IpAddressEdit *m_field = nullptr;
    QLineEdit *m_next = nullptr;
};

void TestIPAddressField::init()
{
    m_window = new QWidget;
    auto *layout = new QVBoxLayout(m_window);
    m_field = new IpAddressEdit(m_window);
    m_next = new QLineEdit(m_window);
    layout->addWidget(m_field);
    layout->addWidget(m_next);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    m_field->setFocus();
    QTRY_COMPARE(focusedBox(*m_field), 0);
}

void TestIPAddressField::cleanup()
{
    delete m_window;
    m_window = nullptr;
}

void TestIPAddressField::writtenTextReadsBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("ordinary") << u"10.0.0.255"_s << u"10.0.0.255"_s
                              << QStringList{u"10"_s, u"0"_s, u"0"_s, u"255"_s};
    QTest::newRow("leading zeros kept") << u"010.000.001.254"_s << u"010.000.001.254"_s
                                        << QStringList{u"010"_s, u"000"_s, u"001"_s, u"254"_s};
    QTest::newRow("first address")
        << u"0.0.0.0"_s << u"0.0.0.0"_s << QStringList{u"0"_s, u"0"_s, u"0"_s, u"0"_s};
    QTest::newRow("last address") << u"255.255.255.255"_s << u"255.255.255.255"_s
                                  << QStringList{u"255"_s, u"255"_s, u"255"_s, u"255"_s};
    QTest::newRow("blank") << QString() << QString() << QStringList{{}, {}, {}, {}};
    QTest::newRow("blanks around") << u"  192.168.1.20 "_s << u"192.168.1.20"_s
                                   << QStringList{u"192"_s, u"168"_s, u"1"_s, u"20"_s};
}

void TestIPAddressField::writtenTextReadsBack()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QFETCH(QStringList, boxes);
    m_field->setText(u"1.1.1.1"_s);
    m_field->setText(text);
    QCOMPARE(m_field->text(), expected);
    QCOMPARE(boxTexts(*m_field), boxes);
    QCOMPARE(m_field->property("text").toString(), expected);
}

void TestIPAddressField::oddTextLeavesFieldEmpty_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("letters") << u"router"_s;
    QTest::newRow("three octets") << u"1.2.3"_s;
    QTest::newRow("five octets") << u"1.2.3.4.5"_s;
    QTest::newRow("trailing dot") << u"1.2.3.4."_s;
    QTest::newRow("empty octet") << u"1..3.4"_s;
    QTest::newRow("octet above 255") << u"1.2.3.256"_s;
    QTest::newRow("four digit octet") << u"1.2.3.0004"_s;
    QTest::newRow("negative octet") << u"-1.2.3.4"_s;
    QTest::newRow("hex octet") << u"0x0a.0.0.1"_s;
    QTest::newRow("blank inside") << u"1.2. 3.4"_s;
    QTest::newRow("text after") << u"1.2.3.4 x"_s;
    QTest::newRow("fullwidth digits") << u"１.２.３.４"_s;
    QTest::newRow("only dots") << u"..."_s;
    QTest::newRow("huge text") << QString(1 << 20, u'9') + u".1.1.1"_s;
    QTest::newRow("huge dotted text") << u"1."_s.repeated(1 << 18) + u'1';
}

void TestIPAddressField::oddTextLeavesFieldEmpty()
{
    QFETCH(QString, text);
    m_field->setText(u"10.0.0.1"_s);
    QSignalSpy changed(m_field, &IpAddressEdit::textChanged);
    m_field->setText(text);
    QCOMPARE(m_field->text(), QString());
    QCOMPARE(boxTexts(*m_field), (QStringList{{}, {}, {}, {}}));
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), QString());
}

void TestIPAddressField::typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("focusAfter");
    QTest::newRow("dots move on") << u"10.0.0.1"_s << u"10.0.0.1"_s << 3;
    QTest::newRow("full boxes move on") << u"192168001020"_s << u"192.168.001.020"_s << 3;
    QTest::newRow("dot after full box is not a skip")
        << u"192.168.1.20"_s << u"192.168.1.20"_s << 3;
    QTest::newRow("leading zeros kept") << u"010.000.001.254"_s << u"010.000.001.254"_s << 3;
    QTest::newRow("value above 255 refused") << u"256.1.2.3"_s << u"25.1.2.3"_s << 3;
    QTest::newRow("300 refused at its last digit") << u"300.1.2.3"_s << u"30.1.2.3"_s << 3;
    QTest::newRow("letters and signs refused") << u"1a2.b3.-4c.5 "_s << u"12.3.4.5"_s << 3;
    QTest::newRow("dot in an empty box stays") << u"..7"_s << u"7.0.0.0"_s << 0;
    QTest::newRow("dot in the last box is ignored") << u"1.2.3.4.5"_s << u"1.2.3.45"_s << 3;
    QTest::newRow("last box stops at three digits") << u"1.2.3.2550"_s << u"1.2.3.255"_s << 3;
    QTest::newRow("first box only") << u"7"_s << u"7.0.0.0"_s << 0;
}

void TestIPAddressField::typing()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QFETCH(int, focusAfter);
    typeText(keys);
    QCOMPARE(m_field->text(), expected);
    QCOMPARE(focusedBox(*m_field), focusAfter);
}

void TestIPAddressField::keypadCommaMovesOn()
{
    typeText(u"10"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Comma, Qt::KeypadModifier);
    typeText(u"1"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Comma);
    QCOMPARE(m_field->text(), u"10.1.0.0"_s);
    QCOMPARE(focusedBox(*m_field), 1);
}

void TestIPAddressField::backspaceInEmptyBoxGoesBack()
{
    typeText(u"12.3"_s);
    QCOMPARE(focusedBox(*m_field), 1);
    pressKey(Qt::Key_Backspace);
    QCOMPARE(m_field->octetBox(1)->text(), QString());
    QCOMPARE(focusedBox(*m_field), 1);

    pressKey(Qt::Key_Backspace);
    QCOMPARE(focusedBox(*m_field), 0);
    QCOMPARE(m_field->octetBox(0)->cursorPosition(), 2);
    QCOMPARE(m_field->text(), u"12.0.0.0"_s);

    pressKey(Qt::Key_Backspace);
    pressKey(Qt::Key_Backspace);
    pressKey(Qt::Key_Backspace);
    QCOMPARE(focusedBox(*m_field), 0);
    QCOMPARE(m_field->text(), QString());
}

void TestIPAddressField::arrowsCrossBoxEdges()
{
    m_field->setText(u"11.22.33.44"_s);
    m_field->octetBox(1)->setFocus();
    m_field->octetBox(1)->setCursorPosition(1);

    pressKey(Qt::Key_Left);
    QCOMPARE(focusedBox(*m_field), 1);
    QCOMPARE(m_field->octetBox(1)->cursorPosition(), 0);
    pressKey(Qt::Key_Left);
    QCOMPARE(focusedBox(*m_field), 0);
    QCOMPARE(m_field->octetBox(0)->cursorPosition(), 2);
    pressKey(Qt::Key_Left);
    QCOMPARE(focusedBox(*m_field), 0);

    m_field->octetBox(0)->setCursorPosition(0);
    pressKey(Qt::Key_Left);
    QCOMPARE(focusedBox(*m_field), 0);

    m_field->octetBox(2)->setFocus();
    m_field->octetBox(2)->setCursorPosition(2);
    pressKey(Qt::Key_Right);
    QCOMPARE(focusedBox(*m_field), 3);
    QCOMPARE(m_field->octetBox(3)->cursorPosition(), 0);
    m_field->octetBox(3)->setCursorPosition(2);
    pressKey(Qt::Key_Right);
    QCOMPARE(focusedBox(*m_field), 3);
    QCOMPARE(m_field->text(), u"11.22.33.44"_s);
}

void TestIPAddressField::tabLeavesTheField()
{
    typeText(u"10"_s);
    pressKey(Qt::Key_Tab);
    QVERIFY(m_next->hasFocus());
}

void TestIPAddressField::partlyFilledFieldShowsWhatItReads()
{
    typeText(u"192.168"_s);
    QCOMPARE(m_field->text(), u"192.168.0.0"_s);
    QCOMPARE(boxTexts(*m_field), (QStringList{u"192"_s, u"168"_s, {}, {}}));

    // Moving between its own boxes keeps the field as typed.
    m_field->octetBox(3)->setFocus();
    QCOMPARE(boxTexts(*m_field), (QStringList{u"192"_s, u"168"_s, {}, {}}));

    m_next->setFocus();
    QCOMPARE(boxTexts(*m_field), (QStringList{u"192"_s, u"168"_s, u"0"_s, u"0"_s}));
    QCOMPARE(m_field->text(), u"192.168.0.0"_s);

    // An empty field stays empty when the focus leaves it.
    m_field->setText(QString());
    m_field->setFocus();
    m_next->setFocus();
    QCOMPARE(m_field->text(), QString());
}

void TestIPAddressField::pasting_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole address into the first box")
        << QString() << 0 << u"10.20.30.40"_s << u"10.20.30.40"_s;
    QTest::newRow("whole address into a later box replaces all")
        << u"1.2.3.4"_s << 2 << u"10.20.30.40"_s << u"10.20.30.40"_s;
    QTest::newRow("blanks and line end around")
        << QString() << 1 << u"  010.000.001.254\n"_s << u"010.000.001.254"_s;
    QTest::newRow("digits into one box") << u"1.2.3.4"_s << 3 << u"5"_s << u"1.2.3.45"_s;
    QTest::newRow("too many digits refused") << u"1.2.3.4"_s << 3 << u"999"_s << u"1.2.3.4"_s;
    QTest::newRow("partial address refused") << u"1.2.3.4"_s << 0 << u"9.9.9"_s << u"1.2.3.4"_s;
    QTest::newRow("octet above 255 refused") << u"1.2.3.4"_s << 0 << u"9.9.9.256"_s << u"1.2.3.4"_s;
    QTest::newRow("words refused") << u"1.2.3.4"_s << 0 << u"example.org"_s << u"1.2.3.4"_s;
}

void TestIPAddressField::pasting()
{
    QFETCH(QString, before);
    QFETCH(int, box);
    QFETCH(QString, clipboard);
    QFETCH(QString, expected);
    m_field->setText(before);
    m_field->octetBox(box)->setFocus();
    m_field->octetBox(box)->end(false);
    QApplication::clipboard()->setText(clipboard);
    pressKey(Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(m_field->text(), expected);
}

void TestIPAddressField::contextMenuPastesWholeAddress()
{
    QApplication::clipboard()->setText(u"172.16.0.9"_s);
    QLineEdit *box = m_field->octetBox(2);
    box->setFocus();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(box, &event);

    QMenu *menu = box->findChild<QMenu *>();
    QVERIFY(menu);
    QAction *paste = menu->findChild<QAction *>(u"paste"_s);
    QVERIFY(paste);
    QVERIFY(paste->isEnabled());
    paste->trigger();
    menu->close();
    QCOMPARE(m_field->text(), u"172.16.0.9"_s);
}

void TestIPAddressField::disabledFieldTakesNoInput()
{
    m_field->setText(u"10.0.0.1"_s);
    m_field->octetBox(3)->setFocus();
    m_field->setEnabled(false);
    QSignalSpy changed(m_field, &IpAddressEdit::textChanged);
    QApplication::clipboard()->setText(u"9.9.9.9"_s);

    for (int i = 0; i < 4; ++i) {
        QLineEdit *box = m_field->octetBox(i);
        QVERIFY(!box->isEnabled());
        QTest::keyClicks(box, u"5.7"_s);
        QTest::keyClick(box, Qt::Key_Backspace);
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        QTest::mouseDClick(box, Qt::LeftButton);
    }
    QCOMPARE(m_field->text(), u"10.0.0.1"_s);
    QCOMPARE(changed.size(), 0);

    m_field->setEnabled(true);
    m_field->octetBox(3)->setFocus();
    m_field->octetBox(3)->end(false);
    typeText(u"0"_s);
    QCOMPARE(m_field->text(), u"10.0.0.10"_s);
}

void TestIPAddressField::textChangedOncePerChange()
{
    QSignalSpy changed(m_field, &IpAddressEdit::textChanged);
    m_field->setText(u"10.0.0.1"_s);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), u"10.0.0.1"_s);

    m_field->setText(u"10.0.0.1"_s);
    QCOMPARE(changed.size(), 1);

    m_field->setText(u"010.0.0.1"_s);
    QCOMPARE(changed.size(), 2);
    QCOMPARE(changed.at(1).at(0).toString(), u"010.0.0.1"_s);

    m_field->setText(QString());
    typeText(u"3"_s);
    QCOMPARE(changed.size(), 4);
    QCOMPARE(changed.at(3).at(0).toString(), u"3.0.0.0"_s);
}

QTEST_MAIN(TestIPAddressField)
#include "tst_ipaddressfield.moc"
