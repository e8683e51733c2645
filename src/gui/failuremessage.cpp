#include "failuremessage.h"

#include <QApplication>
#include <QMessageBox>

using namespace Qt::StringLiterals;

FailureBeep &FailureBeep::instance()
{
    static FailureBeep beep;
    return beep;
}

void FailureBeep::beep()
{
    QApplication::beep();
    emit beeped();
}

void showFailureMessage(QWidget *parent, const QString &text)
{
    FailureBeep::instance().beep();
    QMessageBox::warning(parent, u"Corvane"_s, text);
}
