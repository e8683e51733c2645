#include "ipaddressedit.h"
#include "ownipnumber.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <sched.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Also when run by hand: a screen and a clipboard of its own, never the user's.
[[maybe_unused]] static const bool kOwnScreen = qputenv("QT_QPA_PLATFORM", "offscreen");

class TestIpAddressField : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void setText_data();
    void setText();
    void keys_data();
    void keys();
    void leavingFillsEmptyBoxes();
    void ownIpNumber_data();
    void ownIpNumber();

private:
    void type(const QString &keys);
    int focusedBox() const { return int(m_boxes.indexOf(QApplication::focusWidget())); }

    QWidget m_window;
    IpAddressEdit *m_field = new IpAddressEdit(&m_window);
    QList<QWidget *> m_boxes;
};

void TestIpAddressField::initTestCase()
{
    auto *layout = new QVBoxLayout(&m_window);
    layout->addWidget(m_field);
    layout->addWidget(new QLineEdit(&m_window));
    for (int i = 0; i < 4; ++i)
        m_boxes.append(m_field->octetBox(i));
    m_window.show();
    QVERIFY(QTest::qWaitForWindowActive(&m_window));
}

void TestIpAddressField::init()
{
    m_field->setEnabled(true);
    m_field->setText(QString());
    m_field->setFocus();
}

// Keys as a person presses them where the focus is (in the last box while the
// field is disabled): characters, and \b Backspace, < Left, > Right, \t Tab, ! the
// field disabled; ^ (Ctrl+V) and # (the context menu's Paste) paste the rest.
void TestIpAddressField::type(const QString &keys)
{
    const QHash<QChar, Qt::Key> named{{u'\b', Qt::Key_Backspace},
                                      {u'<', Qt::Key_Left},
                                      {u'>', Qt::Key_Right},
                                      {u'\t', Qt::Key_Tab}};
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QChar ch = keys.at(i);
        QWidget *target = m_field->isEnabled() ? QApplication::focusWidget() : m_boxes[3];
        if (ch == u'!') {
            m_field->setEnabled(false);
        } else if (ch == u'^' || ch == u'#') {
            QApplication::clipboard()->setText(keys.mid(i + 1));
            if (ch == u'^')
                QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
            QContextMenuEvent event(QContextMenuEvent::Mouse, {}, target->mapToGlobal(QPoint()));
            if (ch == u'#' && QApplication::sendEvent(target, &event)) {
                auto *menu = target->findChild<QMenu *>();
                if (auto *paste = menu ? menu->findChild<QAction *>(u"paste"_s) : nullptr)
                    paste->trigger();
            }
            return;
        } else if (named.contains(ch)) {
            QTest::keyClick(target, named[ch]);
        } else {
            QTest::keyClick(target, ch.toLatin1());
        }
    }
}

void TestIpAddressField::setText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("leading zeros kept") << u"010.000.001.254"_s << u"010.000.001.254"_s;
    QTest::newRow("highest octets") << u"255.255.255.255"_s << u"255.255.255.255"_s;
    QTest::newRow("blanks around dropped") << u"  192.168.1.20 "_s << u"192.168.1.20"_s;
    QTest::newRow("blank") << QString() << QString();
    QTest::newRow("three octets") << u"1.2.3"_s << QString();
    QTest::newRow("five octets") << u"1.2.3.4.5"_s << QString();
    QTest::newRow("empty octet") << u"1..3.4"_s << QString();
    QTest::newRow("octet above 255") << u"1.2.3.256"_s << QString();
    QTest::newRow("four digits") << u"1.2.3.0004"_s << QString();
    QTest::newRow("letter") << u"1.2.3.x"_s << QString();
    QTest::newRow("sign") << u"-1.2.3.4"_s << QString();
}

void TestIpAddressField::setText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    m_field->setText(u"1.1.1.1"_s);
    QSignalSpy changed(m_field, &IpAddressEdit::textChanged);
    m_field->setText(text);
    m_field->setText(text);
    QCOMPARE(m_field->text(), expected);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toString(), expected);
}

