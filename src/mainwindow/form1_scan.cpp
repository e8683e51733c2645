#include "ccrpipaddress.h"
#include "dirlist.h"
#include "drivelist.h"
#include "echoprober.h"
#include "failuremessage.h"
#include "form1.h"
#include "mainwindowrules.h"
#include "scanrun.h"
#include "timestamp.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <utility>

using namespace Qt::StringLiterals;

void Form1::Command1_Click()
{
    if (m_running)
        return;
    const bool pingMode = Option1->isChecked();
    if (pingMode && !m_prober.ensureAvailable()) {
        // A run that cannot send a single echo request would end with an
        // empty list, as if nothing answered.
        showFailureMessage(this, echoUnavailableMessage(m_prober.unavailableReason()));
        return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString folderText = ScanLog::logFolderText(Dir1->path());

    m_changingRunControls = true;
    setRunControlsEnabled(false);
    Command2->setEnabled(true);
    Command2->setFocus();
    m_changingRunControls = false;

    m_loggingOn = Check1->checkState() == Qt::Checked;
    if (m_loggingOn) {
        const QString fileName = ScanLog::effectiveFileName(Text1->text());
        if (fileName != Text1->text())
            Text1->setText(fileName);
        m_log.open(folderText + fileName, Check2->checkState() == Qt::Checked && !StopRequested);
    }

    if (!StopRequested) {
        Label3->clear();
        ResultCount = 0;
        List1->clear();
    }
    m_pingMode = pingMode;
    StopRequested = false;
    m_namesWanted = Check3->isChecked();

    ScanOptions options;
    options.startText = IP->Text();
    options.stopText = IP2->Text();
    options.pingMode = m_pingMode;
    options.namesWanted = m_namesWanted;
    options.parallel = m_parallel;
    m_running = true;
    m_scanRun->start(options);
}

void Form1::Command2_Click()
{
    StopRequested = true;
    if (m_running)
        m_scanRun->requestStop();
}

void Form1::Command3_Click()
{
    Command1_Click();
}

void Form1::setRunControlsEnabled(bool enabled)
{
    // Start goes first, so that the focus, moving on from disabled controls,
    // can never land on it.
    for (QWidget *control : std::initializer_list<QWidget *>{
             Command1, Check1, Check2, Check3, Command2, Command3, Command4, Command5, Command6,
             Command7, Command9, Command11, Command12, Option1, Option2, IP, IP2, Frame1})
        control->setEnabled(enabled);
}

void Form1::enableEveryControl()
{
    const QList<QWidget *> controls = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *control : controls)
        control->setEnabled(true);
    for (QWidget *control : std::initializer_list<QWidget *>{Check1, Drive1, Dir1, Text1})
        control->setEnabled(true);
}

void Form1::onCurrentAddressChanged(const QString &ipNumberText)
{
    if (m_running)
        IP->setText(ipNumberText);
}

void Form1::onResultReady(const QString &ipNumberText, const QString &name)
{
    if (!m_running)
        return;
    // The log gets each line at once; the list gets them in small batches.
    const QDateTime now = m_clock();
    if (m_pingMode) {
        if (m_loggingOn)
            m_log.writePingLine(ipNumberText, name, now);
        m_pendingLines.append(
            resultListLine(true, m_namesWanted, ipNumberText, name, formatTimeStamp(now)));
    } else {
        if (name.isEmpty())
            return;
        if (m_loggingOn)
            m_log.writeDomainLine(ipNumberText, name);
        m_pendingLines.append(resultListLine(false, true, ipNumberText, name, QString()));
    }
    if (!m_showPendingLines->isActive())
        m_showPendingLines->start();
}

void Form1::showPendingLines()
{
    m_showPendingLines->stop();
    if (m_pendingLines.isEmpty())
        return;
    const QStringList lines = std::exchange(m_pendingLines, {});
    for (const QString &line : lines)
        RecordResult(line);
    // Selecting scrolls the last line into view.
    List1->setCurrentRow(List1->count() - 1);
}

void Form1::RecordResult(const QString &line)
{
    if (List1->count() >= m_resultListCapacity) {
        List1->clear();
        ResultCount = 0;
        Label3->clear();
    }
    // The line that found the list full starts the new list, so the list
    // and the counter always agree.
    List1->addItem(line);
    ++ResultCount;
    Label3->setText(counterLabelText(ResultCount, m_pingMode));
}

void Form1::RunEnd(bool tellLogFailure)
{
    if (!m_running)
        return;
    m_running = false;

    showPendingLines();
    m_changingRunControls = true;
    enableEveryControl();
    Command2->setEnabled(false);
    m_changingRunControls = false;

    if (ResultCount != 0) {
        List1->setToolTip(m_namesWanted ? u" Double-click on domain to load "_s : QString());
        Command5->setEnabled(true);
        Command6->setEnabled(true);
    } else {
        List1->setToolTip(QString());
        Command5->setEnabled(false);
        Command6->setEnabled(false);
    }

    QString logFailure;
    if (m_loggingOn) {
        m_log.close();
        logFailure = m_log.failureReason();
    }
    QApplication::restoreOverrideCursor();
    emit runFinished();

    if (tellLogFailure && !logFailure.isEmpty()) {
        showFailureMessage(this, u"The log file could not be written:\n"_s + logFailure +
                                     u"\n\nThe results of this run are in the result list."_s);
    }
}
