#include "browserlauncher.h"
#include "ccrpipaddress.h"
#include "dirlist.h"
#include "drivelist.h"
#include "echoprober.h"
#include "form1.h"
#include "hostresolver.h"
#include "mainwindowrules.h"
#include "settingsstore.h"
#include "tst_form1helpers.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_Form1Layout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void controlsInsideTheFrame();
    void windowFrame();
    void tabOrder();
    void focusStartsInTheStartField();
    void optionButtonsSwitchTheNameBox();
    void escapeClosesFromAnyControl_data();
    void escapeClosesFromAnyControl();
    void accessKeysPressButtons();
    void buttonsOpenTheirWindows_data();
    void buttonsOpenTheirWindows();

private:
    int px(int twips) const { return twipsToPixels(twips, m_dpi); }

    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<HostResolver> m_resolver;
    std::unique_ptr<BrowserLauncher> m_browser;
    std::unique_ptr<Form1> m_form;
    qreal m_dpi = 96;
};

void tst_Form1Layout::initTestCase()
{
    // The start-up check must not leave loopback.
    qputenv("CORVANE_CHECK_HOST", "localhost");
    m_settings = createSystemSettingsStore();
    m_prober = createSystemEchoProber();
    m_resolver = createSystemHostResolver();
    m_browser = createSystemBrowserLauncher();
    m_dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
}

void tst_Form1Layout::init()
{
    m_form = std::make_unique<Form1>(*m_settings, *m_prober, *m_resolver, *m_browser);
}

void tst_Form1Layout::cleanup()
{
    m_form.reset();
}

void tst_Form1Layout::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("enabled");

    const auto row = [](const char *name, QRect twips, const QString &caption,
                        const QString &toolTip, bool bold, bool enabled = true) {
        QTest::newRow(name) << QString::fromLatin1(name) << twips << caption << toolTip << bold
                            << enabled;
    };
    row("Label1", {120, 120, 1455, 255}, u"Start IP Number"_s, {}, true);
    row("IP", {120, 360, 3255, 375}, {}, {}, false);
    row("Label2", {120, 840, 1455, 255}, u"Stop IP Number"_s, {}, true);
    row("IP2", {120, 1080, 3255, 375}, {}, {}, false);
    row("Option1", {1680, 120, 735, 195}, u"Ping"_s, {}, false);
    row("Option2", {2520, 120, 1215, 195}, u"Get Domain"_s, {}, false);
    row("Check3", {3960, 120, 1455, 195}, u"Domain Name"_s, {}, false);
    row("Command1", {3960, 360, 735, 375}, u"&Start"_s, u" Start processing IP Numbers "_s, true);
    row("Command2", {4800, 360, 735, 375}, u"S&top"_s, u" Stop processing IP Numbers "_s, true,
        false);
    row("Command3", {5640, 360, 855, 375}, u"&Resume"_s, u" Resume processing IP Numbers "_s, true,
        false);
    row("Frame1", {3960, 840, 2535, 3375}, u"Log File"_s, {}, true);
    row("Check2", {5400, 1080, 975, 255}, u"Overwrite"_s, {}, false);
    row("List1", {120, 1560, 3735, 2595}, {}, {}, false);
    row("Label3", {120, 4245, 6255, 255}, {}, {}, false);
    row("Command5", {120, 4560, 855, 375}, u"&Copy"_s, u" Copy IP Numbers to Clipboard "_s, true,
        false);
    row("Command6", {1080, 4560, 855, 375}, u"&Print"_s, u" Print IP Numbers "_s, true, false);
    row("Command9", {2040, 4560, 855, 375}, u"&List"_s, u" IP Number List "_s, true);
    row("Command11", {3000, 4560, 615, 375}, u"&IP"_s, u" Get IP Number from domain name "_s, true);
    row("Command12", {3720, 4560, 855, 375}, u"&Domain"_s, u" Get domain name from IP Number "_s,
        true);
    row("Command7", {4680, 4560, 855, 375}, u"&About"_s, u" Info on Corvane "_s, true);
    row("Command4", {5640, 4560, 855, 375}, u"&Exit"_s, u" Exit Corvane "_s, true);
}

