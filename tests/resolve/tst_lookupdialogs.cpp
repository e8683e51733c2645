// The IP and Domain lookups through their real prompts and message boxes, and
// the text rules of the resolver: the address shape check and host-name escaping.
#include "dialoganswerer.h"
#include "fakehostresolver.h"
#include "hostnameescape.h"
#include "lookupdialogs.h"
#include "resolver.h"

#include <QApplication>
#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

const QString kAskName = u"Enter domain name (example: example.com)"_s;
const QString kAskNumber = u"Enter IP Number (example: 192.0.2.1)"_s;
const QString kCancel = DialogAnswerer::kCancel;

// Notes how many dialogs had shown when each failure beep came.
class Lookups : public LookupDialogs
{
public:
    Lookups(HostResolver &resolver, QWidget *parent, const DialogAnswerer &answerer)
        : LookupDialogs(resolver, parent)
        , m_answerer(answerer)
    {}
    QList<qsizetype> beeps;

protected:
    void beep() override { beeps.append(m_answerer.seen().size()); }

private:
    const DialogAnswerer &m_answerer;
};

} // namespace

class TestLookupDialogs : public QObject
{
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void ipNumberForm_data();
    void ipNumberForm();
    void hostNameEscape_data();
    void hostNameEscape();
};

void TestLookupDialogs::lookup_data()
{
    QTest::addColumn<bool>("byName");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("dialogs"); // "title: text [offered] (wait cursor)"
    QTest::addColumn<QStringList>("asked");
    QTest::addColumn<QList<qsizetype>>("beeps");
    QTest::addColumn<QString>("rememberedAfter");

    const auto ask = [](const QString &text, const QString &offered) {
        return u"Corvane: %1 [%2]"_s.arg(text, offered);
    };
    const QString notValid = u"Corvane: Not a valid IP Number. []"_s;
    QTest::newRow("name found: box titled with the name as typed, wait cursor")
        << true << QString() << QStringList{u"Example.TEST "_s}
        << QStringList{ask(kAskName, {}), u"Example.TEST : IP Number: 10.0.0.7 [] (wait)"_s}
        << QStringList{u"Example.TEST "_s} << QList<qsizetype>{} << u"Example.TEST "_s;
    QTest::newRow("name not found: beep, then warning")
        << true << u"old.test"_s << QStringList{u"nothere.test"_s}
        << QStringList{ask(kAskName, u"old.test"_s),
                       u"Corvane: Unable to get IP Number. [] (wait)"_s}
        << QStringList{u"nothere.test"_s} << QList<qsizetype>{1} << u"nothere.test"_s;
    QTest::newRow("cancel forgets the name and asks nothing")
        << true << u"old.test"_s << QStringList{kCancel}
        << QStringList{ask(kAskName, u"old.test"_s)} << QStringList() << QList<qsizetype>{}
        << QString();
    QTest::newRow("empty name asks nothing") << true << u"old.test"_s << QStringList{QString()}
                                             << QStringList{ask(kAskName, u"old.test"_s)}
                                             << QStringList() << QList<qsizetype>{} << QString();
    QTest::newRow("number found: blanks go to the resolver unchanged")
        << false << QString() << QStringList{u" 10.0.0.7"_s}
        << QStringList{ask(kAskNumber, {}), u" 10.0.0.7: Host name: official.test [] (wait)"_s}
        << QStringList{u" 10.0.0.7"_s} << QList<qsizetype>{} << u" 10.0.0.7"_s;
    QTest::newRow("bad shape: beep, warning, asked again with it; 300.1.1.1 has the shape")
        << false << QString() << QStringList{u"1.2.3"_s, u"300.1.1.1"_s}
        << QStringList{ask(kAskNumber, {}), notValid, ask(kAskNumber, u"1.2.3"_s),
                       u"Corvane: Unable to get domain name. [] (wait)"_s}
        << QStringList{u"300.1.1.1"_s} << QList<qsizetype>{1, 3} << u"300.1.1.1"_s;
    QTest::newRow("bad shape, then cancel: nothing asked, number forgotten")
        << false << u"192.0.2.9"_s << QStringList{u"1.2.3.4.5"_s, kCancel}
        << QStringList{ask(kAskNumber, u"192.0.2.9"_s), notValid, ask(kAskNumber, u"1.2.3.4.5"_s)}
        << QStringList() << QList<qsizetype>{1} << QString();
}

