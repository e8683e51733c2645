#include "iplistfiles.h"
#include "iplistgrid.h"
#include "iplistwindow.h"
#include "widgetlookup.h"

#include <QLineEdit>
#include <QProcess>

using namespace Qt::StringLiterals;

// Runs inside the scanner namespace of the network lab (run-in-lab.sh), where
// some addresses answer, some never do and some are refused with ICMP errors.
class TestIpListWindowLab : public QObject
{
    Q_OBJECT

private slots:
    void marksOnOpeningAndRefresh();
};

void TestIpListWindowLab::marksOnOpeningAndRefresh()
{
    if (qEnvironmentVariableIsEmpty("CORVANE_LAB"))
        QSKIP("needs the network lab: run through tests/lab/run-in-lab.sh");
    const auto lab = [](const char *variable, int index) {
        return qEnvironmentVariable(variable).split(u' ', Qt::SkipEmptyParts).value(index);
    };
    const QString leaving = lab("CORVANE_LAB_ANSWERING", 1);
    const QStringList rows = {lab("CORVANE_LAB_ANSWERING", 0),
                              lab("CORVANE_LAB_SILENT", 0),
                              leaving,
                              lab("CORVANE_LAB_ADMIN_PROHIBITED", 0),
                              lab("CORVANE_LAB_HOST_UNREACHABLE", 0),
                              u"no address"_s,
                              lab("CORVANE_LAB_FAR_ANSWERING", 0)};
    QVERIFY(!rows.contains(QString()));
    QTemporaryDir config;
    QVERIFY(usePrivateConfig(config));
    QList<IpListEntry> entries;
    for (const QString &row : rows)
        entries.append({row, {}});
    putOnDisk(keysOf(entries));
    const auto prober = createSystemEchoProber();
    QVERIFY2(prober->isAvailable(), qPrintable(prober->unavailableReason()));
    const auto store = createSystemSettingsStore();
    IpListWindow form(*store, *prober);
    form.show();
    const auto marks = [&form] {
        QString seen;
        for (int row = 0; row < 8; ++row)
            seen += child<IpListGrid>(form, "grid")->cellText(row, kMarkerColumn) + u'|';
        return seen;
    };
    QCOMPARE(marks(), u"X||X||||X||"_s);

    // A row that stops answering loses its mark at the next F5, and gets it back.
    for (const bool answering : {false, true}) {
        QProcess tool;
        tool.start(
            qEnvironmentVariable("CORVANE_LAB_TOOL"),
            {answering ? u"answer"_s : u"silence"_s, qEnvironmentVariable("CORVANE_LAB"), leaving});
        QVERIFY(tool.waitForFinished(10000) && tool.exitCode() == 0);
        QTest::keyClick(child<QLineEdit>(form, "cellEditor"), Qt::Key_F5);
        QCOMPARE(marks(), answering ? u"X||X||||X||"_s : u"X||||||X||"_s);
    }
}

QTEST_MAIN(TestIpListWindowLab)
#include "tst_iplistwindow_lab.moc"
