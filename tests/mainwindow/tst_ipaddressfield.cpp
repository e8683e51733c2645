#include "ipaddressedit.h"

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
    void keys_data();
    void keys();
    void ownIpNumber_data();
    void ownIpNumber();

private:
    QWidget m_window;
    IpAddressEdit *m_field = new IpAddressEdit(&m_window);
};

void TestIpAddressField::initTestCase()
{
    auto *layout = new QVBoxLayout(&m_window);
    layout->addWidget(m_field);
    layout->addWidget(new QLineEdit(&m_window));
    m_window.show();
    QVERIFY(QTest::qWaitForWindowActive(&m_window));
}

// Keys as a person presses them where the focus is: characters, and \b
// Backspace, < Left, > Right, \t Tab, "," the keypad's decimal comma; ^ (Ctrl+V)
// and # (the context menu's Paste) paste the rest, = writes the rest as the
// field's text. What any keys leave in the boxes is checked by a fuzzer.
void TestIpAddressField::keys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("focusAfter"); // the octet box, -1 out of the field
    const auto row = [](const char *name, const QString &keys, const QString &text, int focus) {
        QTest::newRow(name) << keys << text << focus;
    };
    row("written leading zeros kept", u"=010.000.001.254"_s, u"010.000.001.254"_s, 0);
    row("dots move on", u"10.0.0.1"_s, u"10.0.0.1"_s, 3);
    row("keypad comma moves on", u"10,1"_s, u"10.1.0.0"_s, 1);
    row("three digits move on", u"192168001020"_s, u"192.168.001.020"_s, 3);
    row("dot in an empty box stays", u"..7"_s, u"7.0.0.0"_s, 0);
    row("digit after a full box starts the next", u"111<5"_s, u"111.5.0.0"_s, 1);
    row("backspace goes back a box", u"12.3\b\b\b"_s, u"1.0.0.0"_s, 0);
    row("backspace stops in box 0", u"12.3\b\b\b\b\b"_s, QString(), 0);
    row("left goes to the box end", u"11.22<<<9"_s, u"119.22.0.0"_s, 1);
    row("left stops in box 0", u"11.22<<<<<<1"_s, u"111.22.0.0"_s, 0);
    row("right goes to the box start", u"1.2.3.4<<>9"_s, u"1.2.3.94"_s, 3);
    row("right stops in box 3", u"1.2.3.4<<>>>9"_s, u"1.2.3.49"_s, 3);
    row("tab leaves the field, empty boxes read 0", u"10\t1"_s, u"10.0.0.0"_s, -1);
    row("tab leaves an empty field", u"\t"_s, QString(), -1);
    row("paste an address", u"1.2.^ 010.20.30.40\n"_s, u"010.20.30.40"_s, 3);
    row("paste digits into the box", u"1.2.3.4^5"_s, u"1.2.3.45"_s, 3);
    row("context menu paste", u"1.#172.16.0.9"_s, u"172.16.0.9"_s, 3);
}

void TestIpAddressField::keys()
{
    QFETCH(QString, keys);
    QFETCH(QString, expected);
    QFETCH(int, focusAfter);
    m_field->setText(QString());
    m_field->setFocus();
    QSignalSpy announced(m_field, &IpAddressEdit::textChanged);
    const QHash<QChar, Qt::Key> named{{u'\b', Qt::Key_Backspace}, {u'<', Qt::Key_Left},
                                      {u'>', Qt::Key_Right},      {u'\t', Qt::Key_Tab},
                                      {u',', Qt::Key_Comma},      {u'^', Qt::Key_V}};
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QChar ch = keys.at(i);
        QWidget *target = QApplication::focusWidget();
        QApplication::clipboard()->setText(keys.mid(i + 1));
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {}, target->mapToGlobal(QPoint()));
        if (ch == u'=') {
            const qsizetype before = announced.size();
            m_field->setText(keys.mid(i + 1));
            QVERIFY(announced.size() - before <= 1);
            break;
        } else if (ch == u'#' && QApplication::sendEvent(target, &menuKey)) {
            if (auto *menu = target->findChild<QMenu *>()) {
                menu->findChild<QAction *>(u"paste"_s)->trigger();
                menu->close();
            }
            break;
        } else if (named.contains(ch)) {
            QTest::keyClick(target, named[ch],
                            ch == u',' ? Qt::KeypadModifier
                                       : (ch == u'^' ? Qt::ControlModifier : Qt::NoModifier));
            if (ch == u'^')
                break;
        } else {
            QTest::keyClick(target, ch.toLatin1());
        }
    }
    QCOMPARE(m_field->text(), expected);
    int focus = -1;
    for (int i = 0; i < 4; ++i)
        focus = m_field->octetBox(i)->hasFocus() ? i : focus;
    QCOMPARE(focus, focusAfter);
    // Each change is told once, with the text it leads to.
    QStringList told{QString()};
    for (const QList<QVariant> &signal : announced) {
        QVERIFY2(signal.at(0).toString() != told.constLast(), qPrintable(told.join(u' ')));
        told.append(signal.at(0).toString());
    }
    QCOMPARE(told.constLast(), expected);
    QStringList shown;
    for (int i = 0; i < 4; ++i)
        shown.append(m_field->octetBox(i)->text());
    if (focusAfter < 0) // out of the field, it shows what it reads
        QCOMPARE(shown.join(u'.'), expected.isEmpty() ? u"..."_s : expected);
}

// Each case makes its interfaces in a network namespace of its own (v0: a veth pair).
void TestIpAddressField::ownIpNumber_data()
{
    QTest::addColumn<QString>("commands");
    QTest::addColumn<QString>("expected");
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
        QCOMPARE(QProcess::execute(u"ip"_s, command.split(u' ')), 0);
    QCOMPARE(IpAddressEdit::ownIpNumber(), expected);
}

QTEST_MAIN(TestIpAddressField)
#include "tst_ipaddressfield.moc"
