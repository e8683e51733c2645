#include "clipboardreport.h"
#include "dirlist.h"
#include "drivelist.h"
#include "failuremessage.h"
#include "ipaddressedit.h"
#include "launchbrowser.h"
#include "mainwindow.h"
#include "printreport.h"
#include "resultlistmodel.h"
#include "scansession.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>

using namespace Qt::StringLiterals;

// The window's side of a run: its controls make the request, and the
// session's signals become widget changes.

void MainWindow::wireSession()
{
    connect(m_session, &ScanSession::refused, this,
            [this](const QString &message) { showFailureMessage(this, message); });
    connect(m_session, &ScanSession::controlsChanged, this, &MainWindow::applyRunControls);
    connect(m_session, &ScanSession::logFileNameChanged, m_logFileEdit, &QLineEdit::setText);
    connect(m_session, &ScanSession::currentAddressChanged, m_startAddressEdit,
            &IpAddressEdit::setText);
    connect(m_session, &ScanSession::resultListCleared, m_resultModel, &ResultListModel::clear);
    connect(m_session, &ScanSession::resultLinesAdded, this, [this](const QStringList &lines) {
        m_resultModel->appendLines(lines);
        // Selecting scrolls the last line into view.
        m_resultList->setCurrentIndex(m_resultModel->index(m_resultModel->rowCount() - 1));
    });
    connect(m_session, &ScanSession::counterTextChanged, m_statusLabel, &QLabel::setText);
    connect(m_session, &ScanSession::finished, this, &MainWindow::onRunFinished);
}

void MainWindow::startScan()
{
    ScanRequest request;
    request.startText = m_startAddressEdit->text();
    request.stopText = m_stopAddressEdit->text();
    request.pingMode = m_pingModeButton->isChecked();
    request.namesWanted = m_namesCheck->isChecked();
    request.loggingOn = m_logEnabledCheck->checkState() == Qt::Checked;
    request.overwrite = m_overwriteCheck->checkState() == Qt::Checked;
    request.logFolder = m_folderTree->path();
    request.logFileName = m_logFileEdit->text();
    m_session->start(request);
}

void MainWindow::applyRunControls(const RunControls &controls)
{
    if (controls.running) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Start goes first, so that the focus, moving on from disabled
        // controls, can never land on it.
        for (QWidget *control : std::initializer_list<QWidget *>{
                 m_startButton, m_logEnabledCheck, m_overwriteCheck, m_namesCheck, m_stopButton,
                 m_resumeButton, m_exitButton, m_copyButton, m_printButton, m_aboutButton,
                 m_listButton, m_findAddressButton, m_findNameButton, m_pingModeButton,
                 m_domainModeButton, m_startAddressEdit, m_stopAddressEdit, m_logGroup})
            control->setEnabled(false);
        m_stopButton->setEnabled(true);
        m_stopButton->setFocus();
        return;
    }
    // Every control, also those disabled before the run began.
    for (QWidget *control : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        control->setEnabled(true);
    for (QWidget *control : std::initializer_list<QWidget *>{m_logEnabledCheck, m_driveCombo,
                                                             m_folderTree, m_logFileEdit})
        control->setEnabled(true);
    m_stopButton->setEnabled(false);
    m_resultList->setToolTip(controls.resultToolTip);
    m_copyButton->setEnabled(controls.resultsListed);
    m_printButton->setEnabled(controls.resultsListed);
}

void MainWindow::onRunFinished(const QString &logFailure)
{
    QApplication::restoreOverrideCursor();
    emit runFinished();
    if (!logFailure.isEmpty()) {
        showFailureMessage(this, u"The log file could not be written:\n"_s + logFailure +
                                     u"\n\nThe results of this run are in the result list."_s);
    }
}

void MainWindow::copyResults()
{
    m_statusLabel->setText(copyReportToClipboard(m_resultModel->lines(), m_clock()));
}

void MainWindow::printResults()
{
    m_statusLabel->setText(printReport(m_resultModel->lines(), m_clock()));
}

void MainWindow::openResultInBrowser()
{
    handleResultDoubleClick(m_resultList->toolTip(), m_resultList->currentIndex().data().toString(),
                            this, m_browser);
}
