#include "mainwindowrules.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void settingToInteger_data();
    void settingToInteger();
    void checkStateFromSetting_data();
    void checkStateFromSetting();
    void checkStateRoundTrip();
    void parallelFromSetting_data();
    void parallelFromSetting();
    void commandLine_data();
    void commandLine();
    void windowCaption_data();
    void windowCaption();
    void networkCheckHostName();
    void resultListLine_data();
    void resultListLine();
    void counterLabelText_data();
    void counterLabelText();
    void twipsToPixels_data();
    void twipsToPixels();
    void nextTabStop_data();
    void nextTabStop();
};

void TestMainWindowRules::settingToInteger_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("plain zero") << u"0"_s << true << 0;
    QTest::newRow("spaces around") << u"  1  "_s << true << 1;
    QTest::newRow("plus sign") << u"+2"_s << true << 2;
    QTest::newRow("negative") << u"-7"_s << true << -7;
    QTest::newRow("leading zeros are decimal") << u"010"_s << true << 10;
    QTest::newRow("half rounds to even up") << u"1.5"_s << true << 2;
    QTest::newRow("half rounds to even down") << u"2.5"_s << true << 2;
    QTest::newRow("half of zero rounds to zero") << u"0.5"_s << true << 0;
    QTest::newRow("negative half rounds to zero") << u"-0.5"_s << true << 0;
    QTest::newRow("above half rounds up") << u"0.51"_s << true << 1;
    QTest::newRow("below half rounds down") << u"1.49"_s << true << 1;
    QTest::newRow("fraction without integer part") << u".6"_s << true << 1;
    QTest::newRow("trailing point") << u"2."_s << true << 2;
    QTest::newRow("exponent") << u"1e0"_s << true << 1;
    QTest::newRow("largest 16-bit") << u"32767"_s << true << 32767;
    QTest::newRow("smallest 16-bit") << u"-32768"_s << true << -32768;
    QTest::newRow("rounds down into range") << u"32767.4"_s << true << 32767;
    QTest::newRow("half rounds out of range") << u"32767.5"_s << false << 0;
    QTest::newRow("one beyond 16 bits") << u"32768"_s << false << 0;
    QTest::newRow("far beyond 16 bits") << u"99999999999999999999"_s << false << 0;
    QTest::newRow("huge exponent") << u"1e400"_s << false << 0;
    QTest::newRow("empty") << QString() << false << 0;
    QTest::newRow("only spaces") << u"   "_s << false << 0;
    QTest::newRow("letters") << u"abc"_s << false << 0;
    QTest::newRow("number then letters") << u"1abc"_s << false << 0;
    QTest::newRow("two numbers") << u"1 2"_s << false << 0;
    QTest::newRow("hexadecimal") << u"0x1"_s << false << 0;
    QTest::newRow("infinity word") << u"inf"_s << false << 0;
    QTest::newRow("tab around") << u"\t1"_s << false << 0;
    QTest::newRow("lone sign") << u"-"_s << false << 0;
    QTest::newRow("lone point") << u"."_s << false << 0;
    QTest::newRow("comma fraction") << u"1,5"_s << false << 0;
}

void TestMainWindowRules::settingToInteger()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);

    const std::optional<qint16> result = ::settingToInteger(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(int(*result), value);
}

void TestMainWindowRules::checkStateFromSetting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<Qt::CheckState>("state");

    QTest::newRow("0 unchecks") << u"0"_s << true << Qt::Unchecked;
    QTest::newRow("1 checks") << u"1"_s << true << Qt::Checked;
    QTest::newRow("2 greys") << u"2"_s << true << Qt::PartiallyChecked;
    QTest::newRow("spaces around 1") << u" 1 "_s << true << Qt::Checked;
    QTest::newRow("1.5 rounds to 2") << u"1.5"_s << true << Qt::PartiallyChecked;
    QTest::newRow("2.5 rounds to 2") << u"2.5"_s << true << Qt::PartiallyChecked;
    QTest::newRow("0.5 rounds to 0") << u"0.5"_s << true << Qt::Unchecked;
    QTest::newRow("letters refused") << u"abc"_s << false << Qt::Checked;
    QTest::newRow("5 refused") << u"5"_s << false << Qt::Checked;
    QTest::newRow("3 refused") << u"3"_s << false << Qt::Checked;
    QTest::newRow("minus 1 refused") << u"-1"_s << false << Qt::Checked;
    QTest::newRow("empty refused") << QString() << false << Qt::Checked;
    QTest::newRow("2.6 rounds to 3, refused") << u"2.6"_s << false << Qt::Checked;
}

