#include "hostresolver.h"
#include "lookupdialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

const QString Cancel = u"<Cancel>"_s;

QString pointerState()
{
    const QCursor *cursor = QApplication::overrideCursor();
    if (cursor == nullptr)
        return u"pointer"_s;
    return cursor->shape() == Qt::WaitCursor ? u"hourglass"_s : u"other pointer"_s;
}

// Expected transcript lines.
QString prompt11(const QString &offered, const QString &pointer = u"pointer"_s)
{
    return u"prompt \"Enter domain name (example: example.com)\" titled \"Corvane\" offering \"%1\" (%2)"_s
        .arg(offered, pointer);
}
QString prompt12(const QString &offered, const QString &pointer = u"pointer"_s)
{
    return u"prompt \"Enter IP Number (example: 192.0.2.1)\" titled \"Corvane\" offering \"%1\" (%2)"_s
        .arg(offered, pointer);
}
QString forwardLookup(const QString &name)
{
    return u"forward lookup \"%1\" (hourglass)"_s.arg(name);
}
QString reverseLookup(const QString &ipNumber)
{
    return u"reverse lookup \"%1\" (hourglass)"_s.arg(ipNumber);
}
QString beep(const QString &pointer)
{
    return u"beep (%1)"_s.arg(pointer);
}
QString box(const QString &text, const QString &title, const QString &icon,
            const QString &pointer = u"hourglass"_s)
{
    return u"box \"%1\" titled \"%2\" icon %3 buttons OK (%4)"_s.arg(text, title, icon, pointer);
}

class RecordingResolver : public HostResolver
{
public:
    explicit RecordingResolver(QStringList &events)
        : m_events(events)
    {}

    QHash<QString, QString> forward;
    QHash<QString, QString> reverse;

    QString hostNameToIpNumber(const QString &hostName) override
    {
        m_events.append(u"forward lookup \"%1\" (%2)"_s.arg(hostName, pointerState()));
        return forward.value(hostName, u"ERROR"_s);
    }
    QString ipNumberToHostName(const QString &ipNumber) override
    {
        m_events.append(u"reverse lookup \"%1\" (%2)"_s.arg(ipNumber, pointerState()));
        return reverse.value(ipNumber);
    }

private:
    QStringList &m_events;
};

class RecordingLookupDialogs : public LookupDialogs
{
public:
    RecordingLookupDialogs(HostResolver &resolver, QWidget *parent, QStringList &events)
        : LookupDialogs(resolver, parent)
        , m_events(events)
    {}

protected:
    void beep() override { m_events.append(u"beep (%1)"_s.arg(pointerState())); }

private:
    QStringList &m_events;
};

// Answers the real modal prompts and message boxes as a user would: types the
// next answer and clicks OK (or Cancel), and clicks OK on every message box,
// writing down what each one showed.
class DialogAnswerer : public QObject
{
public:
    DialogAnswerer(QStringList answers, QWidget *expectedParent, QStringList &events)
        : m_answers(std::move(answers))
        , m_expectedParent(expectedParent)
        , m_events(events)
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, &DialogAnswerer::answerActiveDialog);
        m_timer.start();
    }

    int wronglyParented = 0;

private:
    void answerActiveDialog()
    {
        QWidget *dialog = QApplication::activeModalWidget();
        if (dialog == nullptr || !dialog->isVisible())
            return;
        if (dialog->parentWidget() != m_expectedParent)
            ++wronglyParented;
        // A handler that keeps asking is a fault; Cancel ends any prompt loop.
        const bool runaway = ++m_dialogs > 20;

        if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
            m_events.append(u"prompt \"%1\" titled \"%2\" offering \"%3\" (%4)"_s.arg(
                input->labelText(), input->windowTitle(), input->textValue(), pointerState()));
            const QString answer = m_answers.isEmpty() || runaway ? Cancel : m_answers.takeFirst();
            auto *buttons = input->findChild<QDialogButtonBox *>();
            if (answer == Cancel) {
                QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
                return;
            }
            auto *edit = input->findChild<QLineEdit *>();
            QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            if (answer.isEmpty())
                QTest::keyClick(edit, Qt::Key_Backspace);
            else
                QTest::keyClicks(edit, answer);
            QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        } else if (auto *message = qobject_cast<QMessageBox *>(dialog)) {
            const QString icon = message->icon() == QMessageBox::NoIcon    ? u"none"_s
                                 : message->icon() == QMessageBox::Warning ? u"warning"_s
                                                                           : u"other"_s;
            const QString buttons =
                message->standardButtons() == QMessageBox::Ok ? u"OK"_s : u"other"_s;
            m_events.append(u"box \"%1\" titled \"%2\" icon %3 buttons %4 (%5)"_s.arg(
                message->text(), message->windowTitle(), icon, buttons, pointerState()));
            QTest::mouseClick(message->button(QMessageBox::Ok), Qt::LeftButton);
        } else {
            m_events.append(
                u"unexpected %1"_s.arg(QLatin1String(dialog->metaObject()->className())));
            dialog->close();
        }
    }

    QTimer m_timer;
    QStringList m_answers;
    QWidget *m_expectedParent;
    QStringList &m_events;
    int m_dialogs = 0;
};

