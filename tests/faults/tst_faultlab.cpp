// The main window in private namespaces (tests/lab): a name server that stops
// answering (dns-run.sh names 127.0.3.1 to .64), and echo requests refused
// (no raw sockets, ping_group_range "1 0") until group 0 is let in.

#include "../mainwindow/mainwindowfixture.h"
#include "dialoganswerer.h"
#include "resultlistmodel.h"

#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>

namespace {

QStringList series(int count, const QString &pattern)
{
    QStringList result;
    for (int i = 1; i <= count; ++i)
        result.append(pattern.arg(i));
    return result;
}

// Bytes in the receive queue of UDP 127.0.0.1:53: questions a stopped dnsmasq has not read.
qint64 unreadQuestionBytes()
{
    for (const QByteArray &line : readFile(u"/proc/net/udp"_s).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == "0100007F:0035")
            return fields[4].split(':').value(1).toLongLong(nullptr, 16);
    }
    return 0;
}

// Only ever in the lab's scanner namespace, never the machine's.
bool setPingGroupRange(const QByteArray &range)
{
    struct stat own = {}, lab = {};
    const QByteArray labPath = "/run/netns/" + qgetenv("CORVANE_LAB_SCANNER_NS");
    return !qEnvironmentVariableIsEmpty("CORVANE_LAB_SCANNER_NS") &&
           ::stat("/proc/self/ns/net", &own) == 0 && ::stat(labPath.constData(), &lab) == 0 &&
           own.st_dev == lab.st_dev && own.st_ino == lab.st_ino &&
           writeFile(u"/proc/sys/net/ipv4/ping_group_range"_s, range + '\n');
}

// The marks of the IP Number List (127.0.0.1 and an answering lab host first),
// opened from the window, after F5 when @p beforeF5 is given; Esc closes it.
QStringList ipListMarks(MainWindowFixture &f, const std::function<void()> &beforeF5 = {})
{
    f.store(u"IP_0"_s, u"127.0.0.1"_s);
    f.store(u"IP_1"_s, qEnvironmentVariable("CORVANE_LAB_ANSWERING").section(u' ', 0, 0));
    QStringList marks;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *list = QApplication::activeModalWidget();
        auto *grid = list ? list->findChild<QTableWidget *>(u"grid"_s) : nullptr;
        if (!grid)
            return;
        poll.stop();
        if (beforeF5) {
            beforeF5();
            QTest::keyClick(child<QLineEdit>(list, "cellEditor"), Qt::Key_F5);
        }
        for (int row = 0; row < grid->rowCount(); ++row)
            marks.append(grid->item(row, 2) ? grid->item(row, 2)->text() : QString());
        QTest::keyClick(child<QLineEdit>(list, "cellEditor"), Qt::Key_Escape);
    });
    poll.start(20);
    QTest::mouseClick(f.ui("listButton"), Qt::LeftButton);
    return marks;
}

} // namespace

class TestFaultLab : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void dnsStopWhileLookupsHang();
    void echoRefusedUntilAllowed();

private:
    MainWindowFixture m_f;
};

void TestFaultLab::init()
{
    const bool dns = QByteArray(QTest::currentTestFunction()).startsWith("dns");
    if (geteuid() != 0 || (!dns && !qEnvironmentVariableIsSet("CORVANE_LAB")))
        QSKIP("runs as root in private namespaces (tests/lab)");
    if (dns && qEnvironmentVariableIsEmpty("CORVANE_DNS_DIR"))
        QSKIP("runs only through tests/lab/dns-run.sh");
    if (!dns && !setPingGroupRange("1 0"))
        QSKIP("runs in the lab's scanner namespace, without raw sockets (CORVANE_LAB_DROP_CAPS)");
    m_f.reset();
}

