#include "aboutbox.h"

#include "launchbrowser.h"

#include <QMessageBox>
#include <QStringList>

using namespace Qt::StringLiterals;

QString corvaneWebSite()
{
    return u"https://corvane.example.org"_s;
}

QString aboutBoxText()
{
    const QStringList lines{
        u"Corvane %1.%2"_s.arg(CORVANE_VERSION_MAJOR).arg(CORVANE_VERSION_MINOR),
        QString(),
        u"Copyright (C) 2026 The Corvane developers"_s,
        u"Free software: you may use, copy and share it."_s,
        QString(),
        u"Corvane allows you to see what IP Numbers are being used on the internet."_s,
        u"Just enter a start IP Number and a stop IP Number and select the Start Button!"_s,
        u"Pinged IP Numbers can be printed, copied to the Clipboard, or stored in a log file."_s,
        QString(),
        u"Questions and ideas are always welcome - write to us:"_s,
        QString(),
        u"corvane@example.org - "_s + corvaneWebSite(),
    };
    return lines.join(u"\r\n"_s);
}

void showAboutBox(QWidget *parent, BrowserLauncher &launcher)
{
    QMessageBox about(QMessageBox::NoIcon, u"Corvane - About Box"_s, aboutBoxText(),
                      QMessageBox::Ok, parent);
    about.exec();

    QMessageBox question(
        QMessageBox::Question, u"Corvane"_s,
        u"Do you want to go to my web site now so you can download the latest version of Corvane?"_s,
        QMessageBox::Yes | QMessageBox::No, parent);
    question.setDefaultButton(QMessageBox::Yes);
    if (question.exec() == QMessageBox::Yes)
        launchBrowser(corvaneWebSite(), parent, launcher);
}
