#include "launchbrowser.h"

#include "browserlauncher.h"
#include "resultline.h"

#include <QApplication>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace {

void warn(QWidget *parent, const QString &text)
{
    QApplication::beep();
    QMessageBox box(QMessageBox::Warning, u"Corvane"_s, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

void launchBrowser(const QString &target, QWidget *parent, BrowserLauncher &launcher)
{
    switch (launcher.launch(target)) {
    case BrowserLauncher::LaunchResult::Started:
        return;
    case BrowserLauncher::LaunchResult::NoBrowser:
        warn(parent, u"Could not find associated browser."_s);
        return;
    case BrowserLauncher::LaunchResult::NotStarted:
        warn(parent, u"Web page not opened."_s);
        return;
    }
}

void handleResultDoubleClick(const QString &listToolTip, const QString &currentLine,
                             QWidget *parent, BrowserLauncher &launcher)
{
    if (listToolTip.isEmpty())
        return;
    launchBrowser(domainFromResultLine(currentLine), parent, launcher);
}
