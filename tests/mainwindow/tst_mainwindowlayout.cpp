#include "browserlauncher.h"
#include "dirlist.h"
#include "drivelist.h"
#include "echoprober.h"
#include "hostresolver.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "mainwindowfixture.h"
#include "mainwindowrules.h"
#include "settingsstore.h"
#include "widgetlookup.h"

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

class TestMainWindowLayout : public QObject
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
    std::unique_ptr<MainWindow> m_form;
    qreal m_dpi = 96;
};

void TestMainWindowLayout::initTestCase()
{
    // The start-up check must not leave loopback.
    qputenv("CORVANE_CHECK_HOST", "localhost");
    m_settings = createSystemSettingsStore();
    m_prober = createSystemEchoProber();
    m_resolver = createSystemHostResolver();
    m_browser = createSystemBrowserLauncher();
    m_dpi = QGuiApplication::primaryScreen()->logicalDotsPerInchX();
}

void TestMainWindowLayout::init()
{
    m_form = std::make_unique<MainWindow>(*m_settings, *m_prober, *m_resolver, *m_browser);
}

void TestMainWindowLayout::cleanup()
{
    m_form.reset();
}

void TestMainWindowLayout::controls_data()
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
    row("startLabel", {120, 120, 1455, 255}, u"Start IP Number"_s, {}, true);
    row("startAddressEdit", {120, 360, 3255, 375}, {}, {}, false);
    row("stopLabel", {120, 840, 1455, 255}, u"Stop IP Number"_s, {}, true);
    row("stopAddressEdit", {120, 1080, 3255, 375}, {}, {}, false);
    row("pingModeButton", {1680, 120, 735, 195}, u"Ping"_s, {}, false);
    row("domainModeButton", {2520, 120, 1215, 195}, u"Get Domain"_s, {}, false);
    row("namesCheck", {3960, 120, 1455, 195}, u"Domain Name"_s, {}, false);
    row("startButton", {3960, 360, 735, 375}, u"&Start"_s, u" Start processing IP Numbers "_s,
        true);
    row("stopButton", {4800, 360, 735, 375}, u"S&top"_s, u" Stop processing IP Numbers "_s, true,
        false);
    row("resumeButton", {5640, 360, 855, 375}, u"&Resume"_s, u" Resume processing IP Numbers "_s,
        true, false);
    row("logGroup", {3960, 840, 2535, 3375}, u"Log File"_s, {}, true);
    row("overwriteCheck", {5400, 1080, 975, 255}, u"Overwrite"_s, {}, false);
    row("resultList", {120, 1560, 3735, 2595}, {}, {}, false);
    row("statusLabel", {120, 4245, 6255, 255}, {}, {}, false);
    row("copyButton", {120, 4560, 855, 375}, u"&Copy"_s, u" Copy IP Numbers to Clipboard "_s, true,
        false);
    row("printButton", {1080, 4560, 855, 375}, u"&Print"_s, u" Print IP Numbers "_s, true, false);
    row("listButton", {2040, 4560, 855, 375}, u"&List"_s, u" IP Number List "_s, true);
    row("findAddressButton", {3000, 4560, 615, 375}, u"&IP"_s,
        u" Get IP Number from domain name "_s, true);
    row("findNameButton", {3720, 4560, 855, 375}, u"&Domain"_s,
        u" Get domain name from IP Number "_s, true);
    row("aboutButton", {4680, 4560, 855, 375}, u"&About"_s, u" Info on Corvane "_s, true);
    row("exitButton", {5640, 4560, 855, 375}, u"&Exit"_s, u" Exit Corvane "_s, true);
}

void TestMainWindowLayout::controls()
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

void TestMainWindowLayout::controlsInsideTheFrame()
{
    const struct
    {
        QWidget *control;
        QRect twips;
    } inside[] = {{child<QCheckBox>(m_form, "logEnabledCheck"), {120, 240, 975, 255}},
                  {child<DriveList>(m_form, "driveCombo"), {120, 600, 2295, 315}},
                  {child<DirList>(m_form, "folderTree"), {120, 960, 2295, 1890}},
                  {child<QLineEdit>(m_form, "logFileEdit"), {120, 3000, 2295, 285}}};
    for (const auto &[control, twips] : inside) {
        QCOMPARE(control->parentWidget(), child<QGroupBox>(m_form, "logGroup"));
        QCOMPARE(control->geometry(),
                 QRect(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height())));
        QVERIFY(!control->font().bold());
    }
    QCOMPARE(child<QCheckBox>(m_form, "logEnabledCheck")->text(), u"Enabled"_s);
    QCOMPARE(child<QCheckBox>(m_form, "logEnabledCheck")->checkState(), Qt::Checked);
    QCOMPARE(child<QCheckBox>(m_form, "overwriteCheck")->checkState(), Qt::Checked);
    QVERIFY(child<QRadioButton>(m_form, "pingModeButton")->isChecked());
    QVERIFY(!child<QRadioButton>(m_form, "domainModeButton")->isChecked());
    QVERIFY(!child<QCheckBox>(m_form, "namesCheck")->isChecked());
    QCOMPARE(child<QListWidget>(m_form, "resultList")->count(), 0);
    QVERIFY(child<QLabel>(m_form, "statusLabel")->text().isEmpty());

    // "Overwrite" lies over the frame and must not be hidden by it.
    const QPoint centre = child<QCheckBox>(m_form, "overwriteCheck")->geometry().center();
    QCOMPARE(m_form->childAt(centre), child<QCheckBox>(m_form, "overwriteCheck"));
}

