#include "lookupdialogs.h"

#include "hostresolver.h"
#include "resolver.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace {

const QString Title = u"Corvane"_s;

} // namespace

LookupDialogs::LookupDialogs(HostResolver &resolver, QWidget *parentWindow)
    : m_resolver(resolver)
    , m_parentWindow(parentWindow)
{}

void LookupDialogs::findAddress()
{
    LastDomainName = askText(u"Enter domain name (example: example.com)"_s, LastDomainName);
    if (LastDomainName.isEmpty())
        return;

    const QString domainName = LastDomainName;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString ipNumber = m_resolver.hostNameToIpNumber(domainName);
    if (ipNumber != u"ERROR")
        showMessage(QMessageBox::NoIcon, domainName, u"IP Number: "_s + ipNumber);
    else
        showFailure(u"Unable to get IP Number."_s);
    QApplication::restoreOverrideCursor();
}

void LookupDialogs::findName()
{
    for (;;) {
        LastIPNumberText = askText(u"Enter IP Number (example: 192.0.2.1)"_s, LastIPNumberText);
        if (LastIPNumberText.isEmpty())
            return;
        if (hasIpNumberForm(LastIPNumberText))
            break;
        showFailure(u"Not a valid IP Number."_s);
    }

    const QString ipNumber = LastIPNumberText;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString hostName = m_resolver.ipNumberToHostName(ipNumber);
    if (!hostName.isEmpty())
        showMessage(QMessageBox::NoIcon, ipNumber, u"Host name: "_s + hostName);
    else
        showFailure(u"Unable to get domain name."_s);
    QApplication::restoreOverrideCursor();
}

void LookupDialogs::beep()
{
    QApplication::beep();
}

// Cancel answers the empty text, as OK on an empty field does.
QString LookupDialogs::askText(const QString &prompt, const QString &defaultText)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parentWindow, Title, prompt, QLineEdit::Normal, defaultText, &ok);
    return ok ? text : QString();
}

void LookupDialogs::showMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, m_parentWindow);
    box.exec();
}

void LookupDialogs::showFailure(const QString &text)
{
    beep();
    showMessage(QMessageBox::Warning, Title, text);
}
