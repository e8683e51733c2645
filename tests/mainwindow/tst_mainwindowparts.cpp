// The main window's parts: stored numbers, the command line, the caption,
// centring, the result list's tab stops, the address field, the own address,
// and dragging and centring by the window's body (the tray is driven under a
// real tray in tests/e2e).

#include "centreonscreen.h"
#include "centring.h"
#include "dragbybody.h"
#include "ipaddressedit.h"
#include "ipaddresstext.h"
#include "mainwindowrules.h"
#include "mainwindowsettings.h"
#include "resultlistdelegate.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <sched.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

// Also when run by hand: a screen and a clipboard of its own, never the user's.
[[maybe_unused]] static const bool kOwnScreen = qputenv("QT_QPA_PLATFORM", "offscreen");

class TestMainWindowParts : public QObject
{
    Q_OBJECT

private slots:
    // A window with a label and a frame that drag and centre it, and controls that must not.
    void initTestCase()
    {
        const auto part = [](QWidget *widget, const QString &name, const QRect &where) {
            widget->setObjectName(name);
            widget->setGeometry(where);
            return widget;
        };
        QWidget *frame =
            part(new QGroupBox(u"Log File"_s, &m_window), u"frame"_s, {200, 10, 180, 150});
        part(new QCheckBox(u"Enabled"_s, frame), u"check box in the frame"_s, {10, 30, 160, 20});
        part(new QPushButton(u"&Start"_s, &m_window), u"button"_s, {10, 40, 80, 25});
        part(new QPushButton(u"S&top"_s, &m_window), u"disabled button"_s, {100, 40, 80, 25})
            ->setEnabled(false);
        auto *drag = new DragByBody(&m_window);
        for (QWidget *area :
             {&m_window, frame,
              part(new QLabel(u"Start IP"_s, &m_window), u"label"_s, {10, 10, 120, 20})})
            drag->watch(area);
        m_field->setGeometry(10, 80, 180, 25);
        m_window.setGeometry(40, 50, 400, 300);
        m_window.show();
        QVERIFY(QTest::qWaitForWindowActive(&m_window));
    }

