// The main window's rules: settings values and the class that reads and
// writes them, the command line, the caption, the result list's columns.

#include "mainwindowrules.h"
#include "mainwindowsettings.h"
#include "resultlistdelegate.h"
#include "settingsstore.h"

#include <QImage>
#include <QListWidget>
#include <QPainter>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A store in memory that notes every key read and written, and can refuse one.
class RecordingStore : public SettingsStore
{
public:
    QHash<QString, QString> values;
    QStringList reads, writes; // "application/section/key"
    QString failingKey;
    int flushes = 0;

    QString readSetting(const QString &application, const QString &section, const QString &key,
                        const QString &defaultValue) override
    {
        reads.append(application + u'/' + section + u'/' + key);
        return values.value(key, defaultValue);
    }
    bool writeSetting(const QString &application, const QString &section, const QString &key,
                      const QString &value) override
    {
        writes.append(application + u'/' + section + u'/' + key);
        if (key == failingKey)
            return false;
        values.insert(key, value);
        return true;
    }
    bool flush() override
    {
        ++flushes;
        return true;
    }
    QString lastError() const override { return QString(); }
};

QStringList keys(const QString &names)
{
    QStringList result;
    for (const QString &name : names.split(u' '))
        result.append(u"Corvane/Options/"_s + name);
    return result;
}

} // namespace

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void settingValues_data();
    void settingValues();
    void settingsClass_data();
    void settingsClass();
    void commandLine_data();
    void commandLine();
    void captionAndCheckHost();
    void nextTabStop_data();
    void nextTabStop();
    void paintsFieldsAtTheirStops();
};

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
    row("0 unchecks", u"0"_s, 0, Qt::Unchecked);
    row("spaces around", u"  1  "_s, 1, Qt::Checked, 1);
    row("plus sign greys", u"+2"_s, 2, Qt::PartiallyChecked, 2);
    row("leading zeros are decimal", u"010"_s, 10, -1, 10);
    row("half rounds to even up", u"1.5"_s, 2, Qt::PartiallyChecked);
    row("negative half rounds to zero", u"-0.5"_s, 0, Qt::Unchecked);
    row("2.6 rounds to 3", u"2.6"_s, 3, -1);
    row("exponent", u"1e0"_s, 1, Qt::Checked);
    row("rounds down into range", u"32767.4"_s, 32767, -1);
    row("half rounds out of range", u"32767.5"_s, kNone, -1);
    row("empty", QString(), kNone, -1);
    row("hexadecimal", u"0x1"_s, kNone, -1);
    row("tab around", u"\t1"_s, kNone, -1, 1);
    row("Parallel at its limit", u"65536"_s, kNone, -1, 65536);
    row("Parallel beyond its limit", u"65537"_s, kNone, -1);
    row("Parallel overflowing", u"99999999999"_s, kNone, -1);
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

void TestMainWindowRules::settingsClass_data()
{
    QTest::addColumn<QString>("stored"); // key=value|...
    QTest::addColumn<QString>("read");   // path|file|start|stop|Enabled|Overwrite|Parallel
    QTest::addColumn<QString>("failingKey");

    QTest::newRow("an empty store gives the defaults")
        << QString() << u"/home|ipnums.txt|0.0.0.0|255.255.255.255|1|1|256"_s << QString();
    QTest::newRow("stored texts unchanged, numbers by their rules")
        << u"Path=/var/log|File=|Start=010.000.001.254|Stop=x|Enabled=2|Overwrite=abc|Parallel=64"_s
        << u"/var/log||010.000.001.254|x|2|1|64"_s << QString();
    QTest::newRow("a failed write does not stop the others")
        << u"Enabled=0"_s << u"/home|ipnums.txt|0.0.0.0|255.255.255.255|0|1|256"_s << u"Path"_s;
}

