// Stop and Resume pressed in quick succession, many times over, during one
// scan on loopback (where every address answers): whenever the presses land,
// the finished list must hold every address exactly once, in order, the
// counter must equal the lines, and the log must hold the same lines. One
// Stop is pressed in the moment after the walk has handled its last address
// and before the window has heard that the run ended: it stops nothing.

#include "echoprober.h"
#include "faultmain.h"
#include "faultwindow.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "messageboxlog.h"
#include "scanrun.h"
#include "scansession.h"
#include "settingsstore.h"
#include "widgetlookup.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Presses Stop once when the run has ended by itself while the window still
// runs it: the first event the run gets then comes before the one that tells
// the window, whatever the addresses' timing.
class StopAfterTheWalkEnded : public QObject
{
public:
    StopAfterTheWalkEnded(MainWindow *form, ScanRun *run)
        : m_form(form)
        , m_run(run)
    {
        m_run->installEventFilter(this);
    }

    bool pressed = false;

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        if (!pressed && !m_run->isRunning() && m_form->isRunning() &&
            !m_form->findChild<ScanSession *>()->stopRequested() &&
            child<QPushButton>(m_form, "stopButton")->isEnabled()) {
            pressed = true;
            QTest::mouseClick(child<QPushButton>(m_form, "stopButton"), Qt::LeftButton);
        }
        return false;
    }

private:
    MainWindow *m_form;
    ScanRun *m_run;
};

} // namespace

class TestFaultStopResume : public QObject
{
    Q_OBJECT

private slots:
    void manyStopsAndResumes_data();
    void manyStopsAndResumes();
};

void TestFaultStopResume::manyStopsAndResumes_data()
{
    QTest::addColumn<int>("parallel");
    QTest::addColumn<int>("cycles");
    QTest::addColumn<bool>("stopAtOnce");

    QTest::newRow("one in flight, stop on progress") << 1 << 40 << false;
    QTest::newRow("one in flight, stop at once after resume") << 1 << 40 << true;
    QTest::newRow("many in flight, stop on progress") << 256 << 40 << false;
    QTest::newRow("many in flight, stop at once after resume") << 256 << 40 << true;
}

void TestFaultStopResume::manyStopsAndResumes()
{
    QFETCH(int, parallel);
    QFETCH(int, cycles);
    QFETCH(bool, stopAtOnce);

    FaultWindow window;
    if (!window.prober().isAvailable())
        QSKIP(qPrintable(u"no echo requests here: "_s + window.prober().unavailableReason()));
    window.settings().writeSetting(u"Corvane"_s, u"Options"_s, u"Parallel"_s,
                                   QString::number(parallel));
    QString why;
    QVERIFY2(window.open(&why), qPrintable(why));
    MainWindow *form = window.form();
    QTemporaryDir logs;
    QVERIFY(window.setLog(logs.path(), true, true));
    QVERIFY(window.setRange(u"127.0.4.1"_s, u"127.0.11.250"_s));
    MessageBoxLog told;
    auto *run = form->findChild<ScanRun *>();
    QVERIFY(run);
    StopAfterTheWalkEnded lateStop(form, run);

    QStringList expected;
    QByteArray expectedLog;
    for (int third = 4; third <= 11; ++third) {
        for (int fourth = third == 4 ? 1 : 0; fourth <= (third == 11 ? 250 : 255); ++fourth) {
            const QString address = u"127.0.%1.%2"_s.arg(third).arg(fourth);
            expected.append(FaultWindow::pingLine(address));
            expectedLog += FaultWindow::pingLogLine(address);
        }
    }

    int stops = 0;
    bool stopPending = false;
    const auto pressStop = [&] {
        if (stopPending || stops >= cycles)
            return;
        stopPending = true;
        QTimer::singleShot(0, form, [&] {
            stopPending = false;
            if (child<QPushButton>(form, "stopButton")->isEnabled() && run->isRunning()) {
                ++stops;
                QTest::mouseClick(child<QPushButton>(form, "stopButton"), Qt::LeftButton);
            }
        });
    };
    // The start field follows the walk: a change means the run has moved on.
    connect(child<IpAddressEdit>(form, "startAddressEdit"), &IpAddressEdit::textChanged, this, [&] {
        if (form->isRunning())
            pressStop();
    });
    bool done = false;
    connect(form, &MainWindow::runFinished, this, [&] {
        if (!form->findChild<ScanSession *>()->stopRequested()) {
            done = true;
            return;
        }
        QTimer::singleShot(0, form, [&] {
            QTest::mouseClick(child<QPushButton>(form, "resumeButton"), Qt::LeftButton);
            if (stopAtOnce)
                pressStop();
        });
    });

    QTest::mouseClick(child<QPushButton>(form, "startButton"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(done, 120000);
    QVERIFY(lateStop.pressed);

    // Progress comes in batches with many in flight, so the range may end
    // before every planned Stop; enough of them must have landed.
    QVERIFY2(stops >= qMin(cycles, 10), qPrintable(QString::number(stops)));
    const QStringList lines = window.lines();
    QCOMPARE(lines.size(), expected.size());
    QCOMPARE(lines, expected);
    QCOMPARE(form->findChild<ScanSession *>()->resultCount(), expected.size());
    QCOMPARE(child<QLabel>(form, "statusLabel")->text(),
             QLocale().toString(expected.size()) + u" pinged IP Numbers"_s);
    QFile log(logs.path() + u"/ipnums.txt"_s);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), expectedLog);
    QCOMPARE(told.texts(), QStringList());
}

int main(int argc, char **argv)
{
    return runFaultTest<TestFaultStopResume>(argc, argv);
}

#include "tst_faultstopresume.moc"
