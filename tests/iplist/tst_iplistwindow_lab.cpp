#include "iplistgrid.h"
#include "iplistrules.h"
#include "iplisttestsupport.h"
#include "iplistwindow.h"
#include "widgetlookup.h"

#include <QLineEdit>
#include <QProcess>
#include <memory>

using namespace Qt::StringLiterals;

// Runs inside the scanner namespace of the network lab (run-in-lab.sh), where
// some addresses answer, some never do and some are refused with ICMP errors.
class TestIpListWindowLab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_form.reset(); }
    void marksOnOpeningAndRefresh();
    void rowThatStopsAnsweringLosesItsMark();

private:
    static QString lab(const char *variable, int index)
    {
        return qEnvironmentVariable(variable).split(u' ', Qt::SkipEmptyParts).value(index);
    }
    QString mark(int row) const
    {
        return child<IpListGrid>(m_form, "grid")->cellText(row, MarkerColumn);
    }
    void open(const QStringList &ipNumbers);
    void setAnswering(const QString &address, bool answering);

    std::unique_ptr<EchoProber> m_prober;
    std::unique_ptr<SettingsStore> m_store;
    std::unique_ptr<IpListWindow> m_form;
};

void TestIpListWindowLab::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("CORVANE_LAB"))
        QSKIP("needs the network lab: run through tests/lab/run-in-lab.sh");
    m_prober = createSystemEchoProber();
    QVERIFY2(m_prober->isAvailable(), qPrintable(m_prober->unavailableReason()));
}

void TestIpListWindowLab::init()
{
    m_form.reset();
    QDir(corvaneConfigFolder()).removeRecursively();
}

void TestIpListWindowLab::open(const QStringList &ipNumbers)
{
    KeyValues keys;
    for (int row = 0; row < ipNumbers.size(); ++row)
        keys.insert(ipListIpKey(row), ipNumbers.at(row));
    putOnDisk(keys);
    m_store = createSystemSettingsStore();
    m_form = std::make_unique<IpListWindow>(*m_store, *m_prober);
    m_form->show();
}

void TestIpListWindowLab::setAnswering(const QString &address, bool answering)
{
    QProcess tool;
    tool.start(
        qEnvironmentVariable("CORVANE_LAB_TOOL"),
        {answering ? u"answer"_s : u"silence"_s, qEnvironmentVariable("CORVANE_LAB"), address});
    QVERIFY(tool.waitForFinished(10000));
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0,
             tool.readAllStandardError().constData());
}

void TestIpListWindowLab::marksOnOpeningAndRefresh()
{
    const QStringList rows = {lab("CORVANE_LAB_ANSWERING", 0),
                              lab("CORVANE_LAB_SILENT", 0),
                              lab("CORVANE_LAB_ANSWERING", 1),
                              lab("CORVANE_LAB_ADMIN_PROHIBITED", 0),
                              lab("CORVANE_LAB_HOST_UNREACHABLE", 0),
                              lab("CORVANE_LAB_SILENT", 1),
                              u"no address"_s,
                              lab("CORVANE_LAB_FAR_ANSWERING", 0)};
    QVERIFY(!rows.contains(QString()));
    open(rows);
    const QStringList marks = {u"X"_s, {}, u"X"_s, {}, {}, {}, {}, u"X"_s};
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1)
            QTest::keyClick(child<QLineEdit>(m_form, "cellEditor"), Qt::Key_F5);
        for (int row = 0; row < rows.size(); ++row)
            QVERIFY2(mark(row) == marks.at(row), qPrintable(rows.at(row)));
    }
}

void TestIpListWindowLab::rowThatStopsAnsweringLosesItsMark()
{
    const QString leaving = lab("CORVANE_LAB_ANSWERING", 1);
    open({lab("CORVANE_LAB_ANSWERING", 0), leaving});
    QCOMPARE(mark(1), u"X"_s);

    setAnswering(leaving, false);
    QTest::keyClick(child<QLineEdit>(m_form, "cellEditor"), Qt::Key_F5);
    QCOMPARE(mark(0), u"X"_s);
    QCOMPARE(mark(1), QString());
    setAnswering(leaving, true);
    QTest::keyClick(child<QLineEdit>(m_form, "cellEditor"), Qt::Key_F5);
    QCOMPARE(mark(1), u"X"_s);

    // Row 0 typed over with a silent address loses its mark at the next F5.
    child<QLineEdit>(m_form, "cellEditor")->setText(lab("CORVANE_LAB_SILENT", 0));
    QTest::keyClick(child<QLineEdit>(m_form, "cellEditor"), Qt::Key_F5);
    QCOMPARE(mark(0), QString());
    QCOMPARE(mark(1), u"X"_s);
}

QTEST_MAIN(TestIpListWindowLab)
#include "tst_iplistwindow_lab.moc"
