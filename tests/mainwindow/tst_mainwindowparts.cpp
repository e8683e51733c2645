// The main window's parts: caption, command line, centring, the result list's
// fields, the address field, the own address, dragging and centring by the body.
// Stored numbers and the typing a model predicts are checked by fuzzers.

#include "centreonscreen.h"
#include "centring.h"
#include "dragbybody.h"
#include "ipaddressedit.h"
#include "ipaddresstext.h"
#include "mainwindowrules.h"
#include "resultlistdelegate.h"
#include "widgetlookup.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <sched.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Also when run by hand: a screen and a clipboard of its own, never the user's.
[[maybe_unused]] static const bool kOwnScreen = qputenv("QT_QPA_PLATFORM", "offscreen");

class TestMainWindowParts : public QObject
{
    Q_OBJECT

private slots:
    // A window with a label that drags and centres it, a check box beside
    // whose text a press reaches the window but must not, and a button.
    void initTestCase()
    {
        auto *label = new QLabel(u"Start IP"_s);
        auto *check = new QCheckBox(u"Enabled"_s);
        label->setObjectName(u"label"_s);
        check->setObjectName(u"check box"_s);
        auto *layout = new QVBoxLayout(&m_window);
        for (QWidget *part : QWidgetList{label, new QPushButton(u"&Start"_s), check, m_field})
            layout->addWidget(part);
        auto *drag = new DragByBody(&m_window);
        drag->watch(&m_window);
        drag->watch(label);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
    }

    void rules()
    {
        QCOMPARE(windowCaption(u"192.0.2.2"_s),
                 u"Corvane            Your IP Number is 192.0.2.2"_s);
        QCOMPARE(windowCaption(QString()), u"Corvane            Your IP Number is N/A"_s);
        qunsetenv("CORVANE_CHECK_HOST");
        QCOMPARE(networkCheckHostName(), u"www.debian.org"_s);
        QCOMPARE(joinCommandLine({QString(), u"/p"_s, QString()}), u" /p "_s);
        QVERIFY(!commandLineStartsScan(u" /p "_s));
        // Left is worked in single precision (2^24 + 1 is no float), top in double.
        const CentredPosition centred = centredPosition(16777217, 5490, 1, 11520);
        QCOMPARE(QPointF(centred.left, centred.top), QPointF(8388607.5, -2713.5));
        // A field starts at the next stop after the text before it, also when
        // that text is empty; past the last stop, at its interval (or width).
        const QFontMetrics metrics{QFont()};
        QCOMPARE(ResultListDelegate::fieldPositions(u"a\t\tb\t"_s, metrics, {105, 450}),
                 (QList<int>{0, 105, 450, 795}));
        QCOMPARE(ResultListDelegate::fieldPositions(u"\t\t"_s, metrics, {100}),
                 (QList<int>{0, 100, 200}));
        QCOMPARE(ResultListDelegate::nextTabStop(42, {}), 42);
        for (const char *bad :
             {"1..3.4", "1.2.3.0004", "1.2.256.4", "1.2.3.4.5", "1.2.3", "1.2.+3.a"})
            QVERIFY2(!splitDottedOctets(QString::fromLatin1(bad)), bad);
    }

    // A press and a move on the body drag the window, a double-click centres it;
    // not for a small move, the right button or a control on the body.
    void body()
    {
        // How far the window moved, then where a double-click left it from the centre.
        const auto mouse = [this](const char *place, Qt::MouseButton button, int move) {
            auto *on = child<QWidget>(m_window, place);
            const QPoint at(on->width() - 10, 10), to = at + QPoint(move, move);
            centreOnScreen(&m_window);
            const QPoint centred = m_window.pos();
            m_window.move(centred - QPoint(33, 21));
            QTest::mousePress(on, button, {}, at);
            QTest::mouseMove(on, to);
            QTest::mouseRelease(on, button, {}, to);
            const QPoint moved = m_window.pos() - centred + QPoint(33, 21);
            QTest::mouseClick(on, button, {}, at);
            QTest::mouseDClick(on, button, {}, at);
            return std::pair(moved, m_window.pos() - centred);
        };
        QCOMPARE(mouse("label", Qt::LeftButton, 40), std::pair(QPoint(40, 40), QPoint()));
        QCOMPARE(mouse("label", Qt::LeftButton, 1), std::pair(QPoint(), QPoint()));
        QCOMPARE(mouse("label", Qt::RightButton, 40), std::pair(QPoint(), QPoint(-33, -21)));
        QCOMPARE(mouse("check box", Qt::LeftButton, 40), std::pair(QPoint(), QPoint(-33, -21)));
    }