void TestMainWindowRules::checkStateFromSetting()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(Qt::CheckState, state);

    const std::optional<Qt::CheckState> result = ::checkStateFromSetting(text);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, state);
}

void TestMainWindowRules::checkStateRoundTrip()
{
    for (const Qt::CheckState state : {Qt::Unchecked, Qt::Checked, Qt::PartiallyChecked}) {
        const QString text = checkStateSettingText(state);
        QCOMPARE(text.size(), 1);
        QCOMPARE(::checkStateFromSetting(text), std::optional<Qt::CheckState>(state));
    }
    QCOMPARE(checkStateSettingText(Qt::PartiallyChecked), u"2"_s);
}

void TestMainWindowRules::parallelFromSetting_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("parallel");

    QTest::newRow("missing gives the default") << QString() << kDefaultParallel;
    QTest::newRow("one walks one at a time") << u"1"_s << 1;
    QTest::newRow("upper limit") << u"4096"_s << 4096;
    QTest::newRow("spaces around") << u" 64 "_s << 64;
    QTest::newRow("zero gives the default") << u"0"_s << kDefaultParallel;
    QTest::newRow("negative gives the default") << u"-5"_s << kDefaultParallel;
    QTest::newRow("above the limit gives the default") << u"4097"_s << kDefaultParallel;
    QTest::newRow("words give the default") << u"many"_s << kDefaultParallel;
    QTest::newRow("fraction gives the default") << u"2.5"_s << kDefaultParallel;
    QTest::newRow("overflowing gives the default") << u"99999999999"_s << kDefaultParallel;
}

void TestMainWindowRules::parallelFromSetting()
{
    QFETCH(QString, text);
    QFETCH(int, parallel);
    QCOMPARE(::parallelFromSetting(text), parallel);
}

void TestMainWindowRules::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("startsScan");

    QTest::newRow("no arguments") << QStringList() << false;
    QTest::newRow("empty argument") << QStringList{QString()} << false;
    QTest::newRow("/p") << QStringList{u"/p"_s} << false;
    QTest::newRow("/p with spaces around") << QStringList{u" /p "_s} << false;
    QTest::newRow("/p between empty arguments")
        << QStringList{QString(), u"/p"_s, QString()} << false;
    QTest::newRow("/P is another switch") << QStringList{u"/P"_s} << true;
    QTest::newRow("a word") << QStringList{u"x"_s} << true;
    QTest::newRow("a word with spaces around") << QStringList{u" x "_s} << true;
    QTest::newRow("/p followed by more") << QStringList{u"/p"_s, u"now"_s} << true;
    QTest::newRow("/p beside a tab") << QStringList{u"/p\t"_s} << true;
    QTest::newRow("only spaces") << QStringList{u"   "_s} << false;
}

void TestMainWindowRules::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, startsScan);
    QCOMPARE(commandLineStartsScan(joinCommandLine(arguments)), startsScan);
}

void TestMainWindowRules::windowCaption_data()
{
    QTest::addColumn<QString>("own");
    QTest::addColumn<QString>("caption");

    QTest::newRow("own address") << u"192.0.2.2"_s
                                 << u"Corvane            Your IP Number is 192.0.2.2"_s;
    QTest::newRow("no own address") << QString() << u"Corvane            Your IP Number is N/A"_s;
}

void TestMainWindowRules::windowCaption()
{
    QFETCH(QString, own);
    QFETCH(QString, caption);
    QCOMPARE(::windowCaption(own), caption);
}

void TestMainWindowRules::networkCheckHostName()
{
    const QByteArray saved = qgetenv("CORVANE_CHECK_HOST");
    qunsetenv("CORVANE_CHECK_HOST");
    const QString builtIn = ::networkCheckHostName();
    QVERIFY(!builtIn.isEmpty());
    QVERIFY(builtIn.contains(u'.'));

    qputenv("CORVANE_CHECK_HOST", "name.invalid");
    QCOMPARE(::networkCheckHostName(), u"name.invalid"_s);

    qputenv("CORVANE_CHECK_HOST", "");
    QCOMPARE(::networkCheckHostName(), builtIn);

    if (saved.isNull())
        qunsetenv("CORVANE_CHECK_HOST");
    else
        qputenv("CORVANE_CHECK_HOST", saved);
}

