#include "desktopintegration.h"
#include "dirlist.h"
#include "drivelist.h"
#include "hostresolver.h"
#include "ipaddressedit.h"
#include "mainwindow.h"
#include "mainwindowrules.h"
#include "resultlistdelegate.h"
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

void setCheckStateFromSetting(QCheckBox *box, const QString &text)
{
    // A text the box cannot take leaves it as designed: checked.
    if (const std::optional<Qt::CheckState> state = checkStateFromSetting(text)) {
        box->setTristate(*state == Qt::PartiallyChecked);
        box->setCheckState(*state);
    }
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

QString MainWindow::readSetting(const QString &key, const QString &defaultValue)
{
    return m_settings.readSetting(settingsApplication(), settingsSection(), key, defaultValue);
}

void MainWindow::writeSetting(const QString &key, const QString &value)
{
    m_settings.writeSetting(settingsApplication(), settingsSection(), key, value);
}

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

    restoreLogFolder(readSetting(u"Path"_s, QDir::homePath()));
    m_logFileEdit->setText(readSetting(u"File"_s, u"ipnums.txt"_s));
    m_startAddressEdit->setText(readSetting(u"Start"_s, u"0.0.0.0"_s));
    m_stopAddressEdit->setText(readSetting(u"Stop"_s, u"255.255.255.255"_s));
    setCheckStateFromSetting(m_logEnabledCheck, readSetting(u"Enabled"_s, u"1"_s));
    setCheckStateFromSetting(m_overwriteCheck, readSetting(u"Overwrite"_s, u"1"_s));
    m_parallel = parallelFromSetting(readSetting(u"Parallel"_s, QString::number(kDefaultParallel)));

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
        // Each write is tried even when one before it failed.
        writeSetting(u"Start"_s, m_startAddressEdit->text());
        writeSetting(u"Stop"_s, m_stopAddressEdit->text());
        writeSetting(u"Path"_s, m_folderTree->path());
        writeSetting(u"File"_s, m_logFileEdit->text());
        writeSetting(u"Enabled"_s, checkStateSettingText(m_logEnabledCheck->checkState()));
        writeSetting(u"Overwrite"_s, checkStateSettingText(m_overwriteCheck->checkState()));
        m_settings.flush();
    }
    emit unloaded();
}
