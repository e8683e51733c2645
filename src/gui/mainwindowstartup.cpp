#include "desktopintegration.h"
#include "dirlist.h"
#include "drivelist.h"
#include "hostresolver.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "mainwindowrules.h"
#include "mainwindowsettings.h"
#include "resultlistdelegate.h"
#include "scansession.h"
#include "settingsstore.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QStorageInfo>

using namespace Qt::StringLiterals;

namespace {

// Lines scroll sideways over 600 pixels at 96 dots per inch.
constexpr int kListExtentTwips = 9000;

void setCheckState(QCheckBox *box, Qt::CheckState state)
{
    box->setTristate(state == Qt::PartiallyChecked);
    box->setCheckState(state);
}

// The mount point that holds @p path, or of its nearest existing ancestor
// when the folder itself is gone.
QString mountPointHolding(const QString &path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(existing).isDir()) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            return QString();
        existing = parent;
    }
    const QStorageInfo storage(existing);
    return storage.isValid() ? storage.rootPath() : QString();
}

} // namespace

bool MainWindow::startUp(const QString &commandLine)
{
    if (m_loaded)
        return true;

    if (m_resolver.hostNameToIpNumber(networkCheckHostName()) == u"ERROR"_s) {
        QApplication::beep();
        QMessageBox box(QMessageBox::Warning, u"Corvane"_s,
                        u"You must connect to the internet before using Corvane."_s,
                        QMessageBox::Ok);
        box.exec();
        return false;
    }
    m_loaded = true;

    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    m_listDelegate->setExtent(
        twipsToPixels(kListExtentTwips, screen ? screen->logicalDotsPerInchX() : 96.0));
    m_listDelegate->setTabStops({70, 300});

    setWindowTitle(windowCaption(IpAddressEdit::ownIpNumber()));

    const MainWindowValues values = MainWindowSettings(m_settings).read(QDir::homePath());
    restoreLogFolder(values.path);
    m_logFileEdit->setText(values.file);
    m_startAddressEdit->setText(values.start);
    m_stopAddressEdit->setText(values.stop);
    setCheckState(m_logEnabledCheck, values.enabled);
    setCheckState(m_overwriteCheck, values.overwrite);
    m_session->setParallel(values.parallel);

    m_desktop->showTrayIcon();

    if (commandLineStartsScan(commandLine)) {
        show();
        startScan();
    }
    show();
    return true;
}

void MainWindow::restoreLogFolder(const QString &path)
{
    const QString drive = mountPointHolding(path);
    // Choosing another drive moves the folder list to its root first.
    if (!drive.isEmpty())
        m_driveCombo->setDrive(drive);
    m_folderTree->setPath(path);
}

void MainWindow::shutDown()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_desktop->removeTrayIcon();
    if (m_loaded) {
        MainWindowValues values;
        values.start = m_startAddressEdit->text();
        values.stop = m_stopAddressEdit->text();
        values.path = m_folderTree->path();
        values.file = m_logFileEdit->text();
        values.enabled = m_logEnabledCheck->checkState();
        values.overwrite = m_overwriteCheck->checkState();
        MainWindowSettings(m_settings).write(values);
    }
    emit unloaded();
}
