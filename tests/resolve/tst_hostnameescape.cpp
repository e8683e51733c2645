#include "hostnameescape.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TstHostNameEscape : public QObject
{
    Q_OBJECT

private slots:
    void escapes_data();
    void escapes();
    void everyByteComesBackPrintableAndOnOneField();
};

void TstHostNameEscape::escapes_data()
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
    QTest::newRow("UTF-8 bytes escaped one by one") << "caf\xC3\xA9"_ba << u"caf\\xC3\\xA9"_s;
    QTest::newRow("stray high byte") << "\xFF"_ba << u"\\xFF"_s;
    QTest::newRow("shell metacharacters stay visible")
        << "a;b$(c)`d`|e&f<g>'h\"i* ~"_ba << u"a;b$(c)`d`|e&f<g>'h\"i* ~"_s;
    QTest::newRow("printable edges") << " ~"_ba << u" ~"_s;
}

void TstHostNameEscape::escapes()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, expected);
    QCOMPARE(escapeHostName(raw), expected);
}

void TstHostNameEscape::everyByteComesBackPrintableAndOnOneField()
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

QTEST_GUILESS_MAIN(TstHostNameEscape)
#include "tst_hostnameescape.moc"
