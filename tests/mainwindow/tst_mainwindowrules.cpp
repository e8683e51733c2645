// The main window's widget-free rules: stored numbers, the command line, the
// caption, centring, the result list's tab stops.

#include "centring.h"
#include "ipaddresstext.h"
#include "mainwindowrules.h"
#include "mainwindowsettings.h"
#include "resultlistdelegate.h"

#include <QFontMetrics>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void settingValues_data();
    void settingValues();
    void dottedOctets_data();
    void dottedOctets();
    void commandLine_data();
    void commandLine();
    void captionAndCheckHost();
    void centring_data();
    void centring();
    void tabStops_data();
    void tabStops();
    void fieldPositions();
};

// Rounding and what counts as a number are checked against strtod by a fuzzer.
void TestMainWindowRules::settingValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("number"); // kNone: no number
    QTest::addColumn<int>("state");  // -1: no check state
    QTest::addColumn<int>("parallel");
    constexpr int kNone = 99999;
    const auto row = [](const char *name, const QString &text, int number, int state,
                        int parallel = kDefaultParallel) {
        QTest::newRow(name) << text << number << state << parallel;
    };
    row("0 unchecks, Parallel below its range", u"0"_s, 0, Qt::Unchecked);
    row("spaces around", u"  1  "_s, 1, Qt::Checked, 1);
    row("plus sign greys", u"+2"_s, 2, Qt::PartiallyChecked, 2);
    row("3 is no check state", u"3"_s, 3, -1, 3);
    row("halves round to even, exponent", u"0.25e1"_s, 2, Qt::PartiallyChecked);
    row("empty", QString(), kNone, -1);
    row("largest number, rounded down", u"32767.4"_s, 32767, -1);
    row("hexadecimal", u"0x1"_s, kNone, -1);
    row("Parallel at its limit", u"65536"_s, kNone, -1, 65536);
    row("Parallel beyond its limit", u"65537"_s, kNone, -1);
}

void TestMainWindowRules::settingValues()
{
    QFETCH(QString, text);
    QFETCH(int, number);
    QFETCH(int, state);
    QFETCH(int, parallel);
    const std::optional<qint16> integer = settingToInteger(text);
    QCOMPARE(integer ? int(*integer) : 99999, number);
    const std::optional<Qt::CheckState> checkState = checkStateFromSetting(text);
    QCOMPARE(checkState ? int(*checkState) : -1, state);
    if (checkState)
        QCOMPARE(checkStateSettingText(*checkState), QString::number(*integer));
    QCOMPARE(parallelFromSetting(text), parallel);
}

// The address field's text: four octets of up to three digits each, 0 to 255,
// kept as written.
void TestMainWindowRules::dottedOctets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("octets"); // joined by "|"; empty: not an address
    QTest::newRow("leading zeros kept") << u"010.000.001.255"_s << u"010|000|001|255"_s;
    QTest::newRow("empty octet") << u"1..3.4"_s << QString();
    QTest::newRow("four digits") << u"1.2.3.0004"_s << QString();
    QTest::newRow("above 255") << u"1.2.256.4"_s << QString();
    QTest::newRow("a fifth octet") << u"1.2.3.4.5"_s << QString();
    QTest::newRow("three octets") << u"1.2.3"_s << QString();
    QTest::newRow("letters, signs, blanks") << u"1.2.+3.a"_s << QString();
    QTest::newRow("blank around") << u" 1.2.3.4"_s << QString();
}

void TestMainWindowRules::dottedOctets()
{
    QFETCH(QString, text);
    QFETCH(QString, octets);
    const auto split = splitDottedOctets(text);
    QCOMPARE(split ? QStringList(split->begin(), split->end()).join(u'|') : QString(), octets);
}

void TestMainWindowRules::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("startsScan");
    QTest::newRow("/p between empty arguments")
        << QStringList{QString(), u"/p"_s, QString()} << false;
    QTest::newRow("/p followed by more") << QStringList{u"/p"_s, u"now"_s} << true;
}

void TestMainWindowRules::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, startsScan);
    QCOMPARE(commandLineStartsScan(joinCommandLine(arguments)), startsScan);
}

void TestMainWindowRules::captionAndCheckHost()
{
    QCOMPARE(windowCaption(u"192.0.2.2"_s), u"Corvane            Your IP Number is 192.0.2.2"_s);
    QCOMPARE(windowCaption(QString()), u"Corvane            Your IP Number is N/A"_s);
    qputenv("CORVANE_CHECK_HOST", "name.invalid");
    QCOMPARE(networkCheckHostName(), u"name.invalid"_s);
    qputenv("CORVANE_CHECK_HOST", "");
    QCOMPARE(networkCheckHostName(), u"www.debian.org"_s);
}

void TestMainWindowRules::centring_data()
{
    QTest::addColumn<QRectF>("screenAndWindow"); // screen size, window size
    QTest::addColumn<QPointF>("position");
    QTest::newRow("1024 x 768 in twips")
        << QRectF(15360, 11520, 6660, 5490) << QPointF(4350, 2713.5);
    QTest::newRow("larger than the screen") << QRectF(1024, 768, 1100, 800) << QPointF(-38, -14.4);
    // Left is worked in single precision (2^24 + 1 is no float), top in double.
    QTest::newRow("precisions") << QRectF(16777217, 16777217, 0, 0) << QPointF(8388608, 7549747.65);
}

void TestMainWindowRules::centring()
{
    QFETCH(QRectF, screenAndWindow);
    QFETCH(QPointF, position);
    const QRectF &r = screenAndWindow;
    const CentredPosition centred = centredPosition(r.x(), r.y(), r.width(), r.height());
    QCOMPARE(QPointF(centred.left, centred.top), position);
}

void TestMainWindowRules::tabStops_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<QList<int>>("stops");
    QTest::addColumn<int>("next");
    const QList<int> two{105, 450};
    QTest::newRow("short field goes to the first stop") << 80 << two << 105;
    QTest::newRow("exactly on a stop goes to the next") << 105 << two << 450;
    QTest::newRow("past the last stop repeats its interval") << 460 << two << 795;
    QTest::newRow("single stop repeats its width") << 120 << QList<int>{100} << 200;
    QTest::newRow("no stops leaves the position") << 42 << QList<int>() << 42;
}

void TestMainWindowRules::tabStops()
{
    QFETCH(int, x);
    QFETCH(QList<int>, stops);
    QFETCH(int, next);
    QCOMPARE(ResultListDelegate::nextTabStop(x, stops), next);
}

// A field starts at the next stop after the text before it, also when that text is empty.
void TestMainWindowRules::fieldPositions()
{
    const QFontMetrics metrics{QFont()};
    const QList<int> stops{105, 450};
    QCOMPARE(ResultListDelegate::fieldPositions(u"a\t\tb\t"_s, metrics, stops),
             (QList<int>{0, 105, 450, 795}));
}

QTEST_MAIN(TestMainWindowRules)
#include "tst_mainwindowrules.moc"