// Stop ends the run long before a lookup could time out; Resume, once the
// server is back, lists and logs the whole range with its names.
void TestFaultLab::dnsStopWhileLookupsHang()
{
    const QString resolvConf = qEnvironmentVariable("CORVANE_DNS_RESOLV_CONF");
    const QByteArray kept = readFile(resolvConf);
    const pid_t dnsmasq =
        readFile(qEnvironmentVariable("CORVANE_DNS_DIR") + u"/dnsmasq.pid"_s).trimmed().toInt();
    QVERIFY(dnsmasq > 1);
    const auto restore = qScopeGuard([&] {
        ::kill(dnsmasq, SIGCONT);
        writeFile(resolvConf, kept); // bind-mounted: it keeps its inode
    });
    QVERIFY(writeFile(resolvConf, "nameserver 127.0.0.1\noptions timeout:30 attempts:1\n"));
    QVERIFY(m_f.open(MainWindowFixture::SystemParts));
    m_f.ui<QCheckBox>("namesCheck")->setChecked(true);
    QTemporaryDir logs;
    QVERIFY(m_f.setLog(logs.path(), true));
    m_f.setRange(u"127.0.3.1"_s, u"127.0.3.64"_s);
    QCOMPARE(::kill(dnsmasq, SIGSTOP), 0);
    QSignalSpy finished(m_f.window.get(), &MainWindow::runFinished);
    QTest::mouseClick(m_f.ui("startButton"), Qt::LeftButton);
    QTRY_VERIFY(unreadQuestionBytes() > 0);
    QVERIFY(m_f.window->isRunning());
    QTest::mouseClick(m_f.ui("stopButton"), Qt::LeftButton);
    QTRY_COMPARE(finished.count(), 1);
    QVERIFY(!m_f.window->isRunning());
    QCOMPARE(m_f.ui<IpAddressEdit>("startAddressEdit")->text(), u"127.0.3.1"_s);
    QCOMPARE(m_f.lines(), QStringList());
    QCOMPARE(::kill(dnsmasq, SIGCONT), 0);
    QVERIFY(m_f.run("resumeButton"));
    const QStringList addresses = series(64, u"127.0.3.%1"_s);
    const QStringList names = series(64, u"name-%1.faults.test"_s);
    QCOMPARE(m_f.lines(), pingLines(addresses, names));
    QCOMPARE(m_f.counter(), u"64 pinged IP Numbers"_s);
    QCOMPARE(readFile(logs.path() + u"/ipnums.txt"_s), pingLog(addresses, names));
}

// Start says so once per press, after the beep, and changes nothing; the IP
// Number List once per probing, its marks left empty; Get Domain, which sends
// no echo request, still runs. Once allowed, Start and the list send at once.
void TestFaultLab::echoRefusedUntilAllowed()
{
    QVERIFY(m_f.open(MainWindowFixture::SystemParts));
    QVERIFY(!m_f.systemProber->isAvailable());
    m_f.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
    qobject_cast<ResultListModel *>(m_f.ui<QListView>("resultList")->model())
        ->appendLines({u"a line from before"_s});
    DialogAnswerer told;
    const QString message = echoUnavailableMessage(m_f.systemProber->unavailableReason());
    const auto checkTold = [&](qsizetype times) {
        QTRY_COMPARE(told.texts(), QStringList(times, message));
        QCOMPARE(told.seen().last().icon, QMessageBox::Warning);
        QVERIFY2(told.seen().last().beeped, "no beep before the message");
    };
    for (int press = 1; press <= 2; ++press) {
        QTest::mouseClick(m_f.ui("startButton"), Qt::LeftButton);
        checkTold(press);
        QVERIFY2(!told.seen().last().waitCursor, "the hourglass during the message");
        QVERIFY(!m_f.window->isRunning() && !m_f.ui("stopButton")->isEnabled());
        QCOMPARE(m_f.lines(), QStringList{u"a line from before"_s});
    }
    qsizetype toldBeforeF5 = 0;
    QCOMPARE(ipListMarks(m_f, [&] { toldBeforeF5 = told.seen().size(); }),
             QStringList(100, QString()));
    QCOMPARE(toldBeforeF5, 3);
    checkTold(4);
    m_f.ui<QRadioButton>("domainModeButton")->click();
    QVERIFY(m_f.run());
    m_f.ui<QRadioButton>("pingModeButton")->click();
    m_f.ui<QCheckBox>("namesCheck")->setChecked(false);

    const auto closeAgain = qScopeGuard([] { setPingGroupRange("1 0"); });
    QVERIFY(setPingGroupRange("0 0"));
    m_f.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
    QVERIFY(m_f.run());
    QCOMPARE(m_f.lines(), pingLines(series(10, u"198.18.1.%1"_s)));
    QCOMPARE(ipListMarks(m_f).mid(0, 3), (QStringList{u"X"_s, u"X"_s, QString()}));
    QCOMPARE(told.seen().size(), 4);
}

int main(int argc, char **argv)
{
    return runInOwnMounts<TestFaultLab>(argc, argv);
}

#include "tst_faultlab.moc"