void TestMainWindowRules::resultListLine_data()
{
    QTest::addColumn<bool>("pingMode");
    QTest::addColumn<bool>("namesWanted");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");

    const QString stamp = u"12/05/26 03:26:08 pm"_s;
    QTest::newRow("ping with name")
        << true << true << u"host.example"_s << u"10.0.0.5\thost.example\t"_s + stamp;
    QTest::newRow("ping with names but none found")
        << true << true << QString() << u"10.0.0.5\t\t"_s + stamp;
    QTest::newRow("ping without names") << true << false << QString() << u"10.0.0.5\t"_s + stamp;
    QTest::newRow("get domain") << false << true << u"host.example"_s
                                << u"10.0.0.5\thost.example"_s;
}

void TestMainWindowRules::resultListLine()
{
    QFETCH(bool, pingMode);
    QFETCH(bool, namesWanted);
    QFETCH(QString, name);
    QFETCH(QString, line);
    QCOMPARE(
        ::resultListLine(pingMode, namesWanted, u"10.0.0.5"_s, name, u"12/05/26 03:26:08 pm"_s),
        line);
}

void TestMainWindowRules::counterLabelText_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<bool>("pingMode");
    QTest::addColumn<QString>("text");

    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale de(QLocale::German, QLocale::Germany);
    QTest::newRow("zero") << us << qint64(0) << true << u"0 pinged IP Numbers"_s;
    QTest::newRow("one ping") << us << qint64(1) << true << u"1 pinged IP Numbers"_s;
    QTest::newRow("one domain") << us << qint64(1) << false << u"1 domain names"_s;
    QTest::newRow("below a thousand") << us << qint64(999) << true << u"999 pinged IP Numbers"_s;
    QTest::newRow("a thousand grouped")
        << us << qint64(1000) << true << u"1,000 pinged IP Numbers"_s;
    QTest::newRow("a full /16") << us << qint64(65536) << false << u"65,536 domain names"_s;
    QTest::newRow("beyond 32 bits")
        << us << qint64(5000000000) << true << u"5,000,000,000 pinged IP Numbers"_s;
    QTest::newRow("German separator") << de << qint64(1234) << true << u"1.234 pinged IP Numbers"_s;
    QTest::newRow("C locale still groups")
        << QLocale::c() << qint64(1234) << false << u"1,234 domain names"_s;
}

void TestMainWindowRules::counterLabelText()
{
    QFETCH(QLocale, locale);
    QFETCH(qint64, count);
    QFETCH(bool, pingMode);
    QFETCH(QString, text);
    QLocale::setDefault(locale);
    QCOMPARE(::counterLabelText(count, pingMode), text);
}

void TestMainWindowRules::twipsToPixels_data()
{
    QTest::addColumn<int>("twips");
    QTest::addColumn<qreal>("dpi");
    QTest::addColumn<int>("pixels");

    QTest::newRow("client width at 96 dpi") << 6540 << 96.0 << 436;
    QTest::newRow("client height at 96 dpi") << 5025 << 96.0 << 335;
    QTest::newRow("list width at 96 dpi") << 3735 << 96.0 << 249;
    QTest::newRow("client width at 144 dpi") << 6540 << 144.0 << 654;
    QTest::newRow("one inch at 120 dpi") << 1440 << 120.0 << 120;
    QTest::newRow("rounds to nearest") << 7 << 96.0 << 0;
    QTest::newRow("rounds half up") << 8 << 96.0 << 1;
}

void TestMainWindowRules::twipsToPixels()
{
    QFETCH(int, twips);
    QFETCH(qreal, dpi);
    QFETCH(int, pixels);
    QCOMPARE(::twipsToPixels(twips, dpi), pixels);
}

void TestMainWindowRules::nextTabStop_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<QList<int>>("stops");
    QTest::addColumn<int>("next");

    const QList<int> two{105, 450};
    QTest::newRow("start of line goes to the first stop") << 0 << two << 105;
    QTest::newRow("short field goes to the first stop") << 80 << two << 105;
    QTest::newRow("exactly on a stop goes to the next") << 105 << two << 450;
    QTest::newRow("wide field skips to the second stop") << 200 << two << 450;
    QTest::newRow("past the last stop repeats its interval") << 460 << two << 795;
    QTest::newRow("further past keeps the interval") << 800 << two << 1140;
    QTest::newRow("single stop repeats its width") << 120 << QList<int>{100} << 200;
    QTest::newRow("no stops leaves the position") << 42 << QList<int>() << 42;
}

void TestMainWindowRules::nextTabStop()
{
    QFETCH(int, x);
    QFETCH(QList<int>, stops);
    QFETCH(int, next);
    QCOMPARE(::nextTabStop(x, stops), next);
}

QTEST_GUILESS_MAIN(TestMainWindowRules)
#include "tst_mainwindowrules.moc"