    // Keys where the focus is: characters, and \b Backspace, < Left, > Right,
    // \t Tab; then the rest is written as the field's text (=), or pasted with
    // Ctrl+V (^) or the context menu's Paste (#).
    void keys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("focusAfter"); // the octet box, -1 out of the field
        const auto row = [](const char *name, const QString &keys, const QString &text, int focus) {
            QTest::newRow(name) << keys << text << focus;
        };
        row("written leading zeros kept", u"=010.000.001.255"_s, u"010.000.001.255"_s, 0);
        row("dot in an empty box stays", u"..7"_s, u"7.0.0.0"_s, 0);
        row("backspace stops in box 0", u"12.3\b\b\b\b\b"_s, QString(), 0);
        row("left goes to the box end, stops in box 0", u"1.22<<<9<<<1"_s, u"119.22.0.0"_s, 0);
        row("right goes to the box start, stops in box 3", u"1.2.3.4<<>1>>>1"_s, u"1.2.3.141"_s, 3);
        row("tab leaves the field, empty boxes read 0", u"10\t1"_s, u"10.0.0.0"_s, -1);
        row("tab leaves an empty field", u"\t"_s, QString(), -1);
        row("paste an address", u"1.2.^ 010.20.30.40\n"_s, u"010.20.30.40"_s, 3);
        row("paste digits into the box", u"1.2.3.4^5"_s, u"1.2.3.45"_s, 3);
        row("context menu paste", u"1.#172.16.0.9"_s, u"172.16.0.9"_s, 3);
    }

    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        QFETCH(int, focusAfter);
        m_field->setText(QString());
        m_field->setFocus();
        QSignalSpy told(m_field, &IpAddressEdit::textChanged);
        const qsizetype cut = keys.indexOf(QRegularExpression(u"[=^#]"_s));
        for (const QChar ch : keys.left(cut)) {
            if (ch == u'<' || ch == u'>')
                QTest::keyClick(QApplication::focusWidget(),
                                ch == u'<' ? Qt::Key_Left : Qt::Key_Right);
            else // \b and \t are Backspace and Tab
                QTest::keyClick(QApplication::focusWidget(), ch.toLatin1());
        }
        QWidget *box = QApplication::focusWidget();
        QApplication::clipboard()->setText(keys.mid(cut + 1));
        if (cut >= 0 && keys[cut] == u'=') {
            m_field->setText(keys.mid(cut + 1));
            QCOMPARE(told.size(), 1);
        } else if (cut >= 0 && keys[cut] == u'^') {
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        } else if (cut >= 0) {
            QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {}, box->mapToGlobal(QPoint()));
            QApplication::sendEvent(box, &menuKey);
            auto *menu = box->findChild<QMenu *>();
            QVERIFY(menu);
            child<QAction>(menu, "paste")->trigger();
            menu->close();
        }
        QCOMPARE(m_field->text(), expected);
        int focus = -1;
        QStringList shown;
        for (int i = 0; i < 4; ++i) {
            focus = m_field->octetBox(i)->hasFocus() ? i : focus;
            shown.append(m_field->octetBox(i)->text());
        }
        QCOMPARE(focus, focusAfter);
        if (focusAfter < 0) // out of the field, it shows what it reads
            QCOMPARE(shown.join(u'.'), expected.isEmpty() ? u"..."_s : expected);
        // Each change is told once, with the text it leads to.
        QString last;
        for (const QList<QVariant> &signal : told) {
            QVERIFY(signal.at(0).toString() != last);
            last = signal.at(0).toString();
        }
        QCOMPARE(last, expected);
    }

    // The first address of the first interface up, passing over loopback, one
    // down (a veth pair's peer comes first) and the loopback range elsewhere.
    void ownIpNumber()
    {
        if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0)
            QSKIP("the own address needs root and a network namespace of its own");
        for (const char *command :
             {"link set lo up", "addr add 10.7.7.7/32 dev lo",
              "link add eth-up type veth peer name eth-down", "addr add 10.9.8.7/24 dev eth-down",
              "addr add 127.0.0.5/8 dev eth-up", "addr add 192.168.50.1/24 dev eth-up",
              "addr add 172.16.1.1/16 dev eth-up", "link set eth-up up"})
            QCOMPARE(QProcess::execute(u"ip"_s, QString::fromLatin1(command).split(u' ')), 0);
        QCOMPARE(IpAddressEdit::ownIpNumber(), u"192.168.50.1"_s);
    }

private:
    QWidget m_window;
    IpAddressEdit *m_field = new IpAddressEdit(&m_window);
};

QTEST_MAIN(TestMainWindowParts)
#include "tst_mainwindowparts.moc"