void TestLookupDialogs::lookup()
{
    QFETCH(bool, byName);
    QFETCH(QString, remembered);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, dialogs);
    QFETCH(QStringList, asked);
    QFETCH(QList<qsizetype>, beeps);
    QFETCH(QString, rememberedAfter);

    QWidget window;
    FakeHostResolver resolver;
    resolver.forward.insert(u"Example.TEST "_s, u"10.0.0.7"_s);
    resolver.reverse.insert(u" 10.0.0.7"_s, u"official.test"_s);
    DialogAnswerer answerer({}, answers);
    Lookups lookups(resolver, &window, answerer);
    (byName ? lookups.LastDomainName : lookups.LastIPNumberText) = remembered;
    byName ? lookups.findAddress() : lookups.findName();

    QStringList seen;
    for (const SeenDialog &dialog : answerer.seen()) {
        seen.append(u"%1: %2 [%3]%4"_s.arg(dialog.title, dialog.text, dialog.offered,
                                           dialog.waitCursor ? u" (wait)"_s : QString()));
        QCOMPARE(dialog.parent, &window);
        QCOMPARE(dialog.icon, dialog.title == u"Corvane"_s && !dialog.text.startsWith(u"Enter")
                                  ? QMessageBox::Warning
                                  : QMessageBox::NoIcon);
    }
    QCOMPARE(seen, dialogs);
    QCOMPARE(byName ? resolver.forwardAsked() : resolver.reverseAsked(), asked);
    QCOMPARE(lookups.beeps, beeps);
    QCOMPARE(byName ? lookups.LastDomainName : lookups.LastIPNumberText, rememberedAfter);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
}

// Named edge cases; fuzz_ipnumberform checks the rule against a model.
void TestLookupDialogs::ipNumberForm_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("shaped");
    QTest::newRow("octets are not range-checked, the fourth part not read")
        << u"300.1.1.x"_s << true;
    QTest::newRow("two dots") << u"1.2.3"_s << false;
    QTest::newRow("four dots") << u"1.2.3.4.5"_s << false;
    QTest::newRow("signed 16-bit bounds") << u"32767.-32768.+0.0"_s << true;
    QTest::newRow("above 16 bits") << u"32768.0.0.0"_s << false;
    QTest::newRow("below 16 bits") << u"1.-32769.0.0"_s << false;
    QTest::newRow("blanks around a part") << u" 1 . 2 .3 .4"_s << true;
    QTest::newRow("empty third part") << u"1.2..4"_s << false;
}

void TestLookupDialogs::ipNumberForm()
{
    QFETCH(QString, text);
    QFETCH(bool, shaped);
    QCOMPARE(hasIpNumberForm(text), shaped);
    QCOMPARE(ipNumberFromAddress(qToBigEndian(0x0A00FF81u)), u"10.0.255.129"_s);
}

// Named edge cases; fuzz_hostnameescape checks every name against a model.
void TestLookupDialogs::hostNameEscape_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QString>("shown");
    QTest::newRow("valid UTF-8 shown as text")
        << "caf\xC3\xA9.\xE2\x82\xAC\xF0\x9F\x98\x80 ;$(x)~"_ba << u"café.€😀 ;$(x)~"_s;
    QTest::newRow("C0 controls, NUL and DEL escaped")
        << QByteArray("\t\r\n\0\x1F\x7F", 6) << u"\\x09\\x0D\\x0A\\x00\\x1F\\x7F"_s;
    QTest::newRow("C1 controls escaped byte by byte, U+00A0 kept")
        << "\xC2\x80\xC2\x9F\xC2\xA0"_ba << u"\\xC2\\x80\\xC2\\x9F\u00A0"_s;
    QTest::newRow("backslash escaped") << "a\\x41"_ba << u"a\\x5Cx41"_s;
    QTest::newRow("invalid UTF-8 bytes escaped")
        << "\xFF\x80\xC3\xC0\xAF\xED\xA0\x80"_ba << u"\\xFF\\x80\\xC3\\xC0\\xAF\\xED\\xA0\\x80"_s;
}

void TestLookupDialogs::hostNameEscape()
{
    QFETCH(QByteArray, raw);
    QFETCH(QString, shown);
    QCOMPARE(escapeHostName(raw), shown);
}

QTEST_MAIN(TestLookupDialogs)
#include "tst_lookupdialogs.moc"