void TestMainWindowLayout::windowFrame()
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

void TestMainWindowLayout::tabOrder()
{
    const QList<QWidget *> expected{child<IpAddressEdit>(m_form, "startAddressEdit"),
                                    child<QPushButton>(m_form, "startButton"),
                                    child<QPushButton>(m_form, "stopButton"),
                                    child<QPushButton>(m_form, "resumeButton"),
                                    child<IpAddressEdit>(m_form, "stopAddressEdit"),
                                    child<QCheckBox>(m_form, "logEnabledCheck"),
                                    child<QCheckBox>(m_form, "overwriteCheck"),
                                    child<DriveList>(m_form, "driveCombo"),
                                    child<DirList>(m_form, "folderTree"),
                                    child<QLineEdit>(m_form, "logFileEdit"),
                                    child<QPushButton>(m_form, "copyButton"),
                                    child<QPushButton>(m_form, "printButton"),
                                    child<QPushButton>(m_form, "listButton"),
                                    child<QPushButton>(m_form, "findAddressButton"),
                                    child<QPushButton>(m_form, "findNameButton"),
                                    child<QPushButton>(m_form, "aboutButton"),
                                    child<QPushButton>(m_form, "exitButton"),
                                    child<QListWidget>(m_form, "resultList"),
                                    child<QRadioButton>(m_form, "pingModeButton"),
                                    child<QRadioButton>(m_form, "domainModeButton"),
                                    child<QCheckBox>(m_form, "namesCheck")};

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
    QWidget *widget = child<IpAddressEdit>(m_form, "startAddressEdit");
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

void TestMainWindowLayout::focusStartsInTheStartField()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus);
    QVERIFY(focus == child<IpAddressEdit>(m_form, "startAddressEdit") ||
            child<IpAddressEdit>(m_form, "startAddressEdit")->isAncestorOf(focus));
}

void TestMainWindowLayout::optionButtonsSwitchTheNameBox()
{
    child<QCheckBox>(m_form, "namesCheck")->setChecked(false);
    child<QRadioButton>(m_form, "domainModeButton")->click();
    QVERIFY(child<QCheckBox>(m_form, "namesCheck")->isChecked());
    QVERIFY(!child<QCheckBox>(m_form, "namesCheck")->isEnabled());

    child<QRadioButton>(m_form, "pingModeButton")->click();
    QVERIFY(child<QCheckBox>(m_form, "namesCheck")->isEnabled());
    QVERIFY2(child<QCheckBox>(m_form, "namesCheck")->isChecked(), "the tick is left as it was");
}

void TestMainWindowLayout::escapeClosesFromAnyControl_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("file name box") << u"logFileEdit"_s;
    QTest::newRow("start field") << u"startAddressEdit"_s;
    QTest::newRow("stop field") << u"stopAddressEdit"_s;
    QTest::newRow("a button") << u"listButton"_s;
    QTest::newRow("the result list") << u"resultList"_s;
    QTest::newRow("a check box") << u"overwriteCheck"_s;
}

void TestMainWindowLayout::escapeClosesFromAnyControl()
{
    QFETCH(QString, name);
    QSignalSpy unloaded(m_form.get(), &MainWindow::unloaded);
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

void TestMainWindowLayout::accessKeysPressButtons()
{
    m_form->show();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QSignalSpy exitClicked(child<QPushButton>(m_form, "exitButton"), &QPushButton::clicked);
    QSignalSpy unloaded(m_form.get(), &MainWindow::unloaded);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_E, Qt::AltModifier);
    QTRY_COMPARE(exitClicked.count(), 1);
    QTRY_COMPARE(unloaded.count(), 1);
}

void TestMainWindowLayout::buttonsOpenTheirWindows_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("classNames");
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("labelPart");

    QTest::newRow("List opens the IP Number List")
        << u"listButton"_s << QStringList{u"IpListWindow"_s}
        << QStringList{u"Corvane - IP Number List"_s} << QString();
    QTest::newRow("IP asks for a domain name")
        << u"findAddressButton"_s << QStringList{u"QInputDialog"_s} << QStringList{u"Corvane"_s}
        << u"Enter domain name (example: "_s;
    QTest::newRow("Domain asks for an IP Number")
        << u"findNameButton"_s << QStringList{u"QInputDialog"_s} << QStringList{u"Corvane"_s}
        << u"Enter IP Number (example: "_s;
    QTest::newRow("About shows the About box, then offers the web site")
        << u"aboutButton"_s << QStringList{u"QMessageBox"_s, u"QMessageBox"_s}
        << QStringList{u"Corvane - About Box"_s, u"Corvane"_s} << QString();
}

void TestMainWindowLayout::buttonsOpenTheirWindows()
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

QTEST_MAIN(TestMainWindowLayout)
#include "tst_mainwindowlayout.moc"
