#include "commandline.h"
#include "desktopentry.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(std::optional<QStringList>)

class TestDesktopEntry : public QObject
{
    Q_OBJECT

private slots:
    void splitCommandLine_data();
    void splitCommandLine();
    void expandExec_data();
    void expandExec();
    void unescapeValue_data();
    void unescapeValue();
    void parse_data();
    void parse();
    void loadReadsFileAndRefusesMissing();
};

void TestDesktopEntry::splitCommandLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<std::optional<QStringList>>("words");

    using Words = std::optional<QStringList>;
    QTest::newRow("blanks separate words")
        << u"  firefox   --new-tab\tx "_s
        << Words(QStringList{u"firefox"_s, u"--new-tab"_s, u"x"_s});
    QTest::newRow("double quotes keep blanks")
        << u"\"/opt/my browser/run\" \"a b\""_s
        << Words(QStringList{u"/opt/my browser/run"_s, u"a b"_s});
    QTest::newRow("escapes inside double quotes")
        << u"prog \"q\\\"x\\`y\\$z\\\\w\""_s << Words(QStringList{u"prog"_s, u"q\"x`y$z\\w"_s});
    QTest::newRow("other backslashes inside double quotes stay")
        << u"prog \"a\\nb\""_s << Words(QStringList{u"prog"_s, u"a\\nb"_s});
    QTest::newRow("single quotes are literal")
        << u"prog 'a \"b\" \\c $d'"_s << Words(QStringList{u"prog"_s, u"a \"b\" \\c $d"_s});
    QTest::newRow("backslash outside quotes takes the next character")
        << u"prog a\\ b"_s << Words(QStringList{u"prog"_s, u"a b"_s});
    QTest::newRow("quotes join with plain text in one word")
        << u"prog --x=\"a b\"c"_s << Words(QStringList{u"prog"_s, u"--x=a bc"_s});
    QTest::newRow("empty quotes are an empty word")
        << u"prog \"\" ''"_s << Words(QStringList{u"prog"_s, QString(), QString()});
    QTest::newRow("shell characters are plain text")
        << u"prog a;b |c &d $(e) `f` >g"_s
        << Words(QStringList{u"prog"_s, u"a;b"_s, u"|c"_s, u"&d"_s, u"$(e)"_s, u"`f`"_s, u">g"_s});
    QTest::newRow("empty line: no words") << QString() << Words(QStringList());
    QTest::newRow("open double quote is malformed") << u"prog \"abc"_s << Words();
    QTest::newRow("open single quote is malformed") << u"prog 'abc"_s << Words();
    QTest::newRow("escaped closing quote leaves it open") << u"prog \"abc\\\""_s << Words();
}

void TestDesktopEntry::splitCommandLine()
{
    QFETCH(QString, line);
    QFETCH(std::optional<QStringList>, words);

    const std::optional<QList<CommandWord>> split = ::splitCommandLine(line);
    QCOMPARE(split.has_value(), words.has_value());
    if (!split)
        return;
    QStringList texts;
    for (const CommandWord &word : *split)
        texts.append(word.text);
    QCOMPARE(texts, *words);
}

void TestDesktopEntry::expandExec_data()
{
    QTest::addColumn<QString>("exec");
    QTest::addColumn<QString>("target");
    QTest::addColumn<std::optional<QStringList>>("command");

    using Cmd = std::optional<QStringList>;
    const QString hostile = u"a;touch /tmp/x $(id) `id` \"q\" 'q'"_s;

    QTest::newRow("%u becomes the target") << u"firefox %u"_s << u"host.example"_s
                                           << Cmd(QStringList{u"firefox"_s, u"host.example"_s});
    QTest::newRow("%U, %f, %F as well") << u"b %U"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"t"_s});
    QTest::newRow("%f") << u"b %f"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"t"_s});
    QTest::newRow("%F") << u"b %F"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"t"_s});
    QTest::newRow("hostile target stays one argument")
        << u"b --new-window %u"_s << hostile
        << Cmd(QStringList{u"b"_s, u"--new-window"_s, hostile});
    QTest::newRow("target inside a word stays in that word")
        << u"b --url=%u"_s << u"x y"_s << Cmd(QStringList{u"b"_s, u"--url=x y"_s});
    QTest::newRow("no field code: target appended")
        << u"b --private"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"--private"_s, u"t"_s});
    QTest::newRow("only the first target code is used")
        << u"b %u %U"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"t"_s});
    QTest::newRow("other field codes are dropped")
        << u"b %i %c %k %d %D %n %N %v %m %u"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"t"_s});
    QTest::newRow("double percent is a percent sign")
        << u"b --zoom=50%% %u"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"--zoom=50%"_s, u"t"_s});
    QTest::newRow("quoted words are taken as written")
        << u"b \"%u\" --x"_s << u"t"_s << Cmd(QStringList{u"b"_s, u"%u"_s, u"--x"_s, u"t"_s});
    QTest::newRow("a shell in Exec never sees the target in its script")
        << u"sh -c \"exec browser %u\""_s << hostile
        << Cmd(QStringList{u"sh"_s, u"-c"_s, u"exec browser %u"_s, hostile});
    QTest::newRow("quoted program path with blanks")
        << u"\"/opt/Web Browser/bin/browser\" --flag \"a b\" %u"_s << u"t"_s
        << Cmd(QStringList{u"/opt/Web Browser/bin/browser"_s, u"--flag"_s, u"a b"_s, u"t"_s});
    QTest::newRow("empty target is an empty argument")
        << u"b %u"_s << QString() << Cmd(QStringList{u"b"_s, QString()});
    QTest::newRow("empty Exec is malformed") << QString() << u"t"_s << Cmd();
    QTest::newRow("open quote is malformed") << u"b \"%u"_s << u"t"_s << Cmd();
    QTest::newRow("field code as the program is malformed") << u"%u --x"_s << u"t"_s << Cmd();
    QTest::newRow("empty program is malformed") << u"\"\" %u"_s << u"t"_s << Cmd();
}

