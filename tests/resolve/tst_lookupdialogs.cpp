#include "dialoganswerer.h"
#include "failuremessage.h"
#include "fakehostresolver.h"
#include "lookupdialogs.h"
#include "resolver.h"

#include <QApplication>
#include <QTest>

using namespace Qt::StringLiterals;

// The failure beep, made visible to the dialog answerer.
struct Lookups : LookupDialogs
{
    using LookupDialogs::LookupDialogs;
    void beep() override { FailureBeep::instance().beep(); }
};

class TestLookupDialogs : public QObject
{
    Q_OBJECT

private slots:
    // "answers" are typed into the prompts in turn ("<cancel>" cancels). Each
    // dialog is "?<offered text>" for the prompt, else "<title>: <text>", followed
    // by "beep" when the failure beep came first and "wait" under the hourglass.
    // "asked" is what the resolver was asked, and the text remembered afterwards.
    void lookup_data()
    {
        QTest::addColumn<bool>("byName");
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QString>("answers");
        QTest::addColumn<QString>("dialogs");
        QTest::addColumn<QString>("asked");
        const auto row = [](const char *name, bool byName, const char *remembered,
                            const char *answers, const char *dialogs, const char *asked) {
            QTest::newRow(name) << byName << QString::fromUtf8(remembered)
                                << QString::fromUtf8(answers) << QString::fromUtf8(dialogs)
                                << QString::fromUtf8(asked);
        };
        row("name found: box titled with the name as typed", true, "", "Example.TEST ",
            "?;Example.TEST : IP Number: 10.0.0.7 wait", "Example.TEST ");
        row("name not found: beep, then warning", true, "old.test", "nothere.test",
            "?old.test;Corvane: Unable to get IP Number. beep wait", "nothere.test");
        row("cancel forgets the name and asks nothing", true, "old.test", "<cancel>", "?old.test",
            "");
        row("number found: blanks go to the resolver unchanged", false, "", " 10.0.0.7",
            "?; 10.0.0.7: Host name: official.test wait", " 10.0.0.7");
        row("part below 16 bits: warning, asked again with it; 16-bit parts, fourth unread pass",
            false, "", "1.-32769.0.0|32767.-32768.+0.x",
            "?;Corvane: Not a valid IP Number. beep;?1.-32769.0.0;"
            "Corvane: Unable to get domain name. beep wait",
            "32767.-32768.+0.x");
        row("part above 16 bits, then cancel: nothing asked, number forgotten", false, "192.0.2.9",
            "32768.0.0.0|<cancel>", "?192.0.2.9;Corvane: Not a valid IP Number. beep;?32768.0.0.0",
            "");
    }

    void lookup()
    {
        QFETCH(bool, byName);
        QFETCH(QString, answers);
        QFETCH(QString, dialogs);
        QFETCH(QString, asked);
        QWidget window;
        FakeHostResolver resolver;
        resolver.forward.insert(u"Example.TEST "_s, u"10.0.0.7"_s);
        resolver.reverse.insert(u" 10.0.0.7"_s, u"official.test"_s);
        DialogAnswerer answerer({}, answers.split(u'|'));
        Lookups lookups(resolver, &window);
        QString &last = byName ? lookups.LastDomainName : lookups.LastIPNumberText;
        QFETCH(QString, remembered);
        last = remembered;
        byName ? lookups.findAddress() : lookups.findName();
        const QString prompt = byName ? u"Corvane: Enter domain name (example: example.com)"_s
                                      : u"Corvane: Enter IP Number (example: 192.0.2.1)"_s;
        QStringList seen;
        for (const SeenDialog &dialog : answerer.seen()) {
            const QString shown = dialog.title + u": "_s + dialog.text;
            seen.append((shown == prompt ? u'?' + dialog.offered : shown) +
                        (dialog.beeped ? u" beep"_s : QString()) +
                        (dialog.waitCursor ? u" wait"_s : QString()));
            QCOMPARE(dialog.parent, &window);
            QCOMPARE(dialog.icon, dialog.beeped ? QMessageBox::Warning : QMessageBox::NoIcon);
        }
        QCOMPARE(seen, dialogs.split(u';'));
        QCOMPARE(byName ? resolver.forwardAsked() : resolver.reverseAsked(),
                 asked.isEmpty() ? QStringList() : QStringList{asked});
        QCOMPARE(last, asked);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }
};

QTEST_MAIN(TestLookupDialogs)
#include "tst_lookupdialogs.moc"