void tst_Form1Layout::controls()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);
    QFETCH(bool, bold);
    QFETCH(bool, enabled);

    auto *control = m_form->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QCOMPARE(control->parentWidget(), m_form.get());
    QCOMPARE(control->geometry(),
             QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
    QCOMPARE(control->toolTip(), toolTip);
    QCOMPARE(control->font().bold(), bold);
    QCOMPARE(control->isEnabled(), enabled);
    QCOMPARE(control->font().pointSizeF(), 8.25);

    QString shown;
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        shown = button->text();
    else if (auto *label = qobject_cast<QLabel *>(control))
        shown = label->text();
    else if (auto *frame = qobject_cast<QGroupBox *>(control))
        shown = frame->title();
    QCOMPARE(shown, caption);
}

void tst_Form1Layout::controlsInsideTheFrame()
{
    const struct
    {
        QWidget *control;
        QRect twips;
    } inside[] = {{m_form->Check1, {120, 240, 975, 255}},
                  {m_form->Drive1, {120, 600, 2295, 315}},
                  {m_form->Dir1, {120, 960, 2295, 1890}},
                  {m_form->Text1, {120, 3000, 2295, 285}}};
    for (const auto &[control, twips] : inside) {
        QCOMPARE(control->parentWidget(), m_form->Frame1);
        QCOMPARE(control->geometry(),
                 QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
        QVERIFY(!control->font().bold());
    }
    QCOMPARE(m_form->Check1->text(), u"Enabled"_s);
    QCOMPARE(m_form->Check1->checkState(), Qt::Checked);
    QCOMPARE(m_form->Check2->checkState(), Qt::Checked);
    QVERIFY(m_form->Option1->isChecked());
    QVERIFY(!m_form->Option2->isChecked());
    QVERIFY(!m_form->Check3->isChecked());
    QCOMPARE(m_form->List1->count(), 0);
    QVERIFY(m_form->Label3->text().isEmpty());

    // "Overwrite" lies over the frame and must not be hidden by it.
    const QPoint centre = m_form->Check2->geometry().center();
    QCOMPARE(m_form->childAt(centre), m_form->Check2);
}

void tst_Form1Layout::windowFrame()
{
    QCOMPARE(m_form->windowTitle(), u"Corvane"_s);
    QCOMPARE(m_form->size(), QSize(px(6540), px(5025)));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    const Qt::WindowFlags flags = m_form->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!m_form->font().bold());
    QCOMPARE(m_form->font().pointSizeF(), 8.25);
}

void tst_Form1Layout::tabOrder()
{
    const QList<QWidget *> expected{
        m_form->IP,       m_form->Command1, m_form->Command2, m_form->Command3,  m_form->IP2,
        m_form->Check1,   m_form->Check2,   m_form->Drive1,   m_form->Dir1,      m_form->Text1,
        m_form->Command5, m_form->Command6, m_form->Command9, m_form->Command11, m_form->Command12,
        m_form->Command7, m_form->Command4, m_form->List1,    m_form->Option1,   m_form->Option2,
        m_form->Check3};

    // Walk the focus chain from the start field and note each named control
    // the first time the chain reaches it or one of its inner parts.
    const auto namedControl = [&expected](QWidget *widget) -> QWidget * {
        for (QWidget *w = widget; w; w = w->parentWidget()) {
            if (expected.contains(w))
                return w;
        }
        return nullptr;
    };
    QList<QWidget *> seen;
    QWidget *widget = m_form->IP;
    for (int steps = 0; steps < 500 && seen.size() < expected.size(); ++steps) {
        if (widget->focusPolicy() & Qt::TabFocus) {
            QWidget *control = namedControl(widget);
            if (control && !seen.contains(control))
                seen.append(control);
        }
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(seen, expected);
}

void tst_Form1Layout::focusStartsInTheStartField()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QVERIFY(focus == m_form->IP || m_form->IP->isAncestorOf(focus));
}

