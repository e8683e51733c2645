// Scans in the network lab (tests/lab): a whole /16 with names against the
// lab's name server, and a /24 while another program floods the scanner's
// ICMP with echo requests, replies and junk. CMake runs each function as a
// test of its own, in the lab it needs.

#include "faultmain.h"
#include "faultwindow.h"
#include "mainwindow.h"
#include "messageboxlog.h"
#include "widgetlookup.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace {

QStringList labList(const char *variable)
{
    return qEnvironmentVariable(variable).split(u' ', Qt::SkipEmptyParts);
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestFaultLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeSlash16WithNames();
    void floodLeavesTheResultAlone();
};

void TestFaultLab::initTestCase()
{
    if (!qEnvironmentVariableIsSet("CORVANE_LAB"))
        QSKIP("runs in the network lab (tests/lab/run-in-lab.sh)");
}

void TestFaultLab::wholeSlash16WithNames()
{
    const QString queryLog = qEnvironmentVariable("CORVANE_DNS_QUERY_LOG");
    if (qEnvironmentVariable("CORVANE_LAB_NET") != u"198.18.0.0/16" || queryLog.isEmpty())
        QSKIP("needs the lab with CORVANE_LAB_HOSTS_NET=198.18.0.0/16 and dns-run.sh");

    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    QTemporaryDir logs;
    QVERIFY(window.setLog(logs.path(), true, true));
    child<QCheckBox>(window.form(), "namesCheck")->setChecked(true);
    QVERIFY(window.setRange(u"198.18.0.0"_s, u"198.18.255.255"_s));
    MessageBoxLog told;
    const qsizetype questionsBefore = readAll(queryLog).count("query[PTR]");
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton"), 240000));

    // dnsmasq makes up a name for every address: host-198-18-0-1.big.test.
    QStringList expected;
    QByteArray expectedLog;
    for (const QString &address : labList("CORVANE_LAB_ANSWERING")) {
        const QString name = u"host-"_s + QString(address).replace(u'.', u'-') + u".big.test"_s;
        expected.append(FaultWindow::pingLine(address, name));
        expectedLog += FaultWindow::pingLogLine(address, name);
    }
    QCOMPARE(expected.size(), 10);
    QCOMPARE(window.lines(), expected);
    QCOMPARE(child<QLabel>(window.form(), "statusLabel")->text(), u"10 pinged IP Numbers"_s);
    QCOMPARE(readAll(logs.path() + u"/ipnums.txt"_s), expectedLog);
    QCOMPARE(told.texts(), QStringList());
    // Every address of the range was asked about exactly once.
    QCOMPARE(readAll(queryLog).count("query[PTR]") - questionsBefore, 65536);
}

void TestFaultLab::floodLeavesTheResultAlone()
{
    const QString flood = qEnvironmentVariable("CORVANE_PINGFLOOD");
    if (flood.isEmpty())
        QSKIP("needs CORVANE_PINGFLOOD, the flood helper of tests/lab");

    FaultWindow window;
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    const QString net = qEnvironmentVariable("CORVANE_LAB_NET").section(u'/', 0, 0);
    const QString last = net.section(u'.', 0, 2) + u".255"_s;
    QVERIFY(window.setRange(net, last));

    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton")));
    const QStringList quiet = window.lines();
    QStringList answering;
    for (const QString &address : labList("CORVANE_LAB_ANSWERING"))
        answering.append(FaultWindow::pingLine(address));
    QCOMPARE(quiet, answering);

    // Bounded by count and time; ended as soon as the scan is done.
    QProcess flooder;
    flooder.start(flood, {u"--junk"_s, u"--seconds"_s, u"30"_s, u"--count"_s, u"5000000"_s});
    QVERIFY(flooder.waitForStarted());
    QByteArray said;
    QTRY_VERIFY2((said += flooder.readAllStandardOutput()).contains("flooding"),
                 qPrintable(QString::fromLocal8Bit(said + flooder.readAllStandardError())));
    QVERIFY(window.setRange(net, last));
    QVERIFY(window.clickAndWaitForEnd(child<QPushButton>(window.form(), "startButton")));
    const bool floodedThroughout = flooder.state() == QProcess::Running;
    flooder.terminate();
    QVERIFY(flooder.waitForFinished(10000));

    QVERIFY2(floodedThroughout, "the flood ended before the scan did");
    QCOMPARE(window.lines(), quiet);
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultLab>(argc, argv);
}

#include "tst_faultlab.moc"
