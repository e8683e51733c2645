#include "hostnameescape.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestHostNameEscape : public QObject
{
    Q_OBJECT

private slots:
    void escapes_data();
    void escapes();
    void everyByteComesBackPrintableAndOnOneField();
};

void TestHostNameEscape::escapes_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain name unchanged") << "host-1.example.test"_ba << u"host-1.example.test"_s;
    QTest::newRow("empty name") << QByteArray() << QString();
    QTest::newRow("tab would split the result line") << "a\tb"_ba << u"a\\x09b"_s;
    QTest::newRow("CR and LF would split the log line") << "a\r\nb"_ba << u"a\\x0D\\x0Ab"_s;
    QTest::newRow("other control bytes") << "\x01\x1B\x1F"_ba << u"\\x01\\x1B\\x1F"_s;
    QTest::newRow("DEL") << "x\x7Fy"_ba << u"x\\x7Fy"_s;
    QTest::newRow("NUL inside the data") << QByteArray("a\0b", 3) << u"a\\x00b"_s;
    QTest::newRow("backslash escaped so escapes stay unambiguous") << "a\\x41"_ba << u"a\\x5Cx41"_s;
    QTest::newRow("UTF-8 name shown as text") << "caf\xC3\xA9.lab.test"_ba << u"café.lab.test"_s;
    QTest::newRow("UTF-8 of three and four bytes shown as text")
        << "\xE2\x82\xAC\xF0\x9F\x98\x80"_ba << u"\u20AC\U0001F600"_s;
    QTest::newRow("C1 control escaped byte by byte") << "a\xC2\x85"
                                                        "b"_ba
                                                     << u"a\\xC2\\x85b"_s;
    QTest::newRow("last C1 control and first text after it")
        << "\xC2\x9F\xC2\xA0"_ba << u"\\xC2\\x9F\u00A0"_s;
    QTest::newRow("stray high byte") << "\xFF"_ba << u"\\xFF"_s;
    QTest::newRow("stray continuation byte") << "a\x80"
                                                "b"_ba
                                             << u"a\\x80b"_s;
    QTest::newRow("sequence cut short by the end") << "caf\xC3"_ba << u"caf\\xC3"_s;
    QTest::newRow("sequence cut short by ASCII") << "\xE2\x82x"_ba << u"\\xE2\\x82x"_s;
    QTest::newRow("overlong form of a slash")
        << "\xC0\xAF\xE0\x80\xAF"_ba << u"\\xC0\\xAF\\xE0\\x80\\xAF"_s;
    QTest::newRow("overlong form of a line feed") << "\xC0\x8A"_ba << u"\\xC0\\x8A"_s;
    QTest::newRow("surrogate") << "\xED\xA0\x80"_ba << u"\\xED\\xA0\\x80"_s;
    QTest::newRow("beyond U+10FFFF") << "\xF4\x90\x80\x80"_ba << u"\\xF4\\x90\\x80\\x80"_s;
    QTest::newRow("shell metacharacters stay visible")
        << "a;b$(c)`d`|e&f<g>'h\"i* ~"_ba << u"a;b$(c)`d`|e&f<g>'h\"i* ~"_s;
    QTest::newRow("printable edges") << " ~"_ba << u" ~"_s;
}

void TestHostNameEscape::escapes()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, expected);
    QCOMPARE(escapeHostName(raw), expected);
}

void TestHostNameEscape::everyByteComesBackPrintableAndOnOneField()
{
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte)
        all.append(static_cast<char>(byte));
    const QString text = escapeHostName(all);
    for (const QChar ch : text)
        QVERIFY2(ch.unicode() >= 0x20 && ch.unicode() < 0x7F,
                 qPrintable(u"U+%1 left unescaped"_s.arg(int{ch.unicode()}, 4, 16, QChar(u'0'))));
    // 94 printable bytes stay; the other 162, the backslash among them, become escapes.
    QCOMPARE(text.size(), 94 + 162 * 4);
}

QTEST_GUILESS_MAIN(TestHostNameEscape)
#include "tst_hostnameescape.moc"