void tst_Form1Layout::optionButtonsSwitchTheNameBox()
{
    m_form->Check3->setChecked(false);
    m_form->Option2->click();
    QVERIFY(m_form->Check3->isChecked());
    QVERIFY(!m_form->Check3->isEnabled());

    m_form->Option1->click();
    QVERIFY(m_form->Check3->isEnabled());
    QVERIFY2(m_form->Check3->isChecked(), "the tick is left as it was");
}

void tst_Form1Layout::escapeClosesFromAnyControl_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("file name box") << u"Text1"_s;
    QTest::newRow("start field") << u"IP"_s;
    QTest::newRow("stop field") << u"IP2"_s;
    QTest::newRow("a button") << u"Command9"_s;
    QTest::newRow("the result list") << u"List1"_s;
    QTest::newRow("a check box") << u"Check2"_s;
}

void tst_Form1Layout::escapeClosesFromAnyControl()
{
    QFETCH(QString, name);
    QSignalSpy unloaded(m_form.get(), &Form1::unloaded);
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    auto *control = m_form->findChild<QWidget *>(name);
    QVERIFY(control);
    control->setFocus(Qt::TabFocusReason);
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus == control || control->isAncestorOf(focus));

    QTest::keyClick(focus, Qt::Key_Escape);
    QVERIFY(!m_form->isVisible());
    QCOMPARE(unloaded.count(), 1);
}

void tst_Form1Layout::accessKeysPressButtons()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QSignalSpy exitClicked(m_form->Command4, &QPushButton::clicked);
    QSignalSpy unloaded(m_form.get(), &Form1::unloaded);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
    QTRY_COMPARE(exitClicked.count(), 1);
    QTRY_COMPARE(unloaded.count(), 1);
}

void tst_Form1Layout::buttonsOpenTheirWindows_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("classNames");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("labelPart");

    QTest::newRow("List opens the IP Number List")
        << u"Command9"_s << QStringList{u"Form2"_s} << QStringList{u"Corvane - IP Number List"_s}
        << QString();
    QTest::newRow("IP asks for a domain name")
        << u"Command11"_s << QStringList{u"QInputDialog"_s} << QStringList{u"Corvane"_s}
        << u"Enter domain name (example: "_s;
    QTest::newRow("Domain asks for an IP Number")
        << u"Command12"_s << QStringList{u"QInputDialog"_s} << QStringList{u"Corvane"_s}
        << u"Enter IP Number (example: "_s;
    QTest::newRow("About shows the About box, then offers the web site")
        << u"Command7"_s << QStringList{u"QMessageBox"_s, u"QMessageBox"_s}
        << QStringList{u"Corvane - About Box"_s, u"Corvane"_s} << QString();
}

void tst_Form1Layout::buttonsOpenTheirWindows()
{
    QFETCH(QString, button);
    QFETCH(QStringList, classNames);
    QFETCH(QStringList, titles);
    QFETCH(QString, labelPart);

    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QString label;
    QList<std::function<void(QWidget *)>> answers;
    for (qsizetype i = 0; i < classNames.size(); ++i) {
        answers.append([&label](QWidget *widget) {
            if (auto *input = qobject_cast<QInputDialog *>(widget))
                label = input->labelText();
            // Cancel, Escape, No: whatever the window offers to go away
            // without doing anything.
            if (auto *box = qobject_cast<QMessageBox *>(widget)) {
                if (QAbstractButton *no = box->button(QMessageBox::No))
                    no->click();
                else
                    box->button(QMessageBox::Ok)->click();
            } else if (auto *dialog = qobject_cast<QDialog *>(widget)) {
                dialog->reject();
            }
        });
    }
    ModalSequenceAnswerer answerer(answers);
    auto *control = m_form->findChild<QPushButton *>(button);
    QVERIFY(control);
    QTest::mouseClick(control, Qt::LeftButton);
    QTRY_VERIFY(answerer.done());
    QCOMPARE(answerer.classNames, classNames);
    QCOMPARE(answerer.titles, titles);
    if (!labelPart.isEmpty())
        QVERIFY2(label.startsWith(labelPart), qPrintable(label));
    QVERIFY(m_form->isVisible());
}

QTEST_MAIN(tst_Form1Layout)
#include "tst_form1layout.moc"
