#include "ipaddressedit.h"
#include "ownipnumber.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
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
    void keys_data();
    void keys();
    void ownIpNumber_data();
    void ownIpNumber();

private:
    void type(const QString &keys);
    int focusedBox() const
    {
        return int(m_boxes.indexOf(qobject_cast<QLineEdit *>(QApplication::focusWidget())));
    }

    QWidget m_window;
    IpAddressEdit *m_field = new IpAddressEdit(&m_window);
    QList<QLineEdit *> m_boxes;
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

// Keys as a person presses them where the focus is (the last box once the field is
// disabled by "!"): characters, and \b Backspace, < Left, > Right, \t Tab, "," the
// keypad's decimal comma; ^ (Ctrl+V) and # (the context menu's Paste) paste the
// rest, = writes the rest as the field's text.
void TestIpAddressField::type(const QString &keys)
{
    const QHash<QChar, Qt::Key> named{{u'\b', Qt::Key_Backspace},
                                      {u'<', Qt::Key_Left},
                                      {u'>', Qt::Key_Right},
                                      {u'\t', Qt::Key_Tab}};
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QChar ch = keys.at(i);
        QWidget *target = m_field->isEnabled() ? QApplication::focusWidget() : m_boxes[3];
        QApplication::clipboard()->setText(keys.mid(i + 1));
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {}, target->mapToGlobal(QPoint()));
        if (ch == u'!') {
            m_field->setEnabled(false);
        } else if (ch == u'=') {
            return m_field->setText(keys.mid(i + 1));
        } else if (ch == u'^') {
            return QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        } else if (ch == u'#' && QApplication::sendEvent(target, &menuKey)) {
            if (auto *menu = target->findChild<QMenu *>()) {
                if (auto *paste = menu->findChild<QAction *>(u"paste"_s))
                    paste->trigger();
                menu->close();
            }
            return;
        } else if (ch == u',') {
            QTest::keyClick(target, Qt::Key_Comma, Qt::KeypadModifier);
        } else if (named.contains(ch)) {
            QTest::keyClick(target, named[ch]);
        } else {
            QTest::keyClick(target, ch.toLatin1());
        }
    }
}

void TestIpAddressField::keys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("focusAfter");
    QTest::newRow("written leading zeros kept")
        << u"=010.000.001.254"_s << u"010.000.001.254"_s << 0;
    QTest::newRow("written with blanks around") << u"= 192.168.1.20 "_s << u"192.168.1.20"_s << 0;
    QTest::newRow("written blank") << u"1="_s << QString() << 0;
    QTest::newRow("written empty octet") << u"1=1..3.4"_s << QString() << 0;
    QTest::newRow("written four digits") << u"1=1.2.3.0004"_s << QString() << 0;
    QTest::newRow("dots move on") << u"10.0.0.1"_s << u"10.0.0.1"_s << 3;
    QTest::newRow("keypad comma moves on") << u"10,1"_s << u"10.1.0.0"_s << 1;
    QTest::newRow("three digits move on") << u"192168001020"_s << u"192.168.001.020"_s << 3;
    QTest::newRow("letters and signs refused") << u"1a2.b3.-4c.5 "_s << u"12.3.4.5"_s << 3;
    QTest::newRow("255 taken, 256 refused") << u"255.256.1.2"_s << u"255.25.1.2"_s << 3;
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
    QTest::newRow("tab leaves an empty field") << u"\t"_s << QString() << -1;
    QTest::newRow("moving inside leaves boxes") << u"192.168>5"_s << u"192.168.0.5"_s << 3;
    QTest::newRow("paste an address") << u"1.2.^ 010.20.30.40\n"_s << u"010.20.30.40"_s << 3;
    QTest::newRow("paste digits") << u"1.2.3.4^5"_s << u"1.2.3.45"_s << 3;
    QTest::newRow("paste a partial address") << u"1.2^9.9.9"_s << u"1.2.0.0"_s << 1;
    QTest::newRow("disabled field") << u"10.0.0.1!5.\b^9.9.9.9"_s << u"10.0.0.1"_s << -1;
    QTest::newRow("context menu paste") << u"1.#172.16.0.9"_s << u"172.16.0.9"_s << 3;
}

void TestIpAddressField::keys()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QFETCH(int, focusAfter);
    QString announced;
    connect(m_field, &IpAddressEdit::textChanged, this, [&](const QString &t) { announced = t; });
    type(keys);
    disconnect(m_field, nullptr, this, nullptr);
    QCOMPARE(m_field->text(), expected);
    QCOMPARE(announced, expected);
    QCOMPARE(focusedBox(), focusAfter);
    QStringList shown;
    for (const QLineEdit *box : m_boxes)
        shown.append(box->text());
    if (focusAfter < 0) // out of the field, it shows what it reads
        QCOMPARE(shown.join(u'.'), expected.isEmpty() ? u"..."_s : expected);
}

// Each case makes its interfaces in a network namespace of its own (v0: a veth pair).
void TestIpAddressField::ownIpNumber_data()
{
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QString>("expected");
    QTest::newRow("nothing up") << QString() << QString();
    QTest::newRow("loopback only") << u"link set lo up"_s << QString();
    QTest::newRow("interface down") << u"addr add 10.9.8.7/24 dev v0"_s << QString();
    QTest::newRow("loopback range elsewhere")
        << u"addr add 127.0.0.5/8 dev v0;link set v0 up"_s << QString();
    QTest::newRow("first address of the first interface up")
        << u"link set lo up;addr add 192.168.50.1/24 dev v0;addr add 172.16.1.1/16 dev v0;"
           u"link set v0 up"_s
        << u"192.168.50.1"_s;
}

void TestIpAddressField::ownIpNumber()
{
    QFETCH(QString, commands);
    QFETCH(QString, expected);
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0)
        QSKIP("the own-address cases need root and network namespaces of their own");
    for (const QString &command : QString(u"link add v0 type veth peer name v1;"_s + commands)
                                      .split(u';', Qt::SkipEmptyParts))
        QCOMPARE(QProcess::execute(u"ip"_s, command.split(u' ', Qt::SkipEmptyParts)), 0);
    QCOMPARE(IpAddressEdit::ownIpNumber(), expected);
}

QTEST_MAIN(TestIpAddressField)
#include "tst_ipaddressfield.moc"
