// Echo requests not permitted: run in the network lab as root without
// CAP_NET_RAW (no raw sockets) and with net.ipv4.ping_group_range "1 0" (no
// ICMP datagram sockets). Start must say so once per press and change
// nothing, the IP Number List once per probing with its marks left empty; a
// Get Domain run, which sends no echo request, must still run. Once the
// namespace's ping_group_range lets group 0 in, the next Start and the next
// probing of the list send, without a restart.

#include "echoprober.h"
#include "faultmain.h"
#include "faultwindow.h"
#include "iplistgrid.h"
#include "iplistrules.h"
#include "iplistwindow.h"
#include "mainwindow.h"
#include "messageboxlog.h"
#include "settingsstore.h"
#include "widgetlookup.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

class TestFaultEcho : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void startSaysSoOncePerPress();
    void ipListSaysSoOncePerProbing();
    void getDomainStillRuns();
    void allowedAfterStartUpIsSeen();
};

namespace {

const QString PingGroupRange = u"/proc/sys/net/ipv4/ping_group_range"_s;

// Only ever the lab's scanner namespace, never the machine's.
bool inLabNamespace()
{
    const QByteArray lab = "/run/netns/" + qgetenv("CORVANE_LAB_SCANNER_NS");
    struct stat own
    {
    }, scanner{};
    return !qEnvironmentVariableIsEmpty("CORVANE_LAB_SCANNER_NS") &&
           ::stat("/proc/self/ns/net", &own) == 0 && ::stat(lab.constData(), &scanner) == 0 &&
           own.st_dev == scanner.st_dev && own.st_ino == scanner.st_ino;
}

bool setPingGroupRange(const QByteArray &range)
{
    QFile file(PingGroupRange);
    return inLabNamespace() && file.open(QIODevice::WriteOnly) &&
           file.write(range + '\n') == range.size() + 1;
}

// The IP Number List with 127.0.0.1 and an answering lab host in its first rows.
void storeList(SettingsStore &settings)
{
    const QString answering = qEnvironmentVariable("CORVANE_LAB_ANSWERING").section(u' ', 0, 0);
    settings.writeSetting(u"Corvane"_s, u"Options"_s, u"IP_0"_s, u"127.0.0.1"_s);
    settings.writeSetting(u"Corvane"_s, u"Options"_s, u"IP_1"_s, answering);
}

QStringList marks(const IpListWindow &list)
{
    QStringList result;
    for (int row = 0; row < child<IpListGrid>(list, "grid")->rowCount(); ++row)
        result.append(child<IpListGrid>(list, "grid")->cellText(row, kMarkerColumn));
    return result;
}

} // namespace

void TestFaultEcho::initTestCase()
{
    if (!qEnvironmentVariableIsSet("CORVANE_LAB") || geteuid() != 0)
        QSKIP("runs as root in the network lab, without raw sockets (CORVANE_LAB_DROP_CAPS)");
    QVERIFY2(inLabNamespace(), "not inside the lab's network namespace");
}

void TestFaultEcho::startSaysSoOncePerPress()
{
    FaultWindow window;
    QVERIFY(!window.prober().isAvailable());
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    MainWindow *form = window.form();
    QVERIFY(window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s));
    child<QListWidget>(form, "resultList")->addItem(u"a line from before"_s);
    MessageBoxLog told;

    for (int press = 1; press <= 3; ++press) {
        QTest::mouseClick(child<QPushButton>(form, "startButton"), Qt::LeftButton);
        QTRY_COMPARE(told.entries().size(), press);
        QCOMPARE(told.entries().last().title, u"Corvane"_s);
        QCOMPARE(told.entries().last().icon, QMessageBox::Warning);
        QVERIFY2(told.entries().last().beeped, "no beep before the message");
        QCOMPARE(told.entries().last().text,
                 echoUnavailableMessage(window.prober().unavailableReason()));
        QVERIFY(!form->isRunning());
        QVERIFY(child<QPushButton>(form, "startButton")->isEnabled());
        QVERIFY(!child<QPushButton>(form, "stopButton")->isEnabled());
        QCOMPARE(window.lines(), QStringList{u"a line from before"_s});
    }
}

void TestFaultEcho::ipListSaysSoOncePerProbing()
{
    FaultWindow window;
    storeList(window.settings());
    MessageBoxLog told;
    const QString message = echoUnavailableMessage(window.prober().unavailableReason());

    IpListWindow list(window.settings(), window.prober());
    QCOMPARE(told.texts(), QStringList{message});
    QVERIFY2(told.entries().last().beeped, "no beep before the message");
    QCOMPARE(told.entries().last().icon, QMessageBox::Warning);
    QCOMPARE(marks(list), QStringList(100, QString()));

    list.show();
    QVERIFY(QTest::qWaitForWindowActive(&list));
    QTest::keyClick(child<QLineEdit>(list, "cellEditor"), Qt::Key_F5);
    QTRY_COMPARE(told.texts(), QStringList(2, message));
    QVERIFY2(told.entries().last().beeped, "no beep before the message");
    QCOMPARE(marks(list), QStringList(100, QString()));
    QCOMPARE(child<IpListGrid>(list, "grid")->cellText(0, kIpNumberColumn), u"127.0.0.1"_s);
}

void TestFaultEcho::getDomainStillRuns()
{
    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QVERIFY(window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s));
    child<QRadioButton>(window.form(), "domainModeButton")->click();
    MessageBoxLog told;
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton")));
    QCOMPARE(told.texts(), QStringList());
    QVERIFY(child<QPushButton>(window.form(), "startButton")->isEnabled());
}

void TestFaultEcho::allowedAfterStartUpIsSeen()
{
    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QVERIFY(window.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s));
    storeList(window.settings());
    MessageBoxLog told;
    QTest::mouseClick(child<QPushButton>(window.form(), "startButton"), Qt::LeftButton);
    QTRY_COMPARE(told.entries().size(), 1);

    const auto closeAgain = qScopeGuard([] { setPingGroupRange("1 0"); });
    QVERIFY(setPingGroupRange("0 0"));

    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton")));
    QStringList expected;
    for (int host = 1; host <= 10; ++host)
        expected.append(FaultWindow::pingLine(u"198.18.1.%1"_s.arg(host)));
    QCOMPARE(window.lines(), expected);

    IpListWindow list(window.settings(), window.prober());
    QCOMPARE(told.entries().size(), 1);
    QCOMPARE(marks(list).mid(0, 3), (QStringList{u"X"_s, u"X"_s, QString()}));
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultEcho>(argc, argv);
}

#include "tst_faultecho.moc"
