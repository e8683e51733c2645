#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>

class HostResolver;
class QWidget;

/// The two lookups the main window offers by hand: the IP Number of a domain
/// name (the IP button) and the domain name of an IP Number (the Domain button). Each asks
/// in a modal prompt, remembers what was typed for the next time, and shows
/// the answer or the failure in a modal message box.
class LookupDialogs
{
public:
    LookupDialogs(HostResolver &resolver, QWidget *parentWindow);
    virtual ~LookupDialogs() = default;

    LookupDialogs(const LookupDialogs &) = delete;
    LookupDialogs &operator=(const LookupDialogs &) = delete;

    void findAddress();
    void findName();

    /// The last answers given to the two prompts ("" after Cancel); offered as
    /// the prompts' default texts.
    QString LastDomainName;
    QString LastIPNumberText;

protected:
    /// The sound before a failure message.
    virtual void beep();

private:
    QString askText(const QString &prompt, const QString &defaultText);
    void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text);
    void showFailure(const QString &text);

    HostResolver &m_resolver;
    QPointer<QWidget> m_parentWindow;
};
