// The main window in private namespaces (tests/lab): a name server that stops
// answering (dns-run.sh names 127.0.3.1 to .64), and echo requests refused
// (no raw sockets, ping_group_range "1 0") until group 0 is let in.

#include "../mainwindow/mainwindowfixture.h"
#include "dialoganswerer.h"
#include "resultlistmodel.h"

#include <QElapsedTimer>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTimer>
#include <csignal>
#include <sys/stat.h>

namespace {

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

} // namespace

class TestFaultLab : public QObject
{
    Q_OBJECT
    MainWindowFixture m_f;

private slots:
    void init()
    {
        const bool dns = QByteArray(QTest::currentTestFunction()).startsWith("dns");
        if (geteuid() != 0 ||
            (dns ? qEnvironmentVariableIsEmpty("CORVANE_DNS_DIR") : !setPingGroupRange("1 0")))
            QSKIP("runs as root through tests/lab: dns-run.sh, or the lab without raw sockets");
        m_f.reset();
    }

    // Stop ends the run long before a lookup could time out; Resume, once the
    // server is back, lists the rest of the range with its own names only.
    void dnsStopWhileLookupsHang()
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
        m_f.setRange(u"127.0.3.1"_s, u"127.0.3.64"_s);
        QCOMPARE(::kill(dnsmasq, SIGSTOP), 0);
        QSignalSpy finished(m_f.window.get(), &MainWindow::runFinished);
        QTest::mouseClick(m_f.ui("startButton"), Qt::LeftButton);
        QTRY_VERIFY(unreadQuestionBytes() > 0);
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(m_f.ui("stopButton"), Qt::LeftButton);
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(clock.elapsed() < 15000); // each lookup waits up to 30 s
        QCOMPARE(m_f.lines(), QStringList());
        QCOMPARE(::kill(dnsmasq, SIGCONT), 0);
        m_f.ui<IpAddressEdit>("startAddressEdit")
            ->setText(u"127.0.3.2"_s); // the old names come first
        QVERIFY(m_f.run("resumeButton"));
        QStringList addresses, names;
        for (int i = 2; i <= 64; ++i)
            addresses << u"127.0.3.%1"_s.arg(i), names << u"name-%1.faults.test"_s.arg(i);
        QCOMPARE(m_f.lines(), pingLines(addresses, names));
    }

    // Start says so once per press, after the beep, and changes nothing; so does
    // the IP Number List as it opens and at F5; Get Domain, which sends no echo request,
    // still runs. Once allowed, Start sends at once.
    void echoRefusedUntilAllowed()
    {
        QVERIFY(m_f.open(MainWindowFixture::SystemParts));
        QVERIFY(!m_f.systemProber->isAvailable());
        m_f.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
        qobject_cast<ResultListModel *>(m_f.ui<QListView>("resultList")->model())
            ->appendLines({u"a line from before"_s});
        DialogAnswerer told;
        const QString message = echoUnavailableMessage(m_f.systemProber->unavailableReason());
        for (int press = 1; press <= 2; ++press) {
            QTest::mouseClick(m_f.ui("startButton"), Qt::LeftButton);
            QTRY_COMPARE(told.texts(), QStringList(press, message));
            QCOMPARE(told.seen().last().icon, QMessageBox::Warning);
            QVERIFY(told.seen().last().beeped && !told.seen().last().waitCursor);
            QVERIFY(!m_f.window->isRunning() && !m_f.ui("stopButton")->isEnabled());
            QCOMPARE(m_f.lines(), QStringList{u"a line from before"_s});
        }
        m_f.store(u"IP_0"_s, u"127.0.0.1"_s);
        QTimer poll; // F5, then Esc, once the list shows
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget *list = QApplication::activeModalWidget();
            if (list && list->findChild<QTableWidget *>(u"grid"_s)) {
                poll.stop();
                QTest::keyClick(child<QLineEdit>(list, "cellEditor"), Qt::Key_F5);
                QTest::keyClick(child<QLineEdit>(list, "cellEditor"), Qt::Key_Escape);
            }
        });
        poll.start(20);
        QTest::mouseClick(m_f.ui("listButton"), Qt::LeftButton);
        QCOMPARE(told.texts(), QStringList(4, message)); // as it opens, and at F5
        m_f.ui<QRadioButton>("domainModeButton")->click();
        QVERIFY(m_f.run());
        m_f.ui<QRadioButton>("pingModeButton")->click();
        m_f.ui<QCheckBox>("namesCheck")->setChecked(false);

        const auto closeAgain = qScopeGuard([] { setPingGroupRange("1 0"); });
        QVERIFY(setPingGroupRange("0 0"));
        m_f.setRange(u"198.18.1.1"_s, u"198.18.1.20"_s);
        QVERIFY(m_f.run());
        QCOMPARE(m_f.lines(), pingLines(qEnvironmentVariable("CORVANE_LAB_ANSWERING").split(u' ')));
        QCOMPARE(told.seen().size(), 4);
    }
};

int main(int argc, char **argv)
{
    return runInOwnMounts<TestFaultLab>(argc, argv);
}

#include "tst_faultlab.moc"
