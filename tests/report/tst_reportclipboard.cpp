#include "clipboardreport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace Qt::StringLiterals;

class TestReportClipboard : public QObject
{
    Q_OBJECT

private slots:
    void copyPutsReportOnClipboard_data();
    void copyPutsReportOnClipboard();
    void otherProgramReadsReport_data();
    void otherProgramReadsReport();
};

static const QDateTime ReportTime(QDate(2026, 12, 5), QTime(15, 26, 8));

void TestReportClipboard::copyPutsReportOnClipboard_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("status");

    QTest::newRow("empty list") << QStringList() << u"12/05/26 03:26 pm\r\n\r\n\r\n0 IP Numbers"_s
                                << u"35 bytes copied to the clipboard."_s;
    QTest::newRow("three entries with tabs")
        << QStringList{u"10.0.0.1\t12/05/26 03:26:01 pm"_s, u"10.0.0.2\t\tx"_s,
                       u"10.0.0.3\tname.example"_s}
        << u"12/05/26 03:26 pm\r\n\r\n10.0.0.1\t12/05/26 03:26:01 pm\r\n10.0.0.2\t\tx\r\n"
           u"10.0.0.3\tname.example\r\n\r\n3 IP Numbers"_s
        << u"102 bytes copied to the clipboard."_s;
    QTest::newRow("non-ASCII name counts characters")
        << QStringList{u"10.0.0.9\tm\u00fcnchen.example"_s}
        << u"12/05/26 03:26 pm\r\n\r\n10.0.0.9\tm\u00fcnchen.example\r\n\r\n1 IP Numbers"_s
        << u"61 bytes copied to the clipboard."_s;
}

void TestReportClipboard::copyPutsReportOnClipboard()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    QFETCH(QString, status);

    QCOMPARE(copyReportToClipboard(entries, ReportTime), status);
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data != nullptr);
    QVERIFY(data->hasText());
    QVERIFY(!data->hasHtml());
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void TestReportClipboard::otherProgramReadsReport_data()
{
    QTest::addColumn<QString>("target");
    QTest::newRow("UTF-8 text") << u"UTF8_STRING"_s;
    QTest::newRow("plain text MIME type") << u"text/plain"_s;
}

void TestReportClipboard::otherProgramReadsReport()
{
    if (QGuiApplication::platformName() != u"xcb")
        QSKIP("needs an X display; run by the test's Xvfb variant");
    const QString xclip = QStandardPaths::findExecutable(u"xclip"_s);
    if (xclip.isEmpty())
        QSKIP("xclip is not installed");
    QFETCH(QString, target);

    const QStringList entries{u"10.0.0.1\thost.example\t12/05/26 03:26:01 pm"_s,
                              u"10.0.0.2\tm\u00fcnchen.example\t12/05/26 03:26:02 pm"_s};
    const QString expected = u"12/05/26 03:26 pm\r\n\r\n"_s + entries.at(0) + u"\r\n"_s +
                             entries.at(1) + u"\r\n\r\n2 IP Numbers"_s;
    QCOMPARE(copyReportToClipboard(entries, ReportTime),
             QString::number(expected.size()) + u" bytes copied to the clipboard."_s);

    // xclip asks this process for the selection: the event loop must run
    // while it waits.
    QProcess reader;
    reader.start(xclip, {u"-selection"_s, u"clipboard"_s, u"-o"_s, u"-target"_s, target});
    QVERIFY(reader.waitForStarted(5000));
    QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, 15000);
    QCOMPARE(reader.exitStatus(), QProcess::NormalExit);
    QCOMPARE(reader.exitCode(), 0);
    QCOMPARE(reader.readAllStandardOutput(), expected.toUtf8());
}

QTEST_MAIN(TestReportClipboard)
#include "tst_reportclipboard.moc"
