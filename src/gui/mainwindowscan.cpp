#include "dirlist.h"
#include "drivelist.h"
#include "echoprober.h"
#include "failuremessage.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
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

void MainWindow::startScan()
{
    if (m_running)
        return;
    const bool pingMode = m_pingModeButton->isChecked();
    if (pingMode && !m_prober.ensureAvailable()) {
        // A run that cannot send a single echo request would end with an
        // empty list, as if nothing answered.
        showFailureMessage(this, echoUnavailableMessage(m_prober.unavailableReason()));
        return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString folderText = ScanLog::logFolderText(m_folderTree->path());

    m_changingRunControls = true;
    setRunControlsEnabled(false);
    m_stopButton->setEnabled(true);
    m_stopButton->setFocus();
    m_changingRunControls = false;

    m_loggingOn = m_logEnabledCheck->checkState() == Qt::Checked;
    if (m_loggingOn) {
        const QString fileName = ScanLog::effectiveFileName(m_logFileEdit->text());
        if (fileName != m_logFileEdit->text())
            m_logFileEdit->setText(fileName);
        m_log.open(folderText + fileName,
                   m_overwriteCheck->checkState() == Qt::Checked && !m_stopRequested);
    }

    if (!m_stopRequested) {
        m_statusLabel->clear();
        m_resultCount = 0;
        m_resultList->clear();
    }
    m_pingMode = pingMode;
    m_stopRequested = false;
    m_namesWanted = m_namesCheck->isChecked();

    ScanOptions options;
    options.startText = m_startAddressEdit->text();
    options.stopText = m_stopAddressEdit->text();
    options.pingMode = m_pingMode;
    options.namesWanted = m_namesWanted;
    options.parallel = m_parallel;
    m_running = true;
    m_scanRun->start(options);
}

void MainWindow::stopScan()
{
    m_stopRequested = true;
    if (m_running)
        m_scanRun->requestStop();
}

void MainWindow::resumeScan()
{
    startScan();
}

void MainWindow::setRunControlsEnabled(bool enabled)
{
    // Start goes first, so that the focus, moving on from disabled controls,
    // can never land on it.
    for (QWidget *control : std::initializer_list<QWidget *>{
             m_startButton, m_logEnabledCheck, m_overwriteCheck, m_namesCheck, m_stopButton,
             m_resumeButton, m_exitButton, m_copyButton, m_printButton, m_aboutButton, m_listButton,
             m_findAddressButton, m_findNameButton, m_pingModeButton, m_domainModeButton,
             m_startAddressEdit, m_stopAddressEdit, m_logGroup})
        control->setEnabled(enabled);
}

void MainWindow::enableEveryControl()
{
    const QList<QWidget *> controls = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    for (QWidget *control : controls)
        control->setEnabled(true);
    for (QWidget *control : std::initializer_list<QWidget *>{m_logEnabledCheck, m_driveCombo,
                                                             m_folderTree, m_logFileEdit})
        control->setEnabled(true);
}

void MainWindow::onCurrentAddressChanged(const QString &ipNumberText)
{
    if (m_running)
        m_startAddressEdit->setText(ipNumberText);
}

void MainWindow::onResultReady(const QString &ipNumberText, const QString &name)
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

void MainWindow::showPendingLines()
{
    m_showPendingLines->stop();
    if (m_pendingLines.isEmpty())
        return;
    const QStringList lines = std::exchange(m_pendingLines, {});
    for (const QString &line : lines)
        addResult(line);
    // Selecting scrolls the last line into view.
    m_resultList->setCurrentRow(m_resultList->count() - 1);
}

void MainWindow::addResult(const QString &line)
{
    if (m_resultList->count() >= m_resultListCapacity) {
        m_resultList->clear();
        m_resultCount = 0;
        m_statusLabel->clear();
    }
    // The line that found the list full starts the new list, so the list
    // and the counter always agree.
    m_resultList->addItem(line);
    ++m_resultCount;
    m_statusLabel->setText(counterLabelText(m_resultCount, m_pingMode));
}

void MainWindow::finishRun(bool tellLogFailure)
{
    if (!m_running)
        return;
    m_running = false;

    showPendingLines();
    m_changingRunControls = true;
    enableEveryControl();
    m_stopButton->setEnabled(false);
    m_changingRunControls = false;

    if (m_resultCount != 0) {
        m_resultList->setToolTip(m_namesWanted ? u" Double-click on domain to load "_s : QString());
        m_copyButton->setEnabled(true);
        m_printButton->setEnabled(true);
    } else {
        m_resultList->setToolTip(QString());
        m_copyButton->setEnabled(false);
        m_printButton->setEnabled(false);
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