void TestIpAddressField::keys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("focusAfter");
    QTest::newRow("dots move on") << u"10.0.0.1"_s << u"10.0.0.1"_s << 3;
    QTest::newRow("three digits move on") << u"192168001020"_s << u"192.168.001.020"_s << 3;
    QTest::newRow("dot after three digits") << u"192.168.1.2"_s << u"192.168.1.2"_s << 3;
    QTest::newRow("255 taken, 256 refused") << u"255.256.1.2"_s << u"255.25.1.2"_s << 3;
    QTest::newRow("letters and signs refused") << u"1a2.b3.-4c.5 "_s << u"12.3.4.5"_s << 3;
    QTest::newRow("dot in an empty box stays") << u"..7"_s << u"7.0.0.0"_s << 0;
    QTest::newRow("dot in the last box ignored") << u"1.2.3.4.5"_s << u"1.2.3.45"_s << 3;
    QTest::newRow("last box stops at 3 digits") << u"1.2.3.2550"_s << u"1.2.3.255"_s << 3;
    QTest::newRow("digit after a full box") << u"111<5"_s << u"111.5.0.0"_s << 1;
    QTest::newRow("backspace goes back a box") << u"12.3\b\b\b"_s << u"1.0.0.0"_s << 0;
    QTest::newRow("backspace stops in box 0") << u"12.3\b\b\b\b\b"_s << QString() << 0;
    QTest::newRow("left goes to the box end") << u"11.22<<<9"_s << u"119.22.0.0"_s << 1;
    QTest::newRow("left stops in box 0") << u"11.22<<<<<<1"_s << u"111.22.0.0"_s << 0;
    QTest::newRow("right goes to the box start") << u"1.2.3.4<<>9"_s << u"1.2.3.94"_s << 3;
    QTest::newRow("right stops in box 3") << u"1.2.3.4<<>>>9"_s << u"1.2.3.49"_s << 3;
    QTest::newRow("tab leaves the field") << u"10\t1"_s << u"10.0.0.0"_s << -1;
    QTest::newRow("paste an address") << u"1.2.^ 010.20.30.40\n"_s << u"010.20.30.40"_s << 3;
    QTest::newRow("paste digits") << u"1.2.3.4^5"_s << u"1.2.3.45"_s << 3;
    QTest::newRow("paste a partial address") << u"1.2^9.9.9"_s << u"1.2.0.0"_s << 1;
    QTest::newRow("context menu paste") << u"1.#172.16.0.9"_s << u"172.16.0.9"_s << 3;
    QTest::newRow("disabled field") << u"10.0.0.1!5.\b^9.9.9.9"_s << u"10.0.0.1"_s << -1;
}

void TestIpAddressField::keys()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QFETCH(int, focusAfter);
    type(keys);
    QCOMPARE(m_field->text(), expected);
    QCOMPARE(focusedBox(), focusAfter);
}

void TestIpAddressField::leavingFillsEmptyBoxes()
{
    const auto shown = [this] {
        return QStringList{m_field->octetBox(0)->text(), m_field->octetBox(1)->text(),
                           m_field->octetBox(2)->text(), m_field->octetBox(3)->text()};
    };
    type(u"\t"_s);
    QCOMPARE(shown(), QStringList(4, QString()));
    m_field->setFocus();
    type(u"192.168>"_s);
    QCOMPARE(shown(), (QStringList{u"192"_s, u"168"_s, {}, {}}));
    type(u"\t"_s);
    QCOMPARE(shown(), (QStringList{u"192"_s, u"168"_s, u"0"_s, u"0"_s}));
}

// Each case makes its interfaces in a network namespace of its own.
void TestIpAddressField::ownIpNumber_data()
{
    const QString veth = u"link add v0 type veth peer name v1"_s;
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing up") << QStringList{} << QString();
    QTest::newRow("loopback only") << QStringList{u"link set lo up"_s} << QString();
    QTest::newRow("interface down")
        << QStringList{veth, u"addr add 10.9.8.7/24 dev v0"_s} << QString();
    QTest::newRow("loopback range on another interface")
        << QStringList{veth, u"addr add 127.0.0.5/8 dev v0"_s, u"link set v0 up"_s} << QString();
    QTest::newRow("first address of the first interface up")
        << QStringList{u"link set lo up"_s, veth, u"addr add 192.168.50.1/24 dev v0"_s,
                       u"addr add 172.16.1.1/16 dev v0"_s, u"link set v0 up"_s}
        << u"192.168.50.1"_s;
}

void TestIpAddressField::ownIpNumber()
{
    QFETCH(QStringList, commands);
    QFETCH(QString, expected);
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0)
        QSKIP("the own-address cases need root and network namespaces of their own");
    for (const QString &command : commands)
        QCOMPARE(QProcess::execute(u"ip"_s, command.split(u' ')), 0);
    QCOMPARE(IpAddressEdit::ownIpNumber(), expected);
}

QTEST_MAIN(TestIpAddressField)
#include "tst_ipaddressfield.moc"