    // What counts as a number and its rounding are checked against strtod by a fuzzer.
    void settingValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("state"); // -1: no check state
        QTest::addColumn<int>("parallel");
        QTest::newRow("0 unchecks, Parallel below its range") << u"0"_s << 0 << kDefaultParallel;
        QTest::newRow("spaces around") << u"  1  "_s << 2 << 1;
        QTest::newRow("plus sign greys") << u"+2"_s << 1 << 2;
        QTest::newRow("hexadecimal") << u"0x1"_s << -1 << kDefaultParallel;
        QTest::newRow("Parallel at its limit") << u"65536"_s << -1 << 65536;
        QTest::newRow("Parallel beyond its limit") << u"65537"_s << -1 << kDefaultParallel;
    }

    void settingValues()
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
    void dottedOctets_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("octets"); // joined by "|"; empty: not an address
        QTest::newRow("leading zeros kept") << u"010.000.001.255"_s << u"010|000|001|255"_s;
        for (const char *bad :
             {"1..3.4", "1.2.3.0004", "1.2.256.4", "1.2.3.4.5", "1.2.3", "1.2.+3.a", " 1.2.3.4"})
            QTest::newRow(bad) << QString::fromLatin1(bad) << QString();
    }

    void dottedOctets()
    {
        QFETCH(QString, text);
        QFETCH(QString, octets);
        const auto split = splitDottedOctets(text);
        QCOMPARE(split ? QStringList(split->begin(), split->end()).join(u'|') : QString(), octets);
    }

    void textsAndCommandLine()
    {
        QVERIFY(!commandLineStartsScan(joinCommandLine({QString(), u"/p"_s, QString()})));
        QVERIFY(commandLineStartsScan(joinCommandLine({u"/p"_s, u"now"_s})));
        QCOMPARE(windowCaption(u"192.0.2.2"_s),
                 u"Corvane            Your IP Number is 192.0.2.2"_s);
        QCOMPARE(windowCaption(QString()), u"Corvane            Your IP Number is N/A"_s);
        qputenv("CORVANE_CHECK_HOST", "name.invalid");
        QCOMPARE(networkCheckHostName(), u"name.invalid"_s);
        qputenv("CORVANE_CHECK_HOST", "");
        QCOMPARE(networkCheckHostName(), u"www.debian.org"_s);
    }

    void centring_data()
    {
        QTest::addColumn<QRectF>("screenAndWindow"); // screen size, window size
        QTest::addColumn<QPointF>("position");
        QTest::newRow("1024 x 768 in twips")
            << QRectF(15360, 11520, 6660, 5490) << QPointF(4350, 2713.5);
        QTest::newRow("larger than the screen")
            << QRectF(1024, 768, 1100, 800) << QPointF(-38, -14.4);
        // Left is worked in single precision (2^24 + 1 is no float), top in double.
        QTest::newRow("precisions")
            << QRectF(16777217, 16777217, 0, 0) << QPointF(8388608, 7549747.65);
    }

    void centring()
    {
        QFETCH(QRectF, screenAndWindow);
        QFETCH(QPointF, position);
        const QRectF &r = screenAndWindow;
        const CentredPosition centred = centredPosition(r.x(), r.y(), r.width(), r.height());
        QCOMPARE(QPointF(centred.left, centred.top), position);
    }

    // A field starts at the next stop after the text before it, also when that text is empty.
    void tabStops_data()
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

    void tabStops()
    {
        QFETCH(int, x);
        QFETCH(QList<int>, stops);
        QFETCH(int, next);
        QCOMPARE(ResultListDelegate::nextTabStop(x, stops), next);
        QCOMPARE(
            ResultListDelegate::fieldPositions(u"a\t\tb\t"_s, QFontMetrics(QFont()), {105, 450}),
            (QList<int>{0, 105, 450, 795}));
    }

    void body_data()
    {
        QTest::addColumn<QString>("place");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("move");
        QTest::addColumn<bool>("drags");
        QTest::addColumn<bool>("centres");
        for (const char *place : {"label", "background", "frame"})
            QTest::newRow(place) << QString::fromLatin1(place) << Qt::LeftButton << 40 << true
                                 << true;
        QTest::newRow("small move") << u"label"_s << Qt::LeftButton << 1 << false << true;
        QTest::newRow("right button") << u"background"_s << Qt::RightButton << 40 << false << false;
        for (const char *place : {"button", "disabled button", "check box in the frame"})
            QTest::newRow(place) << QString::fromLatin1(place) << Qt::LeftButton << 40 << false
                                 << false;
    }

    // A press and a move, then a double-click, on one place of the window.
    void body()
    {
        QFETCH(QString, place);
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, move);
        QFETCH(bool, drags);
        QFETCH(bool, centres);
        auto *widget = place == u"background" ? &m_window : m_window.findChild<QWidget *>(place);
        // Beside a check box's text the press reaches the frame below it.
        const QPoint at =
            place == u"background" ? QPoint(100, 250) : QPoint(widget->width() - 10, 10);
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

    // Keys as a person presses them where the focus is: characters, and \b
    // Backspace, < Left, > Right, \t Tab, "," the keypad's decimal comma; ^ (Ctrl+V)
    // and # (the context menu's Paste) paste the rest, = writes the rest as the
    // field's text. What any keys leave in the boxes is checked by a fuzzer.
    void keys_data()
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

    void keys()
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
            QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {},
                                      target->mapToGlobal(QPoint()));
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
    void ownIpNumber_data()
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

    void ownIpNumber()
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

private:
    QWidget m_window;
    IpAddressEdit *m_field = new IpAddressEdit(&m_window);
};

QTEST_MAIN(TestMainWindowParts)
#include "tst_mainwindowparts.moc"