QHash<QString, QString> pairs(const QStringList &list)
{
    QHash<QString, QString> hash;
    for (qsizetype i = 0; i + 1 < list.size(); i += 2)
        hash.insert(list[i], list[i + 1]);
    return hash;
}

} // namespace

class TestLookupDialogs : public QObject
{
    Q_OBJECT

private slots:
    void command11_data();
    void command11();
    void command12_data();
    void command12();
    void remembersAnswersAcrossClicks();

private:
    void runScenario(bool domainToNumber);
};

void TestLookupDialogs::command11_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("resolverAnswers"); // question, answer, ...
    QTest::addColumn<QStringList>("expectedEvents");
    QTest::addColumn<QString>("expectedRemembered");

    QTest::newRow("found: box titled with the name exactly as typed")
        << QString() << QStringList{u"Example.TEST "_s}
        << QStringList{u"Example.TEST "_s, u"10.0.0.7"_s}
        << QStringList{prompt11(QString()), forwardLookup(u"Example.TEST "_s),
                       box(u"IP Number: 10.0.0.7"_s, u"Example.TEST "_s, u"none"_s)}
        << u"Example.TEST "_s;
    QTest::newRow("not found: beep, then warning")
        << QString() << QStringList{u"nothere.test"_s} << QStringList()
        << QStringList{prompt11(QString()), forwardLookup(u"nothere.test"_s), beep(u"hourglass"_s),
                       box(u"Unable to get IP Number."_s, u"Corvane"_s, u"warning"_s)}
        << u"nothere.test"_s;
    QTest::newRow("remembered name offered, new one asked")
        << u"old.test"_s << QStringList{u"new.test"_s} << QStringList{u"new.test"_s, u"10.1.2.3"_s}
        << QStringList{prompt11(u"old.test"_s), forwardLookup(u"new.test"_s),
                       box(u"IP Number: 10.1.2.3"_s, u"new.test"_s, u"none"_s)}
        << u"new.test"_s;
    QTest::newRow("cancel clears the remembered name and asks nothing")
        << u"old.test"_s << QStringList{Cancel} << QStringList()
        << QStringList{prompt11(u"old.test"_s)} << QString();
    QTest::newRow("OK on an empty field asks nothing")
        << u"old.test"_s << QStringList{QString()} << QStringList()
        << QStringList{prompt11(u"old.test"_s)} << QString();
}

void TestLookupDialogs::command11()
{
    runScenario(true);
}

