// Echo requests not permitted: run in the network lab as an unprivileged
// user, with net.ipv4.ping_group_range "1 0" (no ICMP datagram sockets) and
// no raw sockets. Start must say so once per press and change nothing; a Get
// Domain run, which sends no echo request, must still run.

#include "echoprober.h"
#include "faultmain.h"
#include "faultwindow.h"
#include "form1.h"
#include "messageboxlog.h"

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

class TstFaultEcho : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startSaysSoOncePerPress();
    void getDomainStillRuns();
};

void TstFaultEcho::initTestCase()
{
    if (!qEnvironmentVariableIsSet("CORVANE_LAB") || geteuid() == 0)
        QSKIP("runs in the network lab as an unprivileged user (CORVANE_LAB_RUN_AS)");
}

void TstFaultEcho::startSaysSoOncePerPress()
{
    FaultWindow window;
    QVERIFY(!window.prober().isAvailable());
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    Form1 *form = window.form();
    QVERIFY(window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s));
    form->List1->addItem(u"a line from before"_s);
    MessageBoxLog told;

    for (int press = 1; press <= 3; ++press) {
        QTest::mouseClick(form->Command1, Qt::LeftButton);
        QTRY_COMPARE(told.entries().size(), press);
        QCOMPARE(told.entries().last().title, u"Corvane"_s);
        QCOMPARE(told.entries().last().icon, QMessageBox::Warning);
        QVERIFY2(told.entries().last().text.contains(window.prober().unavailableReason()),
                 qPrintable(told.entries().last().text));
        QVERIFY(!form->isRunning());
        QVERIFY(form->Command1->isEnabled());
        QVERIFY(!form->Command2->isEnabled());
        QCOMPARE(window.lines(), QStringList{u"a line from before"_s});
    }
}

void TstFaultEcho::getDomainStillRuns()
{
    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QVERIFY(window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s));
    window.form()->Option2->click();
    MessageBoxLog told;
    QVERIFY(window.clickAndWaitForEnd(window.form()->Command1));
    QCOMPARE(told.texts(), QStringList());
    QVERIFY(window.form()->Command1->isEnabled());
}

int main(int argc, char **argv)
{
    return runFaultTest<TstFaultEcho>(argc, argv);
}

#include "tst_faultecho.moc"
