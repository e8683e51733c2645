#include "faultwindow.h"

#include "browserlauncher.h"
#include "ccrpipaddress.h"
#include "dirlist.h"
#include "echoprober.h"
#include "form1.h"
#include "hostresolver.h"
#include "settingsstore.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

const QDateTime FaultWindow::Now(QDate(2026, 12, 5), QTime(15, 26, 8));
const QString FaultWindow::Stamp = u"12/05/26 03:26:08 pm"_s;

FaultWindow::FaultWindow()
    : m_settings(createSystemSettingsStore())
    , m_prober(createSystemEchoProber())
    , m_resolver(createSystemHostResolver())
    , m_browser(createSystemBrowserLauncher())
{}

FaultWindow::~FaultWindow() = default;

bool FaultWindow::open(QString *why)
{
    // The start-up check resolves a name; localhost keeps it on this machine.
    qputenv("CORVANE_CHECK_HOST", "localhost");
    m_form = std::make_unique<Form1>(*m_settings, *m_prober, *m_resolver, *m_browser);
    m_form->setClock([] { return Now; });
    if (!m_form->Form_Load(QString())) {
        *why = u"the start-up check failed to resolve localhost"_s;
        return false;
    }
    if (!QTest::qWaitForWindowActive(m_form.get())) {
        *why = u"the window did not become active"_s;
        return false;
    }
    return true;
}

bool FaultWindow::setLog(const QString &folder, bool enabled, bool overwrite)
{
    if (!m_form->Dir1->setPath(folder))
        return false;
    m_form->Text1->setText(u"ipnums.txt"_s);
    m_form->Check1->setChecked(enabled);
    m_form->Check2->setChecked(overwrite);
    return true;
}

bool FaultWindow::setRange(const QString &start, const QString &stop)
{
    m_form->IP->setText(start);
    m_form->IP2->setText(stop);
    return m_form->IP->Text() == start && m_form->IP2->Text() == stop;
}

bool FaultWindow::clickAndWaitForEnd(QAbstractButton *button, int timeoutMs)
{
    if (!button->isEnabled())
        return false;
    QSignalSpy finished(m_form.get(), &Form1::runFinished);
    QTest::mouseClick(button, Qt::LeftButton);
    return finished.count() > 0 || finished.wait(timeoutMs);
}

QStringList FaultWindow::lines() const
{
    QStringList result;
    for (int row = 0; row < m_form->List1->count(); ++row)
        result.append(m_form->List1->item(row)->text());
    return result;
}

void FaultWindow::closeAndDestroy()
{
    if (m_form)
        m_form->close();
    m_form.reset();
}

QString FaultWindow::pingLine(const QString &address, const QString &name)
{
    if (name.isNull())
        return QString(address + u'\t' + Stamp);
    return QString(address + u'\t' + name + u'\t' + Stamp);
}

QByteArray FaultWindow::pingLogLine(const QString &address, const QString &name)
{
    return (address + u"   "_s + name + u"   "_s + Stamp).toUtf8() + "\r\n";
}