void TestLookupDialogs::command12_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("resolverAnswers");
    QTest::addColumn<QStringList>("expectedEvents");
    QTest::addColumn<QString>("expectedRemembered");

    const QString notValid =
        box(u"Not a valid IP Number."_s, u"Corvane"_s, u"warning"_s, u"pointer"_s);
    const QString noName = box(u"Unable to get domain name."_s, u"Corvane"_s, u"warning"_s);

    QTest::newRow("found: box titled with the number exactly as typed")
        << QString() << QStringList{u"10.0.0.7"_s} << QStringList{u"10.0.0.7"_s, u"official.test"_s}
        << QStringList{prompt12(QString()), reverseLookup(u"10.0.0.7"_s),
                       box(u"Host name: official.test"_s, u"10.0.0.7"_s, u"none"_s)}
        << u"10.0.0.7"_s;
    QTest::newRow("blanks go to the resolver unchanged")
        << QString() << QStringList{u" 10.0.0.7"_s}
        << QStringList{u" 10.0.0.7"_s, u"official.test"_s}
        << QStringList{prompt12(QString()), reverseLookup(u" 10.0.0.7"_s),
                       box(u"Host name: official.test"_s, u" 10.0.0.7"_s, u"none"_s)}
        << u" 10.0.0.7"_s;
    QTest::newRow("two dots rejected and offered again, then 300.1.1.1 accepted")
        << QString() << QStringList{u"1.2.3"_s, u"300.1.1.1"_s} << QStringList()
        << QStringList{prompt12(QString()),
                       beep(u"pointer"_s),
                       notValid,
                       prompt12(u"1.2.3"_s),
                       reverseLookup(u"300.1.1.1"_s),
                       beep(u"hourglass"_s),
                       noName}
        << u"300.1.1.1"_s;
    QTest::newRow("rejected twice, then cancelled")
        << QString() << QStringList{u"1.2.3.4.5"_s, u"w.x.y.z"_s, Cancel} << QStringList()
        << QStringList{prompt12(QString()),      beep(u"pointer"_s), notValid,
                       prompt12(u"1.2.3.4.5"_s), beep(u"pointer"_s), notValid,
                       prompt12(u"w.x.y.z"_s)}
        << QString();
    QTest::newRow("empty answer after a rejected one ends without a message")
        << QString() << QStringList{u"1.2.3"_s, QString()} << QStringList()
        << QStringList{prompt12(QString()), beep(u"pointer"_s), notValid, prompt12(u"1.2.3"_s)}
        << QString();
    QTest::newRow("zero is asked about and fails")
        << QString() << QStringList{u"0.0.0.0"_s} << QStringList()
        << QStringList{prompt12(QString()), reverseLookup(u"0.0.0.0"_s), beep(u"hourglass"_s),
                       noName}
        << u"0.0.0.0"_s;
    QTest::newRow("cancel clears the remembered number")
        << u"192.0.2.9"_s << QStringList{Cancel} << QStringList()
        << QStringList{prompt12(u"192.0.2.9"_s)} << QString();
}

void TestLookupDialogs::command12()
{
    runScenario(false);
}

void TestLookupDialogs::runScenario(bool domainToNumber)
{
    QFETCH(QString, remembered);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, resolverAnswers);
    QFETCH(QStringList, expectedEvents);
    QFETCH(QString, expectedRemembered);

    QWidget window;
    QStringList events;
    RecordingResolver resolver(events);
    (domainToNumber ? resolver.forward : resolver.reverse) = pairs(resolverAnswers);
    RecordingLookupDialogs dialogs(resolver, &window, events);
    QString &rememberedText = domainToNumber ? dialogs.LastDomainName : dialogs.LastIPNumberText;
    rememberedText = remembered;

    {
        DialogAnswerer answerer(answers, &window, events);
        if (domainToNumber)
            dialogs.findAddress();
        else
            dialogs.findName();
        QCOMPARE(answerer.wronglyParented, 0);
    }

    QCOMPARE(events, expectedEvents);
    QCOMPARE(rememberedText, expectedRemembered);
    QCOMPARE(pointerState(), u"pointer"_s);
}

void TestLookupDialogs::remembersAnswersAcrossClicks()
{
    QWidget window;
    QStringList events;
    RecordingResolver resolver(events);
    resolver.forward.insert(u"a.test"_s, u"10.0.0.1"_s);
    RecordingLookupDialogs dialogs(resolver, &window, events);

    {
        DialogAnswerer answerer({u"a.test"_s, Cancel, u"1.2.3"_s, Cancel}, &window, events);
        dialogs.findAddress();
        dialogs.findAddress();
        dialogs.findName();
        dialogs.findName();
    }

    QCOMPARE(events, (QStringList{
                         prompt11(QString()), forwardLookup(u"a.test"_s),
                         box(u"IP Number: 10.0.0.1"_s, u"a.test"_s, u"none"_s),
                         prompt11(u"a.test"_s), prompt12(QString()), beep(u"pointer"_s),
                         box(u"Not a valid IP Number."_s, u"Corvane"_s, u"warning"_s, u"pointer"_s),
                         prompt12(u"1.2.3"_s), prompt12(QString())}));
    QCOMPARE(dialogs.LastDomainName, QString());
    QCOMPARE(dialogs.LastIPNumberText, QString());
}

QTEST_MAIN(TestLookupDialogs)
#include "tst_lookupdialogs.moc"
