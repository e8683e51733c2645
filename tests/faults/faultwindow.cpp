#include "faultwindow.h"

#include "browserlauncher.h"
#include "dirlist.h"
#include "echoprober.h"
#include "hostresolver.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "widgetlookup.h"

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
    m_form = std::make_unique<MainWindow>(*m_settings, *m_prober, *m_resolver, *m_browser);
    m_form->setClock([] { return Now; });
    if (!m_form->startUp(QString())) {
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
    if (!child<DirList>(m_form, "folderTree")->setPath(folder))
        return false;
    child<QLineEdit>(m_form, "logFileEdit")->setText(u"ipnums.txt"_s);
    child<QCheckBox>(m_form, "logEnabledCheck")->setChecked(enabled);
    child<QCheckBox>(m_form, "overwriteCheck")->setChecked(overwrite);
    return true;
}

bool FaultWindow::setRange(const QString &start, const QString &stop)
{
    child<IpAddressEdit>(m_form, "startAddressEdit")->setText(start);
    child<IpAddressEdit>(m_form, "stopAddressEdit")->setText(stop);
    return child<IpAddressEdit>(m_form, "startAddressEdit")->text() == start &&
           child<IpAddressEdit>(m_form, "stopAddressEdit")->text() == stop;
}

bool FaultWindow::clickAndWaitForEnd(QAbstractButton *button, int timeoutMs)
{
    if (!button->isEnabled())
        return false;
    QSignalSpy finished(m_form.get(), &MainWindow::runFinished);
    QTest::mouseClick(button, Qt::LeftButton);
    return finished.count() > 0 || finished.wait(timeoutMs);
}

QStringList FaultWindow::lines() const
{
    QStringList result;
    for (int row = 0; row < child<QListWidget>(m_form, "resultList")->count(); ++row)
        result.append(child<QListWidget>(m_form, "resultList")->item(row)->text());
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