void TestMainWindowRules::settingsClass()
{
    QFETCH(QString, stored);
    QFETCH(QString, read);
    QFETCH(QString, failingKey);
    RecordingStore store;
    for (const QString &pair : stored.split(u'|', Qt::SkipEmptyParts))
        store.values.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    store.failingKey = failingKey;

    MainWindowSettings settings(store);
    const MainWindowValues values = settings.read(u"/home"_s);
    QCOMPARE(
        (QStringList{values.path, values.file, values.start, values.stop,
                     checkStateSettingText(values.enabled), checkStateSettingText(values.overwrite),
                     QString::number(values.parallel)}),
        read.split(u'|'));
    QCOMPARE(store.reads, keys(u"Path File Start Stop Enabled Overwrite Parallel"_s));
    QVERIFY(store.writes.isEmpty());

    settings.write(values);
    QCOMPARE(store.writes, keys(u"Start Stop Path File Enabled Overwrite"_s));
    QCOMPARE(store.flushes, 1);
    QStringList written;
    for (const QString &key :
         {u"Path"_s, u"File"_s, u"Start"_s, u"Stop"_s, u"Enabled"_s, u"Overwrite"_s})
        written.append(store.values.value(key, u"<missing>"_s));
    QStringList expected = read.split(u'|').mid(0, 6);
    if (!failingKey.isEmpty())
        expected[0] = u"<missing>"_s;
    QCOMPARE(written, expected);
}

void TestMainWindowRules::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("startsScan");

    QTest::newRow("no arguments") << QStringList() << false;
    QTest::newRow("/p") << QStringList{u"/p"_s} << false;
    QTest::newRow("/p between empty arguments")
        << QStringList{QString(), u"/p"_s, QString()} << false;
    QTest::newRow("/P is another switch") << QStringList{u"/P"_s} << true;
    QTest::newRow("a word with spaces around") << QStringList{u" x "_s} << true;
    QTest::newRow("/p followed by more") << QStringList{u"/p"_s, u"now"_s} << true;
    QTest::newRow("/p beside a tab") << QStringList{u"/p\t"_s} << true;
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

    qunsetenv("CORVANE_CHECK_HOST");
    const QString builtIn = networkCheckHostName();
    QVERIFY(builtIn.contains(u'.'));
    qputenv("CORVANE_CHECK_HOST", "name.invalid");
    QCOMPARE(networkCheckHostName(), u"name.invalid"_s);
    qputenv("CORVANE_CHECK_HOST", "");
    QCOMPARE(networkCheckHostName(), builtIn);
}

void TestMainWindowRules::nextTabStop_data()
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

void TestMainWindowRules::nextTabStop()
{
    QFETCH(int, x);
    QFETCH(QList<int>, stops);
    QFETCH(int, next);
    QCOMPARE(ResultListDelegate::nextTabStop(x, stops), next);
}

void TestMainWindowRules::paintsFieldsAtTheirStops()
{
    QListWidget list;
    auto *delegate = new ResultListDelegate(&list);
    delegate->setTabStops({70, 300});
    delegate->setExtent(600);
    list.addItem(u"1\tW\tW"_s);
    QStyleOptionViewItem option;
    option.initFrom(&list);
    option.rect = QRect(0, 0, 600, 20);
    option.state = QStyle::State_Enabled;
    option.palette.setColor(QPalette::Text, Qt::black);
    option.palette.setColor(QPalette::Base, Qt::white);
    QCOMPARE(delegate->sizeHint(option, list.model()->index(0, 0)).width(), 600);

    QImage image(600, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        delegate->paint(&painter, option, list.model()->index(0, 0));
    }
    // The first inked column from each stop on: glyphs may start a pixel or
    // two right of their origin, never left of it.
    const auto firstInk = [&image](int from) {
        for (int x = qMax(0, from); x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (qGray(image.pixel(x, y)) < 128)
                    return x;
        return -1;
    };
    const QList<int> stops = delegate->tabStopPixels(QFontMetrics(option.font));
    const int margin = ResultListDelegate::kTextMargin;
    QVERIFY(firstInk(0) < margin + stops.at(0) - 1);
    for (const int stop : stops) {
        const int ink = firstInk(margin + stop - 1);
        QVERIFY2(ink >= margin + stop - 1 && ink <= margin + stop + 3,
                 qPrintable(QString::number(ink)));
    }
    QCOMPARE(ResultListDelegate::fieldPositions(u"a\t\tb"_s, QFontMetrics(option.font), stops),
             (QList<int>{0, stops.at(0), stops.at(1)}));
}

QTEST_MAIN(TestMainWindowRules)
#include "tst_mainwindowrules.moc"
