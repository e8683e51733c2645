#include "aboutbox.h"
#include "browserlauncher.h"
#include "dialoganswerer.h"
#include "failuremessage.h"
#include "fakehostresolver.h"
#include "launchbrowser.h"
#include "lookupdialogs.h"

#include <QApplication>
#include <QTest>

using namespace Qt::StringLiterals;
using Result = BrowserLauncher::LaunchResult;

// The failure beep, made visible to the dialog answerer.
struct Lookups : LookupDialogs
{
    using LookupDialogs::LookupDialogs;
    void beep() override { FailureBeep::instance().beep(); }
};

struct RecordingLauncher : BrowserLauncher
{
    Result result = Result::Started;
    QStringList targets;
    Result launch(const QString &target) override { return targets.append(target), result; }
};

class TestLookupDialogs : public QObject
{
    Q_OBJECT

private slots:
    // "<action>~<text>~<answers, | between>~<dialogs, ; between>~<asked>". "name"/"number"
    // look up with <text> remembered and the answers typed into the prompts; <asked> went to
    // the resolver and is remembered. "click" double-clicks the line <text> with the list's
    // tooltip ("click untipped": without), "about" answers the About box; <asked> are the
    // launched targets. A dialog is "?<offered text>" for a prompt, else "<icon> <title>:
    // <first line>", then " beep" after the failure beep and " wait" under the hourglass.
    void dialogs_data()
    {
        QTest::addColumn<QString>("row");
        QTest::addColumn<Result>("result");
        const auto row = [](const char *name, const QString &text,
                            Result result = Result::Started) {
            QTest::newRow(name) << text << result;
        };
        row("name found: box titled with the name as typed",
            u"name~~Example.TEST ~?;0 Example.TEST : IP Number: 10.0.0.7 wait~Example.TEST "_s);
        row("name not found: beep, then warning",
            u"name~old.test~nothere.test~?old.test;2 Corvane: Unable to get IP Number. beep wait~"
            u"nothere.test"_s);
        row("cancel forgets the name and asks nothing", u"name~old.test~<cancel>~?old.test~"_s);
        row("number found: blanks go to the resolver unchanged",
            u"number~~ 10.0.0.7~?;0  10.0.0.7: Host name: official.test wait~ 10.0.0.7"_s);
        row("part below 16 bits: warning, asked again with it; 16-bit parts pass",
            u"number~~1.-32769.0.0|32767.-32768.+0.x~?;2 Corvane: Not a valid IP Number. beep;"
            u"?1.-32769.0.0;2 Corvane: Unable to get domain name. beep wait~32767.-32768.+0.x"_s);
        row("part above 16 bits, then cancel: nothing asked, number forgotten",
            u"number~192.0.2.9~32768.0.0.0|<cancel>~?192.0.2.9;2 Corvane: Not a valid IP Number. "
            u"beep;?32768.0.0.0~"_s);
        row("double-click without tooltip opens nothing",
            u"click untipped~10.0.0.5\th.example~~~"_s);
        row("no browser: warning",
            u"click~10.0.0.5\th.example~~2 Corvane: Could not find associated browser.~h.example"_s,
            Result::NoBrowser);
        row("browser that cannot start: warning",
            u"click~10.0.0.5\th.example~~2 Corvane: Web page not opened.~h.example"_s,
            Result::NotStarted);
        const QString about =
            u"0 Corvane - About Box: Corvane 2.0;4 Corvane: Do you want to go to "
            u"my web site now so you can download the latest version of Corvane?"_s;
        row("About box, Yes opens the web site",
            u"about~~Yes~"_s + about + u"~https://corvane.example.org"_s);
        row("About box, No opens nothing", u"about~~No~"_s + about + u'~');
    }

    void dialogs()
    {
        QFETCH(QString, row);
        const QStringList part = row.split(u'~');
        const QString action = part[0];
        QWidget window;
        FakeHostResolver resolver;
        resolver.forward.insert(u"Example.TEST "_s, u"10.0.0.7"_s);
        resolver.reverse.insert(u" 10.0.0.7"_s, u"official.test"_s);
        RecordingLauncher launcher;
        QFETCH(Result, result);
        launcher.result = result;
        DialogAnswerer answerer(
            {QMessageBox::Ok, part[2] == u"No" ? QMessageBox::No : QMessageBox::Yes},
            part[2].split(u'|'));
        Lookups lookups(resolver, &window);
        QString &last = action == u"name" ? lookups.LastDomainName : lookups.LastIPNumberText;
        last = part[1];
        if (action == u"name")
            lookups.findAddress();
        else if (action == u"number")
            lookups.findName();
        else if (action == u"about")
            showAboutBox(&window, launcher);
        else
            handleResultDoubleClick(action == u"click" ? u"tip"_s : QString(), part[1], &window,
                                    launcher);
        QStringList seen;
        for (const SeenDialog &dialog : answerer.seen()) {
            seen.append((dialog.text.startsWith(u"Enter ")
                             ? u'?' + dialog.offered
                             : u"%1 %2: %3"_s.arg(int(dialog.icon))
                                   .arg(dialog.title, dialog.text.section(u"\r\n"_s, 0, 0))) +
                        (dialog.beeped ? u" beep"_s : QString()) +
                        (dialog.waitCursor ? u" wait"_s : QString()));
            QCOMPARE(dialog.parent, &window);
        }
        QCOMPARE(seen.join(u';'), part[3]);
        QCOMPARE((action == u"name"     ? resolver.forwardAsked()
                  : action == u"number" ? resolver.reverseAsked()
                                        : launcher.targets)
                     .join(u'|'),
                 part[4]);
        QVERIFY(!action.startsWith(u'n') || last == part[4]); // a lookup remembers it
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QVERIFY(action != u"about" ||
                answerer.seen().first().text.contains(
                    u"\r\n\r\nCorvane allows you to see what IP Numbers are being used on the "
                    u"internet.\r\nJust enter a start IP Number and a stop IP Number and select "
                    u"the Start Button!\r\nPinged IP Numbers can be printed, copied to the "
                    u"Clipboard, or stored in a log file.\r\n\r\n"_s));
    }
};

QTEST_MAIN(TestLookupDialogs)
#include "tst_lookupdialogs.moc"