void TestDesktopEntry::expandExec()
{
    QFETCH(QString, exec);
    QFETCH(QString, target);
    QFETCH(std::optional<QStringList>, command);
    QCOMPARE(DesktopEntry::expandExec(exec, target), command);
}

void TestDesktopEntry::unescapeValue_data()
{
    QTest::addColumn<QString>("raw");
    QTest::addColumn<QString>("value");
    QTest::newRow("plain") << u"firefox %u"_s << u"firefox %u"_s;
    QTest::newRow("string escapes") << u"a\\sb\\tc\\nd\\re"_s << u"a b\tc\nd\re"_s;
    QTest::newRow("double backslash is one") << u"a\\\\b"_s << u"a\\b"_s;
    QTest::newRow("other escapes are left for the Exec quoting")
        << u"\"a\\\"b\""_s << u"\"a\\\"b\""_s;
    QTest::newRow("trailing backslash kept") << u"a\\"_s << u"a\\"_s;
}

void TestDesktopEntry::unescapeValue()
{
    QFETCH(QString, raw);
    QFETCH(QString, value);
    QCOMPARE(DesktopEntry::unescapeValue(raw), value);
}

void TestDesktopEntry::parse_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("exec");
    QTest::addColumn<bool>("hidden");

    QTest::newRow("plain entry") << QByteArray("[Desktop Entry]\nType=Application\nExec=b %u\n")
                                 << true << u"b %u"_s << false;
    QTest::newRow("blanks around the equals sign, CR LF lines")
        << QByteArray("[Desktop Entry]\r\nExec = b %u\r\n") << true << u"b %u"_s << false;
    QTest::newRow("comments and empty lines skipped")
        << QByteArray("# Exec=wrong\n\n[Desktop Entry]\n# Exec=wrong\nExec=b\n") << true << u"b"_s
        << false;
    QTest::newRow("actions' Exec lines are not the entry's")
        << QByteArray("[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nExec=right %u\n"
                      "[Desktop Action private]\nExec=wrong2\n")
        << true << u"right %u"_s << false;
    QTest::newRow("first value of a repeated key wins")
        << QByteArray("[Desktop Entry]\nExec=first\nExec=second\n") << true << u"first"_s << false;
    QTest::newRow("localized keys are other keys")
        << QByteArray("[Desktop Entry]\nExec[de]=wrong\nExec=b\n") << true << u"b"_s << false;
    QTest::newRow("string escapes resolved")
        << QByteArray("[Desktop Entry]\nExec=b \"back\\\\\\\\slash\" a\\sb\n") << true
        << u"b \"back\\\\slash\" a b"_s << false;
    QTest::newRow("UTF-8 text") << QByteArray("[Desktop Entry]\nExec=/opt/br\xc3\xbc/b\n") << true
                                << u"/opt/br\u00fc/b"_s << false;
    QTest::newRow("hidden entry") << QByteArray("[Desktop Entry]\nHidden=true\nExec=b\n") << true
                                  << u"b"_s << true;
    QTest::newRow("no Desktop Entry group")
        << QByteArray("[Desktop Action x]\nExec=b\n") << false << QString() << false;
    QTest::newRow("not a desktop file at all") << QByteArray("\x7f"
                                                             "ELF\x02\x01\x01\0\0\0",
                                                             10)
                                               << false << QString() << false;
}

void TestDesktopEntry::parse()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, valid);
    QFETCH(QString, exec);
    QFETCH(bool, hidden);

    const std::optional<DesktopEntry> entry = DesktopEntry::parse(contents);
    QCOMPARE(entry.has_value(), valid);
    if (!entry)
        return;
    QCOMPARE(entry->value(u"Exec"_s), exec);
    QCOMPARE(entry->isHidden(), hidden);
}

void TestDesktopEntry::loadReadsFileAndRefusesMissing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"b.desktop"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // The desktop-entry way of writing a backslash inside a quoted argument.
    file.write("[Desktop Entry]\nExec=\"/opt/a b/run\" \"x\\\\\\\\y\" %U\n");
    file.close();

    const std::optional<DesktopEntry> entry = DesktopEntry::load(path);
    QVERIFY(entry);
    QCOMPARE(
        entry->commandFor(u"host.example"_s),
        std::optional<QStringList>(QStringList{u"/opt/a b/run"_s, u"x\\y"_s, u"host.example"_s}));

    QVERIFY(!DesktopEntry::load(dir.filePath(u"missing.desktop"_s)));
    QVERIFY(!DesktopEntry::load(dir.path()));
    QVERIFY(!DesktopEntry::parse("[Desktop Entry]\nName=x\n")->commandFor(u"t"_s));
}

QTEST_GUILESS_MAIN(TestDesktopEntry)
#include "tst_desktopentry.moc"
